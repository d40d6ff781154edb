// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser position as capture programs write it, and the run's curves over it.
#include "EscritorFits.h"
#include "Medida.h"
#include "SerieFoco.h"
#include "UTPlaca.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace {

// The header of the one frame object: just these cards.
const TPlaca& ConTarjetas(const std::vector<std::string>& tarjetas) {
    static TPlaca Placa;
    Cabecera = tarjetas;
    return Placa;
}

TEST(SerieFoco, HeaderNumbersAsCaptureProgramsWriteThem) {
    struct Caso {
        const char* valor;
        std::optional<double> esperado; // none: refused
    };
    const Caso casos[] = {
        {"12680", 12680},      {"12680.5", 12680.5}, {"1.0500D+03", 1050}, {"1.05d3", 1050},
        {"1.0500E+03", 1050},  {"-350", -350},       {"1E300", {}},        {"'cerca'", {}},
        {"1.0E10", {}},        {"NAN", {}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.valor);
        const TPlaca& Placa = ConTarjetas({TarjetaFits("FOCUSPOS", c.valor)});
        if (c.esperado) {
            const auto p = PosicionEnfocador(Placa);
            ASSERT_TRUE(p);
            EXPECT_DOUBLE_EQ(p->Valor, *c.esperado);
            EXPECT_STREQ(p->Clave, "FOCUSPOS");
        } else {
            try {
                PosicionEnfocador(Placa);
                ADD_FAILURE() << "accepted";
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()).rfind("FOCUSPOS ", 0), 0u) << e.what();
            }
        }
    }
}

TEST(SerieFoco, FocusposWinsOverFocposAndNeitherIsNone) {
    EXPECT_EQ(PosicionEnfocador(ConTarjetas({TarjetaFits("FOCPOS", "7"), TarjetaFits("FOCUSPOS", "9")}))->Valor, 9);
    EXPECT_STREQ(PosicionEnfocador(ConTarjetas({TarjetaFits("FOCPOS", "7")}))->Clave, "FOCPOS");
    EXPECT_FALSE(PosicionEnfocador(ConTarjetas({TarjetaFits("EXPTIME", "2")})));
}

TEST(SerieFoco, DecimalsOfThePositions) {
    EXPECT_EQ(DecimalesDe({12600, 12650, 12700}), 0);
    EXPECT_EQ(DecimalesDe({3.10, 3.11, 3.12}), 2);
    EXPECT_EQ(DecimalesDe({0.5, 1, 1.5}), 1);
    EXPECT_EQ(DecimalesDe({1.0 / 3}), 6);
}

// Widths of a cone a · sqrt(1 + ((x − p) / b)²) at positions 1000 + 50 i.
std::vector<TPuntoFoco> Serie(int n, double p, const char* (*clave)(int)) {
    std::vector<TPuntoFoco> puntos;
    for (int i = 0; i < n; ++i) {
        const double x = 1000 + 50 * i, u = (x - p) / 60;
        const double hfd = 3 * std::sqrt(1 + u * u);
        TPuntoFoco q;
        if (clave(i)) q.Posicion = TPosicionFoco{x, clave(i)};
        q.Lugar = i + 1;
        q.HFD = hfd;
        q.FWHM = hfd >= 10 ? FWHMBorrosa : static_cast<float>(0.8 * hfd);
        puntos.push_back(q);
    }
    return puntos;
}

TEST(SerieFoco, TheRunIsFittedOverItsPositions) {
    const TSerieFoco s = AjustarSerie(Serie(13, 1310, [](int) { return "FOCUSPOS"; }));
    EXPECT_TRUE(s.ConPosicion);
    EXPECT_TRUE(s.HFD.Bien());
    EXPECT_NEAR(s.HFD.P, 1310, 0.5);
    // The run's ends blur past an HFD of 10: their FWHM marks are no widths.
    EXPECT_FALSE(s.FWHM.Usados.front());
    EXPECT_TRUE(s.FWHM.Bien());
    EXPECT_NEAR(s.FWHM.P, 1310, 0.5);
    const TSerieFoco lugares =
        AjustarSerie(Serie(13, 1310, [](int) -> const char* { return nullptr; }));
    EXPECT_FALSE(lugares.ConPosicion);
    EXPECT_NEAR(lugares.HFD.P, 1 + (1310 - 1000) / 50.0, 0.01);
}

TEST(SerieFoco, RunsThatMixHowTheyGiveThePositionAreRefused) {
    const auto mitad = [](int i) -> const char* { return i < 6 ? "FOCUSPOS" : nullptr; };
    const auto mezcla = [](int i) -> const char* { return i < 6 ? "FOCUSPOS" : "FOCPOS"; };
    for (auto clave : {+mitad, +mezcla})
        EXPECT_THROW(AjustarSerie(Serie(13, 1310, clave)), std::runtime_error);
}

TEST(SerieFoco, ARunAtOnePositionIsNoRun) {
    std::vector<TPuntoFoco> puntos = Serie(9, 1200, [](int) { return "FOCPOS"; });
    for (TPuntoFoco& p : puntos) p.Posicion->Valor = 1250.5;
    try {
        AjustarSerie(puntos);
        ADD_FAILURE() << "fitted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("misma posición del enfocador (1250.5)"),
                  std::string::npos)
            << e.what();
    }
    // One frame alone is fitted and found short of points, as the window's first frame is.
    puntos.resize(1);
    EXPECT_EQ(AjustarSerie(puntos).HFD.Estado, TEstadoCurva::PocosPuntos);
}

} // namespace
