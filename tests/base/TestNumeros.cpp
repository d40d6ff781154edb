// SPDX-License-Identifier: GPL-3.0-or-later
#include "Errores.h"
#include "Numeros.h"
#include "Reloj.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <unistd.h>

TEST(Redondear, MitadAlPar) {
    const struct {
        double v;
        int32_t r;
    } casos[] = {{0.5, 0},
                 {1.5, 2},
                 {2.5, 2},
                 {-0.5, 0},
                 {-1.5, -2},
                 {4.5, 4},
                 {5.5, 6},
                 {1.4999999, 1},
                 {-2.6, -3},
                 {2147483647.0, 2147483647},
                 {-2147483648.0, INT32_MIN},
                 {2147483647.4, 2147483647}};
    for (const auto& c : casos) EXPECT_EQ(Redondear(c.v), c.r) << c.v;
}

TEST(Redondear, FueraDeRangoLanzaErrorRango) {
    for (double v :
         {2147483647.5 + 0.5, -2147483649.0, 1e300, std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(Redondear(v), ErrorRango) << v;
}

TEST(ValoresDeCabecera, PruebaNumerica) {
    for (const char* si :
         {"1", "1.0", "1E0", "1.0E3", "-12.5", "+3", " 32768 ", "5.", ".5", "1e-3", "2E+2"})
        EXPECT_TRUE(EsNumero(si)) << si;
    for (const char* no :
         {"", " ", "1,5", "T", "1D3", "E3", ".", "1e", "--1", "1 2", "0x10", "nan", "inf", "'1'"})
        EXPECT_FALSE(EsNumero(no)) << no;
}

TEST(ValoresDeCabecera, ConversionConPuntoSeaCualSeaElLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may be absent; the conversion ignores it anyway
    EXPECT_DOUBLE_EQ(ConvertirNumero("1.0E3"), 1000.0);
    EXPECT_DOUBLE_EQ(ConvertirNumero(" -0.25"), -0.25);
    EXPECT_DOUBLE_EQ(ConvertirNumero("+32768"), 32768.0);
    std::setlocale(LC_NUMERIC, "C");
    for (const char* no : {"", "1,5", "T", "1D3", "1e999"})
        EXPECT_THROW(ConvertirNumero(no), ErrorConversion) << no;
}

// Too small for a double is zero with its sign; too large stays an error whatever its form.
TEST(ValoresDeCabecera, DesbordamientoPorAbajoEsCero) {
    for (const char* cero : {"1E-400", "+1E-400", "0.00001E-320", "123E-99999999999999999999",
                             "2E-324", "1000e-330"}) {
        const double v = ConvertirNumero(cero);
        EXPECT_EQ(v, 0.0) << cero;
        EXPECT_FALSE(std::signbit(v)) << cero;
    }
    EXPECT_TRUE(std::signbit(ConvertirNumero("-1E-400")));
    EXPECT_EQ(ConvertirNumero("-1E-400"), 0.0);
    EXPECT_DOUBLE_EQ(ConvertirNumero("1E-310"), 1E-310); // subnormal, representable
    EXPECT_EQ(LeerNumero("1,5E-400", ','), 0.0);
    for (const char* grande :
         {"1E400", "-1E400", "0.001E312", "1E99999999999999999999", "100000000000000000000E300"})
        EXPECT_THROW(ConvertirNumero(grande), ErrorConversion) << grande;
}

TEST(ValoresDeCabecera, Enteros) {
    EXPECT_EQ(ConvertirEntero("1280"), 1280);
    EXPECT_EQ(ConvertirEntero(" -7 "), -7);
    EXPECT_EQ(ConvertirEntero("+65536"), 65536);
    for (const char* no : {"", "12.0", "1E3", "abc", "-", "1 2"})
        EXPECT_THROW(ConvertirEntero(no), ErrorConversion) << no;
    // Beyond 64 bits: the nearest limit, so that a range test refuses it like any large value.
    EXPECT_EQ(ConvertirEntero("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(ConvertirEntero(" +9223372036854775808 "), INT64_MAX);
    EXPECT_EQ(ConvertirEntero("-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(ConvertirEntero("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ConvertirEntero("-9223372036854775808"), INT64_MIN);
}

TEST(TextosNumericos, Formatos) {
    const struct {
        double v;
        const char* formato;
        char decimal;
        const char* texto;
    } casos[] = {
        {0, "00000", '.', "00000"},
        {1234, "00000", '.', "01234"},
        {65535, "00000", '.', "65535"},
        {3.5, "000.00", '.', "003.50"},
        {0, "000.00", ',', "000,00"},
        {-12.3, "00000.00", '.', "-00012.30"},
        {65535, "00000.00", '.', "65535.00"},
        {2.345f, "0.00", ',', "2,35"}, // float 2.345 is slightly above the half
        {2.345, "0.00", '.', "2.35"},  // double 2.345 is below: 2.34499999...
        {0.125, "0.00", '.', "0.13"},  // an exact binary tie goes away from zero
        {-0.125, "0.00", '.', "-0.13"},
        {0.375, "0.00", '.', "0.38"},
        {2.5, "00000", '.', "00003"},
        {-0.001, "0.00", '.', "0.00"},
        {9.999, "0.00", '.', "10.00"},
        {1234567.5, "#,##0.###", '.', "1,234,567.5"},
        {100000, "#,##0.###", '.', "100,000"},
        {0.2, "#,##0.###", '.', "0.2"},
        {0.0005, "#,##0.###", '.', "0.001"},
        {-1500, "#,##0.0", ',', "-1.500,0"},
        {0, "#,##0.0", '.', "0.0"},
        {1e7, "0.00", '.', "10000000.00"},
    };
    for (const auto& c : casos) {
        const char grupo = c.decimal == ',' ? '.' : ',';
        EXPECT_EQ(FormatearNumero(c.v, c.formato, c.decimal, grupo), c.texto)
            << c.v << " " << c.formato;
    }
    EXPECT_EQ(FormatearEntero(-42), "-42");
    EXPECT_EQ(FormatearEntero(65535), "65535");
}

TEST(TextosNumericos, IgnoranElLocaleDeLaBibliotecaC) {
    // The toolkit switches the C library to the user's locale; the texts must not follow it.
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        // Not installed: build it into a scratch folder from the system's locale sources.
        const std::string dir = "/tmp/quorvel-locale-" + std::to_string(::getpid());
        const std::string orden = "mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir +
                                  "/de_DE.UTF-8 2>/dev/null";
        if (std::system(orden.c_str()) == 0) ::setenv("LOCPATH", dir.c_str(), 1);
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no comma locale here";
    }
    EXPECT_EQ(FormatearNumero(1234, "00000"), "01234");
    EXPECT_EQ(FormatearNumero(0.125, "0.00", ','), "0,13");
    EXPECT_EQ(FormatearNumero(-12.3, "00000.00", ','), "-00012,30");
    EXPECT_DOUBLE_EQ(LeerNumero("-00012,30", ','), -12.3);
    std::setlocale(LC_NUMERIC, "C");
    if (const char* dir = std::getenv("LOCPATH");
        dir && std::string(dir).find("quorvel-locale") != std::string::npos)
        std::system(("rm -rf " + std::string(dir)).c_str());
}

TEST(TextosNumericos, LecturaDevuelveLoEscrito) {
    for (char decimal : {'.', ','}) {
        for (double v : {0.0, 3.5, -12.3, 65535.0, 1234.56, -0.01, 9.99}) {
            const std::string t = FormatearNumero(v, "00000.00", decimal);
            EXPECT_DOUBLE_EQ(LeerNumero(t, decimal), std::round(v * 100) / 100) << t;
        }
    }
    EXPECT_THROW(LeerNumero("1.5", ','), ErrorConversion);
    EXPECT_THROW(LeerNumero("", '.'), ErrorConversion);
}

TEST(Aritmetica, DivisionYRaizComprobadas) {
    EXPECT_DOUBLE_EQ(Dividir(1, 4), 0.25);
    EXPECT_THROW(Dividir(1, 0), ErrorAritmetico);
    EXPECT_THROW(Dividir(0, 0), ErrorAritmetico);
    EXPECT_THROW(Dividir(1e308, 1e-308), ErrorAritmetico);
    EXPECT_DOUBLE_EQ(Raiz(9), 3);
    EXPECT_THROW(Raiz(-1e-9), ErrorAritmetico);
    EXPECT_THROW(Raiz(std::nan("")), ErrorAritmetico);
}

TEST(Reloj, AvanzaEnMilisegundos) {
    // The readings are bracketed by the steady clock: however long the sleep really took, the
    // counter advanced by that in milliseconds, give or take the one it truncates.
    using namespace std::chrono;
    const auto antes = steady_clock::now();
    const uint32_t a = ContadorMs();
    std::this_thread::sleep_for(milliseconds(30));
    const uint32_t b = ContadorMs();
    const double transcurrido = duration<double, std::milli>(steady_clock::now() - antes).count();
    EXPECT_GE(static_cast<uint32_t>(b - a), 29u);
    EXPECT_LT(static_cast<uint32_t>(b - a), transcurrido + 1);
}

TEST(DescripcionError, EspanolYSinoElTextoDelSistema) {
    const struct {
        int codigo;
        const char* texto;
    } casos[] = {
        {EACCES, "Permiso denegado"},
        {EROFS, "Sistema de ficheros de solo lectura"},
        {ENOSPC, "No queda espacio en el dispositivo"},
        {ENOENT, "No existe el fichero o la carpeta"},
        {EISDIR, "Es una carpeta"},
        {ENOTDIR, "No es una carpeta"},
    };
    for (const auto& c : casos) EXPECT_EQ(DescripcionError(c.codigo), c.texto) << c.codigo;
    // Codes without a Spanish text keep the system's own words.
    // (The system's text copied first: an unknown code's text lives in a buffer the next call
    // may free.)
    for (int codigo : {EDOM, 12345}) {
        const std::string delSistema = std::strerror(codigo);
        EXPECT_EQ(DescripcionError(codigo), delSistema);
    }
}
