// SPDX-License-Identifier: GPL-3.0-or-later
// The field mode's live best focus: the window driven tick by tick over a simulated run whose
// frames carry the focuser's position.
#include "Campos.h"
#include "Ventana.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

namespace {

using CampoFoco = EnVentana;

// 13 steps of 100 from 12000; the best focus lies between two steps.
constexpr double Primera = 12000, Paso = 100, Mejor = 12590;
constexpr int Pasos = 13;

// A field of Moffat stars with warm pixels, its width following the cone of light over the
// focuser's travel; with FOCUSPOS in the header when the position is given.
struct Corrida {
    std::mt19937_64 azar{20261209};
    TEscena escena = [this] {
        TEscena e = CrearEscena(AnchoCampo, AltoCampo, 30, 1.2, azar);
        e.perfil = TPerfil::Moffat;
        AnadirCalientes(e, 20, azar);
        return e;
    }();
    std::string Foto(double x, bool conPosicion) {
        const double sigma = SigmaHiperbola(x, Mejor, 250, 1.2);
        std::vector<std::string> tarjetas;
        if (conPosicion) tarjetas.push_back(TarjetaFits("FOCUSPOS", std::to_string(int(x))));
        return FitsDeCuentas(AnchoCampo, AltoCampo, ExponerCampo(escena, TFoco{sigma, sigma, 0}, azar),
                             tarjetas);
    }
};

std::string Nombre(int i) {
    char n[32];
    std::snprintf(n, sizeof n, "foco_%03d.fits", i);
    return n;
}

// The best position the title gives, if any.
std::optional<double> MejorDelTitulo(const QString& titulo) {
    const auto m = QRegularExpression(R"(^Quorvel - campo \(\d+ estrellas\) - mejor foco (\d+)$)")
                       .match(titulo);
    if (!m.hasMatch()) return std::nullopt;
    return m.captured(1).toDouble();
}

} // namespace

TEST_F(CampoFoco, MejorFocoFotoAFoto) {
    Corrida corrida;
    Arrancar(TModoMedida::Campo);
    ASSERT_NE(v->LineaFoco, nullptr);
    EXPECT_EQ(v->LineaFoco->text(), "");
    for (int i = 0; i < Pasos; ++i) {
        const double x = Primera + Paso * i;
        GuardarFichero(fotos / Nombre(i), corrida.Foto(x, true));
        v->Timer1Timer();
        if (x > Mejor) continue;
        SCOPED_TRACE(x);
        // The left side of the V only: no position yet, and the line says why.
        EXPECT_FALSE(v->windowTitle().contains("mejor foco")) << v->windowTitle().toStdString();
        EXPECT_TRUE(v->LineaFoco->text().startsWith("Sin mejor foco: "))
            << v->LineaFoco->text().toStdString();
    }
    EXPECT_TRUE(v->errores.isEmpty());
    ASSERT_EQ(Ventana::Puntos(v->Chart3).size(), size_t(Pasos));
    const std::optional<double> p = MejorDelTitulo(v->windowTitle());
    ASSERT_TRUE(p) << v->windowTitle().toStdString();
    EXPECT_NEAR(*p, Mejor, Paso / 4);
    EXPECT_TRUE(QRegularExpression(QString(R"(^Mejor foco: %1 \(%2 fotos, R2 (0\.9\d\d|1\.000)\)$)")
                                       .arg(*p)
                                       .arg(Pasos))
                    .match(v->LineaFoco->text())
                    .hasMatch())
        << v->LineaFoco->text().toStdString();

    // The focuser set near the answer and left there: the night's exposures are judged.
    for (int i = Pasos; i < Pasos + 2; ++i) {
        GuardarFichero(fotos / Nombre(i), corrida.Foto(12600, true));
        v->Timer1Timer();
    }
    EXPECT_TRUE(QRegularExpression(R"(^Mejor foco: \d+ · HFD [+-]\d+ % sobre el mejor foco$)")
                    .match(v->LineaFoco->text())
                    .hasMatch())
        << v->LineaFoco->text().toStdString();
    EXPECT_TRUE(MejorDelTitulo(v->windowTitle()));

    v->respuesta = true;
    v->Button2Click();
    v->Timer1->stop();
    EXPECT_EQ(v->windowTitle(), "Quorvel - campo");
    EXPECT_EQ(v->LineaFoco->text(), "");
}

// Frames without a position: the same run leaves no line and nothing in the title. The default
// mode has no line at all and keeps its layout.
TEST_F(CampoFoco, SinPosicionesNada) {
    Corrida corrida;
    Arrancar(TModoMedida::Campo);
    for (int i = 0; i < Pasos; ++i) {
        GuardarFichero(fotos / Nombre(i), corrida.Foto(Primera + Paso * i, false));
        v->Timer1Timer();
        EXPECT_EQ(v->LineaFoco->text(), "");
        EXPECT_FALSE(v->windowTitle().contains("mejor foco"));
    }
    EXPECT_EQ(Ventana::Puntos(v->Chart3).size(), size_t(Pasos));
    EXPECT_EQ(v->size(), QSize(395, 510));
    EXPECT_GE(v->LineaFoco->y(), v->Chart3->geometry().bottom());
    EXPECT_GE(v->Button1->y(), v->LineaFoco->geometry().bottom());

    Arrancar(TModoMedida::Estrella);
    v->Timer1Timer();
    EXPECT_EQ(v->LineaFoco, nullptr);
    EXPECT_EQ(v->size(), QSize(395, 480));
    EXPECT_EQ(v->Button1->geometry(), QRect(13, 402, 100, 30));
    EXPECT_EQ(v->windowTitle(), "Quorvel");
}
