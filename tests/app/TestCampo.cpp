// SPDX-License-Identifier: GPL-3.0-or-later
// The window in field mode (quorvel --campo) on simulated fields, and the program's arguments.
#include "Campo.h"
#include "Campos.h"
#include "UTPlaca.h"
#include "Ventana.h"
#include "Version.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

using Campo = EnVentana;

// quorvel-medir --campo --csv on the files: column name to text, one map per row.
std::vector<std::map<std::string, std::string>> FilasDeMedir(const QStringList& ficheros) {
    QProcess medir;
    medir.start(MEDIR, QStringList{"--campo", "--csv"} + ficheros);
    EXPECT_TRUE(medir.waitForFinished(120000));
    std::istringstream salida(medir.readAllStandardOutput().toStdString());
    const auto campos = [](std::string linea) {
        if (!linea.empty() && linea.back() == '\r') linea.pop_back();
        std::vector<std::string> c;
        std::istringstream s(linea);
        for (std::string x; std::getline(s, x, ',');) c.push_back(x);
        return c;
    };
    std::string linea;
    std::getline(salida, linea);
    const auto nombres = campos(linea);
    std::vector<std::map<std::string, std::string>> filas;
    while (std::getline(salida, linea)) {
        const auto c = campos(linea);
        std::map<std::string, std::string> fila;
        for (size_t k = 0; k < c.size() && k < nombres.size(); ++k) fila[nombres[k]] = c[k];
        filas.push_back(fila);
    }
    return filas;
}

// Within half a unit of the last decimal printed.
void ComoImpreso(double valor, const std::string& texto) {
    const size_t punto = texto.find('.');
    const int decimales = punto == std::string::npos ? 0 : int(texto.size() - punto - 1);
    EXPECT_LE(std::abs(valor - std::stod(texto)), 0.5 * std::pow(10.0, -decimales) * (1 + 1e-9))
        << valor << " " << texto;
}

} // namespace

// A focus run of fields watched in field mode: the points are MedirCampo's medians, bit for
// bit, and agree with what quorvel-medir --campo prints for the same files; the title counts
// the stars of the latest frame.
TEST_F(Campo, MedianasComoQuorvelMedir) {
    const auto serie = SerieDeCampos(5);
    QStringList rutas;
    for (size_t i = 0; i < serie.size(); ++i) {
        const std::string ruta = fotos / ("foco_" + std::to_string(i + 1) + ".fits");
        GuardarFichero(ruta, serie[i]);
        rutas << QString::fromStdString(ruta);
    }
    Arrancar(TModoMedida::Campo);
    EXPECT_EQ(v->windowTitle(), "Quorvel - campo");
    v->Timer1Timer();
    EXPECT_TRUE(v->errores.isEmpty());
    ASSERT_EQ(v->FotosProcesadas, 5);
    const auto maximos = Ventana::Puntos(v->Chart1);
    const auto fwhm = Ventana::Puntos(v->Chart2);
    const auto hfd = Ventana::Puntos(v->Chart3);
    ASSERT_EQ(maximos.size(), 5u);
    ASSERT_EQ(fwhm.size(), 5u);
    ASSERT_EQ(hfd.size(), 5u);
    const auto filas = FilasDeMedir(rutas);
    ASSERT_EQ(filas.size(), 5u);
    size_t ultimas = 0;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(rutas[i].toStdString()));
        const TMedidaCampo m = MedirCampo(placa);
        ultimas = m.Estrellas.size();
        EXPECT_EQ(maximos[i], std::make_pair(double(i), double(m.Maximo)));
        EXPECT_EQ(fwhm[i], std::make_pair(double(i), double(m.FWHM)));
        EXPECT_EQ(hfd[i], std::make_pair(double(i), m.HFD));
        EXPECT_EQ(filas[i].at("Estrellas"), std::to_string(m.Estrellas.size()));
        EXPECT_EQ(filas[i].at("Maximo"), std::to_string(m.Maximo));
        ComoImpreso(fwhm[i].second, filas[i].at("FWHM"));
        ComoImpreso(hfd[i].second, filas[i].at("HFD"));
    }
    EXPECT_EQ(v->windowTitle(), QString("Quorvel - campo (%1 estrellas)").arg(ultimas));
    v->Timer1->stop(); // no tick inside the reset's message processing to measure again
    v->PuestaACero();
    EXPECT_EQ(v->windowTitle(), "Quorvel - campo") << "a new run has no latest frame";
}

// A frame of pure sky leaves no point, its position stays empty, and the title says that no
// star was used. The default mode keeps its plain title.
TEST_F(Campo, RuidoNoDejaPunto) {
    const auto serie = SerieDeCampos(3);
    GuardarFichero(fotos / "a.fits", serie[1]);
    GuardarFichero(fotos / "b.fits", CampoSinEstrellas());
    Arrancar(TModoMedida::Campo);
    v->Timer1Timer();
    EXPECT_EQ(v->FotosProcesadas, 2);
    const auto maximos = Ventana::Puntos(v->Chart1);
    ASSERT_EQ(maximos.size(), 1u);
    EXPECT_EQ(maximos[0].first, 0);
    EXPECT_EQ(v->windowTitle(), "Quorvel - campo (0 estrellas)");
    GuardarFichero(fotos / "c.fits", serie[2]);
    v->Timer1Timer();
    ASSERT_EQ(Ventana::Puntos(v->Chart1).size(), 2u);
    EXPECT_EQ(Ventana::Puntos(v->Chart1)[1].first, 2);
    EXPECT_TRUE(v->windowTitle().endsWith(" estrellas)"));

    Arrancar(TModoMedida::Estrella);
    EXPECT_EQ(v->windowTitle(), "Quorvel");
    v->Timer1Timer();
    EXPECT_EQ(v->FotosProcesadas, 3);
    EXPECT_EQ(v->windowTitle(), "Quorvel");
}

// In field mode the window's messages also run while a frame is measured, not only after its
// display: a "Puesta a cero" answered there clears the run, and the frame measured meanwhile
// leaves no point in the new one. The default mode lets them run after each display only.
TEST_F(Campo, PuestaACeroDuranteLaMedida) {
    const auto serie = SerieDeCampos(2);
    for (const TModoMedida modo : {TModoMedida::Campo, TModoMedida::Estrella}) {
        const bool campo = modo == TModoMedida::Campo;
        SCOPED_TRACE(campo ? "campo" : "estrella");
        for (const char* nombre : {"a.fits", "b.fits"}) {
            if (campo)
                GuardarFichero(fotos / nombre, serie[nombre[0] - 'a']);
            else
                Foto(nombre);
        }
        Arrancar(modo);
        v->respuesta = true;
        int puntosAlBorrar = -1;
        QTimer::singleShot(0, v.get(), [&] {
            puntosAlBorrar = int(Ventana::Puntos(v->Chart1).size());
            v->Button2Click();
        });
        v->Timer1Timer();
        v->Timer1->stop();
        EXPECT_EQ(puntosAlBorrar, campo ? 0 : 1) << "when the messages ran";
        EXPECT_EQ(v->preguntas.size(), 1);
        EXPECT_TRUE(v->errores.isEmpty());
        for (TChart* c : {v->Chart1, v->Chart2, v->Chart3}) EXPECT_TRUE(Ventana::Puntos(c).empty());
        EXPECT_EQ(v->FotosProcesadas, 0);
        EXPECT_FALSE(fs::exists(fotos / "a.fits"));
        EXPECT_FALSE(fs::exists(fotos / "b.fits"));
    }
}

// The program's arguments, read before any window: no screen is needed, and none is opened.
TEST(Argumentos, UsoAyudaYVersion) {
    const struct {
        QStringList argumentos;
        int estado;
        QString salida, error;
    } casos[] = {
        {{"--version"}, 0, QString::fromStdString(TextoVersion("quorvel")), ""},
        {{"--campo", "--version"}, 0, QString::fromStdString(TextoVersion("quorvel")), ""},
        {{"--help"}, 0, "Uso: quorvel [--campo]", ""},
        {{"-h"}, 0, "Uso: quorvel [--campo]", ""},
        {{"--otra"}, 2, "", "quorvel: argumento no válido: --otra. Uso: quorvel"},
        {{"--campo", "carpeta"}, 2, "", "quorvel: argumento no válido: carpeta. Uso:"},
        {{"-platform", "offscreen"}, 2, "", "quorvel: argumento no válido: -platform. Uso:"},
        {{"--version", "--otra"}, 0, QString::fromStdString(TextoVersion("quorvel")), ""},
    };
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    // Without a screen: reaching the toolkit would end in its own error, not these.
    entorno.remove("DISPLAY");
    entorno.remove("WAYLAND_DISPLAY");
    entorno.insert("QT_QPA_PLATFORM", "xcb");
    for (const auto& c : casos) {
        SCOPED_TRACE(c.argumentos.join(" ").toStdString());
        QProcess p;
        p.setProcessEnvironment(entorno);
        p.start(QUORVEL, c.argumentos);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), c.estado);
        const QString salida = QString::fromUtf8(p.readAllStandardOutput());
        const QString error = QString::fromUtf8(p.readAllStandardError());
        if (c.estado == 0) {
            EXPECT_TRUE(salida.startsWith(c.salida)) << salida.toStdString();
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        } else {
            EXPECT_TRUE(salida.isEmpty());
            EXPECT_TRUE(error.startsWith(c.error)) << error.toStdString();
            EXPECT_EQ(error.count('\n'), 1) << "one line";
        }
    }
    if (!QFile::exists("/dev/full")) return;
    QProcess lleno; // the version written to a full disk is a failure, not a success
    lleno.setStandardOutputFile("/dev/full");
    lleno.start(QUORVEL, {"--version"});
    ASSERT_TRUE(lleno.waitForFinished(20000));
    EXPECT_EQ(lleno.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(lleno.readAllStandardError())
                    .startsWith("quorvel: no se puede escribir en la salida estándar: "));
}
