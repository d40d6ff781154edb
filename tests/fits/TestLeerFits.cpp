// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a frame: header records, the header tests, the offset, the matrix and Pixel.
#include "Auxiliar.h"
#include "Errores.h"
#include "Limites.h"
#include "UTPlaca.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Cambios = std::vector<std::pair<std::string, std::optional<std::string>>>;

std::vector<std::string> Tarjetas(int64_t ancho, int64_t alto, const Cambios& cambios = {}) {
    std::vector<std::string> t = TarjetasBasicas(ancho, alto);
    for (const auto& [clave, valor] : cambios) t = Cambiar(t, clave, valor);
    return t;
}

// Counts 0, 1, 2, ... written with BZERO 32768.
std::vector<uint16_t> Rampa(size_t n, uint16_t primero = 0) {
    std::vector<uint16_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint16_t>(primero + 7 * i);
    return v;
}

std::vector<int16_t> Crudos(const std::vector<uint16_t>& cuentas) {
    std::vector<int16_t> c;
    for (uint16_t v : cuentas) c.push_back(static_cast<int16_t>(v - 32768));
    return c;
}

std::vector<std::string> ConRelleno(std::vector<std::string> t, size_t total) {
    while (t.size() < total) t.push_back(A80("COMMENT relleno"));
    return t;
}

class LeerFits : public ConCarpeta {
protected:
    // Every pixel of the loaded frame against the counts, first axis fastest.
    void CompararPixeles(const TPlaca& placa, size_t ancho, const std::vector<uint16_t>& cuentas) {
        ASSERT_EQ(size_t{placa.Ancho()} * placa.Alto(), cuentas.size());
        for (size_t i = 0; i < cuentas.size(); ++i) {
            const int64_t x = static_cast<int64_t>(i % ancho), y = static_cast<int64_t>(i / ancho);
            ASSERT_EQ(placa.Pixel(x, y), cuentas[i]) << "x=" << x << " y=" << y;
            ASSERT_EQ(Imagen[static_cast<size_t>(x)][static_cast<size_t>(y)], cuentas[i]);
        }
    }
};

TEST_F(LeerFits, CargaLosPixelesEnOrdenFits) {
    const auto cuentas = Rampa(21, 65500);
    const std::string ruta = Fichero("a.fits", FitsDeCuentas(3, 7, cuentas));
    TPlaca placa;
    ASSERT_TRUE(placa.LeerFits(ruta));
    EXPECT_EQ(Mensaje, "UTPlaca BETA");
    EXPECT_EQ(placa.Ancho(), 3);
    EXPECT_EQ(placa.Alto(), 7);
    EXPECT_EQ(Imagen.Columnas(), 3u);
    CompararPixeles(placa, 3, cuentas);
}

TEST_F(LeerFits, FotosSeguidasDeUnoYOtroTamano) {
    // The block of a frame serves the next one of the same byte count, 7 x 3 after 3 x 7 too;
    // 1441 x 2 ends in a part of a record. No value of the frame before may show through, and
    // every released frame leaves the matrix empty.
    const std::pair<size_t, size_t> tamanos[] = {{3, 7}, {3, 7}, {7, 3}, {1441, 2},
                                                  {1441, 2}, {1, 1}, {3, 7}};
    uint16_t primero = 11;
    for (const auto& [ancho, alto] : tamanos) {
        SCOPED_TRACE(std::to_string(ancho) + " x " + std::to_string(alto));
        const auto cuentas = Rampa(ancho * alto, primero += 1000);
        {
            TPlaca placa;
            ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", FitsDeCuentas(static_cast<int64_t>(ancho),
                                                                       static_cast<int64_t>(alto),
                                                                       cuentas))));
            CompararPixeles(placa, ancho, cuentas);
        }
        EXPECT_TRUE(Imagen.empty());
        EXPECT_EQ(Imagen.Datos(), nullptr);
    }
}

TEST_F(LeerFits, PixelFueraDelMarcoDaCero) {
    const auto cuentas = Rampa(21, 1);
    TPlaca placa;
    EXPECT_EQ(placa.Pixel(0, 0), 0); // nothing loaded yet
    ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", FitsDeCuentas(3, 7, cuentas))));
    constexpr int64_t minimo = std::numeric_limits<int64_t>::min();
    constexpr int64_t maximo = std::numeric_limits<int64_t>::max();
    const std::pair<int64_t, int64_t> fuera[] = {
        {3, 0},     {0, 7},     {-1, 0},    {0, -1},          {-65535, 0},    {0, -65530},
        {65536, 0}, {0, 65536}, {65539, 7}, {minimo, minimo}, {maximo, 0},    {0, maximo},
        {-1, -1},   {3, 7},     {2, 7},     {3, 6},           {65536 + 2, 6}, {2, 65536 + 6}};
    for (const auto& [x, y] : fuera) EXPECT_EQ(placa.Pixel(x, y), 0) << x << "," << y;
    EXPECT_EQ(placa.Pixel(2, 6), cuentas[20]);
    EXPECT_THROW(Imagen[3], ErrorRango);
    EXPECT_THROW(Imagen[0][7], ErrorRango);
}

TEST_F(LeerFits, DatosSinRellenoYDatosSobrantes) {
    const auto cuentas = Rampa(15);
    const std::string cabecera = BloqueCabecera(TarjetasBasicas(5, 3));
    const std::string datos = BloqueDatos(Crudos(cuentas), false);
    // Ends right after the last value; then a further axis, a junk record and a half record.
    for (const std::string& resto :
         {std::string(), std::string(2880, '\xFF'), std::string(2880 * 3 + 17, '\x7F')}) {
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", cabecera + datos + resto)));
        CompararPixeles(placa, 5, cuentas);
    }
}

struct CasoFin {
    const char* caso;
    size_t tarjetas; // cards before END
    std::string fin;
};

TEST_F(LeerFits, FinDeCabecera) {
    const CasoFin casos[] = {
        {"END primera tarjeta de un registro", 36, "END"},
        {"END ultima tarjeta de un registro", 35, "END"},
        {"END tras blancos", 8, "     END"},
        {"END entre caracteres de control", 8, std::string("\tEND") + '\0'},
        {"END en la tercera", 72, "END"},
    };
    const auto cuentas = Rampa(6);
    for (const CasoFin& c : casos) {
        SCOPED_TRACE(c.caso);
        std::vector<std::string> t = ConRelleno(TarjetasBasicas(2, 3), c.tarjetas);
        t.push_back(c.fin);
        const std::string ruta =
            Fichero("a.fits", BloqueCabecera(t, false) + BloqueDatos(Crudos(cuentas)));
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(ruta));
        EXPECT_EQ(Cabecera.size(), c.tarjetas);
        CompararPixeles(placa, 2, cuentas);
    }
}

TEST_F(LeerFits, TarjetaParecidaAEndNoTermina) {
    std::vector<std::string> t = TarjetasBasicas(2, 3);
    t.push_back("END     / fin"); // trimmed it is not "END": the header runs on to the file's end
    TPlaca placa;
    EXPECT_THROW(placa.LeerFits(Fichero("a.fits", BloqueCabecera(t, false))), ErrorConversion);
}

struct CasoPrueba {
    const char* caso;
    Cambios cambios;
    const char* mensaje; // nullptr: accepted
};

const CasoPrueba CasosPrueba[] = {
    {"SIMPLE F", {{"SIMPLE", "F"}}, "Formato FITS Desconocido"},
    {"sin SIMPLE", {{"SIMPLE", std::nullopt}}, "Formato FITS Desconocido"},
    {"SIMPLE en minusculas", {{"SIMPLE", "t"}}, "Formato FITS Desconocido"},
    {"SIMPLE entre comillas es T", {{"SIMPLE", "'T'"}}, nullptr},
    {"NAXIS 3 con eje de 1",
     {{"NAXIS", "3"}, {"NAXIS3", "1"}},
     "Solo se admiten FITS bidimensionales"},
    {"NAXIS 02", {{"NAXIS", "02"}}, "Solo se admiten FITS bidimensionales"},
    {"sin NAXIS", {{"NAXIS", std::nullopt}}, "Solo se admiten FITS bidimensionales"},
    {"BITPIX 8", {{"BITPIX", "8"}}, "Solo se admiten FITS de 16 bits"},
    {"BITPIX -32", {{"BITPIX", "-32"}}, "Solo se admiten FITS de 16 bits"},
    {"BITPIX +16", {{"BITPIX", "+16"}}, "Solo se admiten FITS de 16 bits"},
    {"sin BITPIX", {{"BITPIX", std::nullopt}}, "Solo se admiten FITS de 16 bits"},
    {"BSCALE 2", {{"BSCALE", "2"}}, "BSCALE no es igual a 1"},
    {"BSCALE casi 1", {{"BSCALE", "0.9999999999"}}, "BSCALE no es igual a 1"},
    {"BSCALE ausente", {{"BSCALE", std::nullopt}}, nullptr},
    {"BSCALE 1", {{"BSCALE", "1"}}, nullptr},
    {"BSCALE 1.0", {{"BSCALE", "1.0"}}, nullptr},
    {"BSCALE 1E0", {{"BSCALE", "1E0"}}, nullptr},
    {"BSCALE +0.1e1", {{"BSCALE", "+0.1e1"}}, nullptr},
    {"orden: SIMPLE antes que BITPIX",
     {{"SIMPLE", "F"}, {"BITPIX", "8"}},
     "Formato FITS Desconocido"},
    {"orden: NAXIS antes que BITPIX",
     {{"NAXIS", "3"}, {"BITPIX", "8"}},
     "Solo se admiten FITS bidimensionales"},
    {"orden: BITPIX antes que BSCALE",
     {{"BITPIX", "8"}, {"BSCALE", "2"}},
     "Solo se admiten FITS de 16 bits"},
    {"pruebas antes de convertir BZERO",
     {{"BSCALE", "2"}, {"BZERO", "'abc'"}},
     "BSCALE no es igual a 1"},
    {"NAXIS1 0", {{"NAXIS1", "0"}}, "Dimensiones de imagen no admitidas"},
    {"NAXIS1 -5", {{"NAXIS1", "-5"}}, "Dimensiones de imagen no admitidas"},
    {"NAXIS1 65536", {{"NAXIS1", "65536"}}, "Dimensiones de imagen no admitidas"},
    {"NAXIS2 0", {{"NAXIS2", "0"}}, "Dimensiones de imagen no admitidas"},
    {"NAXIS2 70000", {{"NAXIS2", "70000"}}, "Dimensiones de imagen no admitidas"},
    {"NAXIS1 con signo", {{"NAXIS1", "+3"}}, nullptr},
    {"NAXIS1 de 20 cifras",
     {{"NAXIS1", "99999999999999999999"}},
     "Dimensiones de imagen no admitidas"},
    {"NAXIS2 de 30 cifras",
     {{"NAXIS2", "-999999999999999999999999999999"}},
     "Dimensiones de imagen no admitidas"},
    {"BSCALE que se desborda a 0", {{"BSCALE", "1E-400"}}, "BSCALE no es igual a 1"},
};

void PrintTo(const CasoPrueba& c, std::ostream* os) {
    *os << c.caso;
}

class Pruebas : public ConCarpeta, public ::testing::WithParamInterface<CasoPrueba> {};

TEST_P(Pruebas, RechazaConMensajeOAcepta) {
    const CasoPrueba& c = GetParam();
    const std::vector<std::string> t = Tarjetas(3, 2, c.cambios);
    // Enough data for every accepted case.
    const std::string ruta = Fichero("a.fits", BloqueCabecera(t) + std::string(2880, '\x80'));
    {
        // The header alone is judged alike.
        TPlaca cabecera;
        EXPECT_EQ(cabecera.LeerSoloCabecera(ruta), !c.mensaje);
        EXPECT_EQ(Mensaje, c.mensaje ? c.mensaje : "UTPlaca BETA");
    }
    TPlaca placa;
    if (!c.mensaje) {
        EXPECT_TRUE(placa.LeerFits(ruta));
        EXPECT_EQ(Mensaje, "UTPlaca BETA");
        EXPECT_EQ(placa.Pixel(2, 1), static_cast<uint16_t>(0x8080 + 32768));
        return;
    }
    EXPECT_FALSE(placa.LeerFits(ruta));
    EXPECT_EQ(Mensaje, c.mensaje);
    EXPECT_EQ(placa.Ancho(), 0);
    EXPECT_EQ(placa.Alto(), 0);
    EXPECT_TRUE(Imagen.empty());
    EXPECT_EQ(placa.Pixel(0, 0), 0);
    EXPECT_EQ(Cabecera, t); // the cards read so far, BZERO untouched
}

INSTANTIATE_TEST_SUITE_P(LeerFits, Pruebas, ::testing::ValuesIn(CasosPrueba),
                         [](const auto& info) { return NombreCaso(info.param.caso); });

// The header alone: its keys, whatever follows it, and no matrix, even after a frame was loaded.
TEST_F(LeerFits, SoloCabeceraNoLeeLosPixeles) {
    TPlaca placa;
    ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", FitsDeCuentas(3, 7, Rampa(21)))));
    const std::vector<std::string> t = Cambiar(Tarjetas(16000, 16000), "FOCUSPOS", "1234");
    for (const std::string& datos : {std::string(), std::string(2880, '\0')}) {
        TPlaca cabecera;
        ASSERT_TRUE(cabecera.LeerSoloCabecera(Fichero("b.fits", BloqueCabecera(t) + datos)));
        EXPECT_EQ(cabecera.LeerClave("FOCUSPOS"), "1234");
        EXPECT_EQ(cabecera.Ancho(), 0);
        EXPECT_TRUE(Imagen.empty());
    }
    TPlaca corta;
    EXPECT_THROW(corta.LeerSoloCabecera(Fichero("c.fits", BloqueCabecera(t).substr(0, 2000))),
                 ErrorIncompleto);
}

TEST_F(LeerFits, EjesExtremosAdmitidos) {
    for (const auto& [ancho, alto] : {std::pair{65535, 1}, std::pair{1, 65535}}) {
        const auto cuentas = Rampa(65535, 3);
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", FitsDeCuentas(ancho, alto, cuentas))));
        CompararPixeles(placa, static_cast<size_t>(ancho), cuentas);
    }
}

// A header that claims more pixels than the program takes is refused before anything is
// allocated or read, with its reason, even when the data are not all there yet.
TEST_F(LeerFits, FotoDemasiadoGrandeSeRechazaAntesDeReservar) {
    const struct {
        int64_t ancho, alto;
        bool completa;
        const char* mensaje;
    } casos[] = {
        {16385, 16384, true,
         "Foto demasiado grande: 16385 x 16384 píxeles ocupan 513 MiB en memoria; el máximo es "
         "512 MiB"},
        {32768, 32768, true, "32768 x 32768 píxeles ocupan 2048 MiB"},
        {65535, 65535, false, "65535 x 65535 píxeles ocupan 8192 MiB"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.mensaje);
        const std::string ruta = (carpeta_ / "enorme.fits").string();
        if (c.completa) {
            ASSERT_TRUE(FotoEnorme(ruta, c.ancho, c.alto));
        } else {
            GuardarFichero(ruta, BloqueCabecera(TarjetasBasicas(c.ancho, c.alto)));
        }
        TPlaca placa;
        EXPECT_FALSE(placa.LeerFits(ruta));
        EXPECT_NE(Mensaje.find(c.mensaje), std::string::npos) << Mensaje;
        EXPECT_EQ(placa.Ancho(), 0);
        EXPECT_TRUE(Imagen.empty());
    }
}

// Under a memory limit the bound is half of it: a frame that would fit the stated maximum is
// refused when the process may not hold it twice over.
TEST_F(LeerFits, FotoQueNoCabeEnLaMemoriaDelProceso) {
    if (ConSanitizador) GTEST_SKIP() << "a memory limit breaks the sanitizer";
    if (!LimiteDeMemoriaEnVigor(RLIMIT_AS))
        GTEST_SKIP() << "memory limits are accepted but not applied here (qemu-user)";
    const std::string ruta = (carpeta_ / "grande.fits").string();
    ASSERT_TRUE(FotoEnorme(ruta, 12000, 12000)); // 275 MiB
    EXPECT_EXIT(
        {
            rlimit r{};
            ::getrlimit(RLIMIT_AS, &r);
            r.rlim_cur = rlim_t{400} << 20;
            if (::setrlimit(RLIMIT_AS, &r) != 0) std::_Exit(2);
            TPlaca placa;
            const bool cargada = placa.LeerFits(ruta);
            std::fprintf(stderr, "%s\n", Mensaje.c_str());
            std::_Exit(cargada ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "12000 x 12000 píxeles ocupan 275 MiB en memoria; el "
                                      "máximo es 200 MiB");
}

struct CasoDesplazamiento {
    std::optional<std::string> bzero;
    uint16_t desplazamiento;
};

TEST_F(LeerFits, DesplazamientoBzero) {
    const CasoDesplazamiento casos[] = {
        {std::nullopt, 0}, {"32768.0", 32768},  {"32768", 32768}, {"3.2768E4", 32768},
        {"0.5", 0},        {"1.5", 2},          {"2.5", 2},       {"-0.5", 0},
        {"-1.5", 65534},   {"-32768", 32768},   {"98304", 32768}, {"1E10", 58368},
        {"0", 0},          {"65535.49", 65535}, {"-65536.5", 0},  {"1E-400", 0},
        {"-1E-400", 0},
    };
    const std::vector<int16_t> crudos = {-32768, -1, 0, 1, 32767, 12345};
    for (const CasoDesplazamiento& c : casos) {
        SCOPED_TRACE(c.bzero.value_or("sin BZERO"));
        const std::vector<std::string> t =
            Tarjetas(static_cast<int64_t>(crudos.size()), 1, {{"BZERO", c.bzero}});
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", BloqueCabecera(t) + BloqueDatos(crudos))));
        for (size_t x = 0; x < crudos.size(); ++x)
            EXPECT_EQ(placa.Pixel(static_cast<int64_t>(x), 0),
                      static_cast<uint16_t>(crudos[x] + c.desplazamiento));
        // The offset card is rewritten in place, or appended at the end when there was none.
        std::vector<std::string> esperada = t;
        if (c.bzero)
            esperada = Cambiar(t, "BZERO", "0.0");
        else
            esperada.push_back(TarjetaFits("BZERO", "0.0"));
        EXPECT_EQ(Cabecera, esperada);
    }
}

TEST_F(LeerFits, BzeroDuplicadoUsaElPrimeroYReescribeElUltimo) {
    std::vector<std::string> t = TarjetasBasicas(1, 1, 32768.0);
    t.push_back(TarjetaFits("BZERO", "0"));
    TPlaca placa;
    ASSERT_TRUE(placa.LeerFits(Fichero("a.fits", BloqueCabecera(t) + BloqueDatos({0}))));
    EXPECT_EQ(placa.Pixel(0, 0), 32768);
    EXPECT_EQ(Cabecera[5], t[5]);
    EXPECT_EQ(Cabecera.back(), TarjetaFits("BZERO", "0.0"));
}

TEST_F(LeerFits, FicheroQueNoExiste) {
    std::filesystem::create_directory(carpeta_ / "x.fits");
    ASSERT_EQ(::mkfifo((carpeta_ / "tubo.fits").c_str(), 0600), 0);
    for (const std::string nombre : {"no.fits", "x.fits", "tubo.fits"}) {
        const std::string ruta = (carpeta_ / nombre).string();
        TPlaca placa;
        EXPECT_FALSE(placa.LeerFits(ruta));
        EXPECT_EQ(Mensaje, "No se encuentra el fichero " + ruta);
        EXPECT_TRUE(Cabecera.empty());
        EXPECT_EQ(placa.Ancho(), 0);
    }
    TPlaca otra;
    EXPECT_FALSE(otra.LeerFits(""));
    EXPECT_EQ(Mensaje, "No se encuentra el fichero ");
}

// Another process swaps a FIFO, a link to a device and a complete frame in turn under the name
// being loaded. Whichever the open meets, the load neither blocks nor reads without end, and
// nothing but the frame passes for a file, let alone for one still being written.
TEST_F(LeerFits, TuberiaCambiadaTrasLaPruebaNoBloquea) {
    const std::string ruta = (carpeta_ / "f.fits").string();
    const std::string temporal = (carpeta_ / "t").string();
    const std::string bueno = FitsDeCuentas(2, 2, {1, 2, 3, 4});
    GuardarFichero(ruta, bueno);
    std::atomic<bool> parar = false;
    std::thread cambiador([&] {
        for (int i = 0; !parar; ++i) {
            if (i % 3 == 0) GuardarFichero(temporal, bueno);
            if (i % 3 == 1) ::mkfifo(temporal.c_str(), 0600);
            if (i % 3 == 2) ::symlink("/dev/zero", temporal.c_str());
            ::rename(temporal.c_str(), ruta.c_str());
        }
    });
    ::alarm(120); // a load blocked on the FIFO ends the test program instead of hanging it
    // Until both a load and a refusal by the existence test have been seen: with the cores
    // busy the swapper may run only now and then. The bound is there only to end a loop that
    // would never see them.
    int cargadas = 0, ausentes = 0, rechazadas = 0;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    for (int i = 0; i < 30000 ||
                    ((cargadas == 0 || ausentes == 0) && std::chrono::steady_clock::now() < limite);
         ++i) {
        TPlaca placa;
        try {
            if (placa.LeerFits(ruta)) {
                ++cargadas;
                EXPECT_EQ(placa.Pixel(1, 1), 4);
            } else {
                ++ausentes; // the existence test saw the FIFO or the device
            }
        } catch (const ErrorIncompleto& e) {
            ADD_FAILURE() << e.what();
        } catch (const ErrorConversion&) {
            ++rechazadas; // swapped in between the test and the open
        }
    }
    ::alarm(0);
    parar = true;
    cambiador.join();
    EXPECT_GT(cargadas, 0);
    EXPECT_GT(ausentes, 0);
    RecordProperty("rechazadas", rechazadas);
}

TEST_F(LeerFits, FicheroIlegibleLevantaError) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const std::string ruta = Fichero("a.fits", FitsDeCuentas(1, 1, {5}));
    ::chmod(ruta.c_str(), 0);
    TPlaca placa;
    EXPECT_THROW(placa.LeerFits(ruta), ErrorConversion);
    EXPECT_EQ(Mensaje, "UTPlaca BETA");
}

TEST_F(LeerFits, CadaPlacaEmpiezaDeCero) {
    const std::string ruta = Fichero("a.fits", FitsDeCuentas(2, 2, {1, 2, 3, 4}));
    {
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(ruta));
        EXPECT_FALSE(placa.LeerFits(ruta + ".no"));
    }
    EXPECT_TRUE(Imagen.empty()); // released with the frame
    TPlaca placa;
    EXPECT_EQ(Mensaje, "UTPlaca BETA");
    EXPECT_TRUE(Cabecera.empty());
    EXPECT_EQ(placa.Ancho(), 0);
    EXPECT_EQ(placa.Alto(), 0);
    EXPECT_EQ(placa.Pixel(0, 0), 0);
}

size_t DescriptoresAbiertos() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

TEST_F(LeerFits, CierraElFicheroEnCadaSalida) {
    const std::string bueno = FitsDeCuentas(2, 2, {1, 2, 3, 4});
    const std::string rutas[] = {
        Fichero("bien.fits", bueno),
        Fichero("simple.fits", BloqueCabecera(Tarjetas(2, 2, {{"SIMPLE", "F"}}))),
        Fichero("ejes.fits", BloqueCabecera(Tarjetas(0, 2))),
        Fichero("corto.fits", bueno.substr(0, bueno.size() - 2880)),
        Fichero("sinfin.fits", BloqueCabecera(TarjetasBasicas(2, 2), false)),
        Fichero("bzero.fits", BloqueCabecera(Tarjetas(2, 2, {{"BZERO", "x"}}))),
    };
    const size_t antes = DescriptoresAbiertos();
    for (int vuelta = 0; vuelta < 3; ++vuelta)
        for (const std::string& ruta : rutas) {
            TPlaca placa;
            try {
                placa.LeerFits(ruta);
            } catch (const std::runtime_error&) {
            }
        }
    EXPECT_EQ(DescriptoresAbiertos(), antes);
}

} // namespace
