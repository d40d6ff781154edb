// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-medir and quorvel-simular run as programs: what a user sees on the terminal and in
// the exit status.
#include "CarpetaTemporal.h"
#include "Ejecutar.h"
#include "EscritorFits.h"
#include "Limites.h"
#include "Simulacion.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Lineas(const std::string& texto) {
    std::vector<std::string> r;
    std::istringstream s(texto);
    for (std::string l; std::getline(s, l);) r.push_back(l.substr(0, l.find('\r')));
    return r;
}

// A column of rows separated by tabs or commas (no quoted names here).
std::vector<std::string> Columna(const std::string& salida, size_t k, char separador) {
    std::vector<std::string> r;
    const auto lineas = Lineas(salida);
    for (size_t i = 1; i < lineas.size(); ++i) {
        std::istringstream s(lineas[i]);
        std::string campo;
        for (size_t j = 0; j <= k; ++j) std::getline(s, campo, separador);
        r.push_back(campo);
    }
    return r;
}

// A locale with a decimal comma, for the child programs: the system's when installed, else one
// built into a scratch folder from the system's locale sources (LOCPATH then names it). Empty
// when neither can be had.
std::vector<std::string> EntornoEspanol(const CarpetaTemporal& carpeta) {
    const std::vector<std::string> entorno = {"LC_ALL=es_ES.UTF-8"};
    if (std::setlocale(LC_NUMERIC, "es_ES.UTF-8")) {
        std::setlocale(LC_NUMERIC, "C");
        return entorno;
    }
    const std::string dir = carpeta / "locale";
    const std::string orden = "mkdir -p '" + dir + "' && localedef -i es_ES -f UTF-8 '" + dir +
                              "/es_ES.UTF-8' 2>/dev/null";
    if (std::system(orden.c_str()) != 0) return {};
    return {"LC_ALL=es_ES.UTF-8", "LOCPATH=" + dir};
}

class Ordenes : public ::testing::Test {
protected:
    Resultado Ejecutar(const char* programa, const std::vector<std::string>& argumentos,
                       const std::string& destino = "",
                       const std::vector<std::string>& entorno = {"LC_ALL=C"}) {
        return ::Ejecutar(carpeta_.ruta, programa, argumentos, destino, entorno);
    }
    // A star at sigma s near the middle of a small frame.
    std::string Estrella(const std::string& nombre, double sigma) {
        std::mt19937_64 azar(static_cast<uint64_t>(sigma * 100));
        const std::string ruta = carpeta_ / nombre;
        GuardarFichero(
            ruta, FitsDeCuentas(120, 100, ExponerEstrella(120, 100, 2.0, sigma, 60.3, 49.6, azar)));
        return ruta;
    }
    std::string Campo(const std::string& nombre) {
        std::mt19937_64 azar(11);
        const TEscena escena = CrearEscena(400, 300, 25, 1.3, azar);
        const std::string ruta = carpeta_ / nombre;
        GuardarFichero(ruta, FitsDeCuentas(400, 300, ExponerCampo(escena, 1.8, azar)));
        return ruta;
    }
    CarpetaTemporal carpeta_;
};

TEST_F(Ordenes, VersionDeCadaPrograma) {
    for (const auto& [programa, nombre] :
         {std::pair{MEDIR, "quorvel-medir"}, std::pair{SIMULAR, "quorvel-simular"}}) {
        const Resultado r = Ejecutar(programa, {"--version"});
        EXPECT_EQ(r.estado, 0) << nombre;
        EXPECT_EQ(r.salida, TextoVersion(nombre));
        EXPECT_EQ(r.errores, "");
    }
}

TEST_F(Ordenes, ErrorDeUsoEnUnaLineaConLaAyudaNombrada) {
    const struct {
        const char* programa;
        const char* nombre;
        std::vector<std::string> argumentos;
        const char* motivo;
    } casos[] = {
        {MEDIR, "quorvel-medir", {"--x"}, "opción desconocida: --x"},
        {MEDIR, "quorvel-medir", {}, "falta al menos un fichero"},
        {MEDIR, "quorvel-medir", {"--estrellas", "a.fits"}, "--estrellas necesita --campo"},
        {SIMULAR, "quorvel-simular", {"--x", "c"}, "opción desconocida: --x"},
        {SIMULAR, "quorvel-simular", {"c", "--fotos"}, "falta el valor de --fotos"},
        {SIMULAR,
         "quorvel-simular",
         {"-t", "1,5.2", "c"},
         "valor no válido para --intervalo: 1,5.2"},
        {SIMULAR,
         "quorvel-simular",
         {"-t", "1,5,2", "c"},
         "valor no válido para --intervalo: 1,5,2"},
        {SIMULAR, "quorvel-simular", {}, "falta la carpeta"},
        {MEDIR, "quorvel-medir", {"--modelo", "a.fits"}, "--modelo necesita --noche"},
        {SIMULAR,
         "quorvel-simular",
         {"--filtros", "L:0", "c"},
         "--filtros, --temperatura, --pasos-por-grado y --exposiciones necesitan --noche"},
        {SIMULAR,
         "quorvel-simular",
         {"--noche", "3", "--filtros", "L:0,R", "c"},
         "--filtros necesita NOMBRE:DESPLAZAMIENTO,...: L:0,R"},
        {SIMULAR,
         "quorvel-simular",
         {"--noche", "3", "--temperatura", "12", "c"},
         "--temperatura necesita dos números A,B: 12"},
        {SIMULAR,
         "quorvel-simular",
         {"--noche", "3", "--exposiciones", "1", "c"},
         "valor no válido para --exposiciones: 1"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.motivo);
        const Resultado r = Ejecutar(c.programa, c.argumentos);
        EXPECT_EQ(r.estado, 2);
        EXPECT_EQ(r.salida, "");
        EXPECT_EQ(r.errores, std::string(c.nombre) + ": " + c.motivo + "\nPruebe '" + c.nombre +
                                 " --help'.\n");
    }
}

TEST_F(Ordenes, SalidaLlenaEsUnFallo) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    const std::string estrella = Estrella("e.fits", 2.0), campo = Campo("c.fits");
    const std::string serie = carpeta_ / "serie";
    const struct {
        const char* programa;
        const char* nombre;
        std::vector<std::string> argumentos;
    } casos[] = {
        {MEDIR, "quorvel-medir", {"--version"}},
        {MEDIR, "quorvel-medir", {"--help"}},
        {MEDIR, "quorvel-medir", {estrella}},
        {MEDIR, "quorvel-medir", {"--csv", "--campo", "--estrellas", campo}},
        {SIMULAR, "quorvel-simular", {"--version"}},
        {SIMULAR, "quorvel-simular", {"--help"}},
        {SIMULAR,
         "quorvel-simular",
         {"-n", "2", "-t", "0", "--ancho", "64", "--alto", "64", serie}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.argumentos.back());
        const Resultado r = Ejecutar(c.programa, c.argumentos, "/dev/full");
        EXPECT_EQ(r.estado, 1);
        EXPECT_EQ(r.errores, std::string(c.nombre) +
                                 ": no se puede escribir en la salida estándar: No queda espacio "
                                 "en el dispositivo\n");
    }
}

TEST_F(Ordenes, MedirDiceQueNoEsUnaFoto) {
    const std::string carpeta = carpeta_ / "x.fits", tubo = carpeta_ / "tubo.fits";
    std::filesystem::create_directory(carpeta);
    ASSERT_EQ(::mkfifo(tubo.c_str(), 0600), 0);
    const std::string falta = carpeta_ / "falta.fits", bien = Estrella("e.fits", 2.0);
    for (const char* modo : {"", "--campo"}) {
        SCOPED_TRACE(modo);
        std::vector<std::string> argumentos = {carpeta, tubo,        "/dev/null",
                                               falta,   bien + "/x", bien};
        if (*modo) argumentos.insert(argumentos.begin(), modo);
        const Resultado r = Ejecutar(MEDIR, argumentos);
        EXPECT_EQ(r.estado, 1);
        EXPECT_EQ(Lineas(r.salida).size(), 2u); // the header and the one frame
        const std::string p = "quorvel-medir: ";
        EXPECT_EQ(r.errores, p + carpeta + ": es una carpeta, no una foto FITS\n" + p + tubo +
                                 ": es una tubería (FIFO), no una foto FITS\n" + p +
                                 "/dev/null: es un dispositivo, no una foto FITS\n" + p + falta +
                                 ": No se encuentra el fichero " + falta + "\n" + p + bien +
                                 "/x: No es una carpeta\n");
    }
}

TEST_F(Ordenes, MedirDaLaFwhmConTresDecimales) {
    std::vector<std::string> fotos;
    for (const double sigma : {1.1, 1.7, 2.0, 2.6, 3.3, 4.1})
        fotos.push_back(Estrella("s" + std::to_string(fotos.size()) + ".fits", sigma));
    const std::string campo = Campo("c.fits");
    const std::vector<std::string> espanol = EntornoEspanol(carpeta_);
    const struct {
        std::vector<std::string> opciones;
        size_t columna;
        bool espanol; // tab-separated output then takes the user's decimal comma, CSV a point
    } casos[] = {
        {{}, 2, false},
        {{"--csv"}, 2, false},
        {{"--campo"}, 2, false},
        {{"--campo", "--estrellas", "--csv"}, 3, false},
        {{}, 2, true},
        {{"--csv"}, 2, true},
        {{"--campo", "--estrellas"}, 3, true},
    };
    for (const auto& c : casos) {
        if (c.espanol && espanol.empty()) continue;
        const bool enCampo = !c.opciones.empty() && c.opciones[0] == "--campo";
        const bool csv = c.opciones.size() && c.opciones.back() == "--csv";
        std::vector<std::string> argumentos = c.opciones;
        if (enCampo)
            argumentos.push_back(campo);
        else
            argumentos.insert(argumentos.end(), fotos.begin(), fotos.end());
        SCOPED_TRACE(argumentos[0] + (c.espanol ? " es_ES" : " C"));
        const Resultado r = Ejecutar(MEDIR, argumentos, "",
                                     c.espanol ? espanol : std::vector<std::string>{"LC_ALL=C"});
        EXPECT_EQ(r.estado, 0) << r.errores;
        const auto fwhm = Columna(r.salida, c.columna, csv ? ',' : '\t');
        EXPECT_GE(fwhm.size(), enCampo ? 1u : fotos.size());
        const std::regex tres(c.espanol && !csv ? "[0-9]+,[0-9]{3}" : "[0-9]+\\.[0-9]{3}");
        for (const std::string& v : fwhm) EXPECT_TRUE(std::regex_match(v, tres)) << v;
    }
    if (espanol.empty()) GTEST_SKIP() << "no Spanish locale to be had";
}

TEST_F(Ordenes, SimularCreaLaCarpetaQueFalta) {
    const std::string serie = carpeta_ / "noche/serie";
    const Resultado r = Ejecutar(
        SIMULAR, {"-n", "2", "-t", "0", "--ancho", "64", "--alto", "64", "--semilla", "1", serie});
    EXPECT_EQ(r.estado, 0) << r.errores;
    EXPECT_TRUE(std::filesystem::is_regular_file(serie + "/foco_0001.fits"));
    EXPECT_TRUE(std::filesystem::is_regular_file(serie + "/foco_0002.fits"));

    // A regular file in the way of the folder, and a folder in the way of a frame.
    const std::string fichero = carpeta_ / "fichero";
    GuardarFichero(fichero, "x");
    Resultado f = Ejecutar(SIMULAR, {"-n", "1", "--ancho", "64", "--alto", "64", fichero + "/d"});
    EXPECT_EQ(f.estado, 1);
    EXPECT_EQ(f.errores, "quorvel-simular: no se puede crear la carpeta " + fichero +
                             "/d: No es una carpeta\n");
    std::filesystem::create_directory(serie + "/.foco_0001.fits.part");
    f = Ejecutar(SIMULAR, {"-n", "1", "--ancho", "64", "--alto", "64", serie});
    EXPECT_EQ(f.estado, 1);
    EXPECT_EQ(f.errores, "quorvel-simular: No se puede escribir " + serie +
                             "/.foco_0001.fits.part: Es una carpeta\n");
    EXPECT_TRUE(std::filesystem::is_directory(serie + "/.foco_0001.fits.part"));
}

TEST_F(Ordenes, SimularAceptaComaOPuntoDecimal) {
    std::vector<std::vector<std::string>> entornos = {{"LC_ALL=C"}};
    if (const auto espanol = EntornoEspanol(carpeta_); !espanol.empty())
        entornos.push_back(espanol);
    for (const auto& entorno : entornos) {
        for (const char* decimal : {",", "."}) {
            SCOPED_TRACE(entorno[0] + " " + decimal);
            const std::string d = decimal;
            const Resultado r = Ejecutar(SIMULAR,
                                         {"-n", "3", "-t", "0" + d + "01", "--sigma-min",
                                          "1" + d + "5", "--sigma-max", "2" + d + "75", "--ancho",
                                          "64", "--alto", "64", carpeta_ / "serie"},
                                         "", entorno);
            EXPECT_EQ(r.estado, 0) << r.errores;
            EXPECT_NE(r.salida.find("foco_0001.fits  sigma 2.75\n"), std::string::npos) << r.salida;
            EXPECT_NE(r.salida.find("foco_0002.fits  sigma 1.50\n"), std::string::npos) << r.salida;
        }
    }
    if (entornos.size() == 1) GTEST_SKIP() << "no Spanish locale to be had";
}

} // namespace

namespace {

std::vector<std::string> Nombres(const std::string& carpeta) {
    std::vector<std::string> r;
    for (const auto& e : std::filesystem::directory_iterator(carpeta))
        r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

} // namespace

// What the user reads for a frame too big for memory, one of no light and a flat one, each
// in its own words, and the good frame after them is measured.
TEST_F(Ordenes, MedirDiceQueFotoNoSeMidePorQue) {
    const std::string enorme = carpeta_ / "enorme.fits", ceros = carpeta_ / "ceros.fits",
                      plana = carpeta_ / "plana.fits", bien = Estrella("e.fits", 2.0);
    ASSERT_TRUE(FotoEnorme(enorme, 32768, 32768));
    GuardarFichero(ceros, FitsDeCuentas(64, 64, std::vector<uint16_t>(64 * 64, 0)));
    GuardarFichero(plana, FitsDeCuentas(64, 64, std::vector<uint16_t>(64 * 64, 1200)));
    const Resultado r = Ejecutar(MEDIR, {enorme, ceros, plana, bien});
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(Lineas(r.salida).size(), 2u);
    const std::string p = "quorvel-medir: ";
    EXPECT_EQ(r.errores, p + enorme +
                             ": Foto demasiado grande: 32768 x 32768 píxeles ocupan 2048 MiB en "
                             "memoria; el máximo es 512 MiB\n" +
                             p + ceros + ": La foto no tiene luz: todos sus píxeles valen 0\n" + p +
                             plana + ": No hay estrella: la foto no tiene más luz que su fondo\n");
}

// A picture that cannot be written whole (the disc fills up) leaves the old one in place and
// no temporary behind; the reason is said and the exit status is 1.
TEST_F(Ordenes, GraficoQueNoCabeConservaElAnterior) {
    std::vector<std::string> serie = {"--curva", "--grafico", carpeta_ / "curva.png"};
    for (const double sigma : {4.0, 3.0, 2.2, 1.8, 2.2, 3.0, 4.0})
        serie.push_back(Estrella("s" + std::to_string(serie.size()) + ".fits", sigma));
    GuardarFichero(carpeta_ / "curva.png", "el de anoche");
    const auto antes = Nombres(carpeta_.ruta.string());
    Resultado r;
    {
        LimiteEscritura limite(4000); // room for the rows and the reasons, not for the picture
        r = Ejecutar(MEDIR, serie);
    }
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(r.errores, "quorvel-medir: No se puede escribir " + (carpeta_ / "curva.png") +
                             ": Fichero demasiado grande\n");
    EXPECT_EQ(Leer(carpeta_ / "curva.png"), "el de anoche");
    auto despues = Nombres(carpeta_.ruta.string());
    despues.erase(std::remove_if(despues.begin(), despues.end(),
                                 [](const std::string& n) { return n == "out" || n == "err"; }),
                  despues.end());
    EXPECT_EQ(despues, antes);
}

// The camera's frame that does not fit on the disc: no frame, no hidden temporary left.
TEST_F(Ordenes, SimularSinSitioNoDejaTemporal) {
    const std::string serie = carpeta_ / "serie";
    std::filesystem::create_directory(serie);
    Resultado r;
    {
        LimiteEscritura limite(20000);
        r = Ejecutar(SIMULAR, {"-n", "3", "-t", "0", "--ancho", "200", "--alto", "200", serie});
    }
    EXPECT_EQ(r.estado, 1);
    EXPECT_EQ(r.errores, "quorvel-simular: No se puede escribir " + serie +
                             "/foco_0001.fits: Fichero demasiado grande\n");
    EXPECT_TRUE(Nombres(serie).empty());
}

// Standard output a pipe whose reader has gone, with the pipe signal ignored as some shells
// and runners leave it: the reason is said in Spanish, not the system's English.
TEST_F(Ordenes, TuberiaCerradaSeDiceEnCastellano) {
    int tubo[2];
    ASSERT_EQ(::pipe(tubo), 0);
    ::close(tubo[0]); // the reader gone before the program starts
    const std::string err = carpeta_ / "err";
    const std::string foto = Estrella("e.fits", 2.0);
    const pid_t hijo = ::fork();
    if (hijo == 0) {
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::signal(SIGPIPE, SIG_IGN);
        if (e < 0 || ::dup2(tubo[1], 1) < 0 || ::dup2(e, 2) < 0) ::_exit(127);
        ::execl(MEDIR, MEDIR, foto.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(tubo[1]);
    int estado = 0;
    ASSERT_EQ(::waitpid(hijo, &estado, 0), hijo);
    ASSERT_TRUE(WIFEXITED(estado));
    EXPECT_EQ(WEXITSTATUS(estado), 1);
    EXPECT_EQ(Leer(err), "quorvel-medir: no se puede escribir en la salida estándar: Tubería "
                         "cerrada: el programa que leía la salida ya terminó\n");
}
