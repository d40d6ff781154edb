// SPDX-License-Identifier: GPL-3.0-or-later
// Header cards: the value lookup and the card writer.
#include "Auxiliar.h"
#include "Errores.h"
#include "UTPlaca.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::string Blancos(size_t n) {
    return std::string(n, ' ');
}

struct CasoLectura {
    const char* caso;
    std::vector<std::string> tarjetas; // padded to 80
    std::string nombre;
    std::optional<std::string> valor; // none: the lookup raises a range error
};

const CasoLectura CasosLectura[] = {
    {"logico con comentario",
     {"SIMPLE  =                    T / conforms to FITS standard"},
     "SIMPLE",
     "T"},
    {"texto con blancos dentro de las comillas",
     {"OBJECT  = 'M31     '           / objeto"},
     "OBJECT",
     "M31"},
    {"fecha cortada en la primera barra", {"DATE-OBS= '2024/01/05'"}, "DATE-OBS", "2024"},
    {"barra dentro del texto", {"RUTA    = 'a/b'"}, "RUTA", "a"},
    {"texto vacio", {"VACIO   = ''"}, "VACIO", ""},
    {"solo blancos entre comillas", {"BLANCOS = '   '"}, "BLANCOS", ""},
    {"comilla doble interior se queda", {"AUTOR   = 'O''Hara'"}, "AUTOR", "O''Hara"},
    {"una comilla en cada extremo", {"RARO    = ''a''"}, "RARO", "'a'"},
    {"comilla solo al final", {"FINAL   = 5'"}, "FINAL", "5"},
    {"numero con signo y exponente", {"BZERO   =            3.2768E+4"}, "BZERO", "3.2768E+4"},
    {"ausente", {"NAXIS   =                    2"}, "BITPIX", ""},
    {"NAXIS no encuentra NAXIS1", {"NAXIS1  =                  100"}, "NAXIS", ""},
    {"mayusculas y minusculas distintas", {"SIMPLE  =                    T"}, "simple", ""},
    {"nombre con blancos no se recorta", {"SIMPLE  =                    T"}, "SIMPLE ", ""},
    {"clave tras blancos iniciales", {"  NAXIS1=                  100"}, "NAXIS1", "100"},
    {"clave de 8 caracteres", {"ABCDEFGH=                    7"}, "ABCDEFGH", "7"},
    {"nombre de 9 caracteres nunca coincide", {"ABCDEFGH=                    7"}, "ABCDEFGHI", ""},
    {"duplicada: la primera",
     {"GAIN    =                    1", "GAIN    =                    2"},
     "GAIN",
     "1"},
    {"columna 9 no se lee", {"CLAVE   :                    8"}, "CLAVE", "8"},
    {"valor pegado en la columna 10", {"PEGADO  =5"}, "PEGADO", "5"},
    {"valor en la columna 9 no se ve", {"JUNTO   5"}, "JUNTO", std::nullopt},
    {"columna 80 no se lee", {"LARGO   = " + Blancos(60) + "1234567890"}, "LARGO", "123456789"},
    {"caracteres de control recortados",
     {std::string("NULOS   = \t42") + std::string(3, '\0')},
     "NULOS",
     "42"},
    {"campo en blanco", {"BLANCO  ="}, "BLANCO", std::nullopt},
    {"solo un comentario", {"COMENT  = / solo un comentario"}, "COMENT", std::nullopt},
    {"una comilla sola", {"COMILLA = '"}, "COMILLA", std::nullopt},
    {"la primera tarjeta en blanco aunque la segunda tenga valor",
     {"DOBLE   =", "DOBLE   =                    3"},
     "DOBLE",
     std::nullopt},
};

void PrintTo(const CasoLectura& c, std::ostream* os) {
    *os << c.caso;
}

class Lectura : public ::testing::TestWithParam<CasoLectura> {};

TEST_P(Lectura, DevuelveElValorOLevantaError) {
    const CasoLectura& c = GetParam();
    TPlaca placa;
    for (const std::string& t : c.tarjetas) Cabecera.push_back(A80(t));
    if (c.valor)
        EXPECT_EQ(placa.LeerClave(c.nombre), *c.valor);
    else
        EXPECT_THROW(placa.LeerClave(c.nombre), ErrorRango);
}

INSTANTIATE_TEST_SUITE_P(Cabecera, Lectura, ::testing::ValuesIn(CasosLectura),
                         [](const auto& info) { return NombreCaso(info.param.caso); });

TEST(Cabecera, LecturaEnListaVacia) {
    TPlaca placa;
    EXPECT_EQ(placa.LeerClave("SIMPLE"), "");
    EXPECT_EQ(placa.LeerClave(""), "");
}

// Cards written by other code may be shorter than 80; the lookup reads what is there.
TEST(Cabecera, LecturaDeTarjetasCortas) {
    TPlaca placa;
    Cabecera = {"CORTA", "", "NUEVE   =", "DIEZ    =5", "X"};
    EXPECT_THROW(placa.LeerClave("CORTA"), ErrorRango);
    EXPECT_THROW(placa.LeerClave("NUEVE"), ErrorRango);
    EXPECT_EQ(placa.LeerClave("DIEZ"), "5");
    EXPECT_EQ(placa.LeerClave("Y"), "");
    EXPECT_THROW(placa.LeerClave(""), ErrorRango); // the empty card has the empty keyword
}

struct CasoEscritura {
    const char* caso;
    std::string nombre, valor, comentario;
    std::string tarjeta; // expected, before padding to 80
};

const std::string Ochenta(80, 'v');
const std::string Cien(100, 'c');

const CasoEscritura CasosEscritura[] = {
    {"BZERO 0.0", "BZERO", "0.0", "", "BZERO   = " + Blancos(17) + "0.0"},
    {"T es texto", "SIMPLE", "T", "", "SIMPLE  = 'T" + Blancos(19) + "'"},
    {"entero a la derecha", "NUM", "32768", "", "NUM     = " + Blancos(15) + "32768"},
    {"exponente a la derecha", "EXP", "1.0E3", "", "EXP     = " + Blancos(15) + "1.0E3"},
    {"coma decimal es texto", "COMA", "1,5", "", "COMA    = '1,5" + Blancos(17) + "'"},
    {"exponente D es texto", "DEXP", "1.0D3", "", "DEXP    = '1.0D3" + Blancos(15) + "'"},
    {"vacio es texto", "VACIO", "", "", "VACIO   = '" + Blancos(20) + "'"},
    {"no se recorta el valor", "BLANCOS", " 5 ", "", "BLANCOS = " + Blancos(17) + " 5 "},
    {"numero de mas de 20 desde la columna 11", "LARGO", "123456789012345678901234", "",
     "LARGO   = 123456789012345678901234"},
    {"texto de mas de 20 sin relleno", "TEXTO", "abcdefghijklmnopqrstuvwxyz", "",
     "TEXTO   = 'abcdefghijklmnopqrstuvwxyz'"},
    {"comillas interiores sin duplicar", "AUTOR", "O'Hara", "",
     "AUTOR   = 'O'Hara" + Blancos(14) + "'"},
    {"numero con comentario", "NUM", "5", "cuenta", "NUM     = " + Blancos(19) + "5 / cuenta"},
    {"texto con comentario", "TEXTO", "abc", "nota", "TEXTO   = 'abc" + Blancos(17) + "' / nota"},
    {"nombre largo cortado a 8", "LARGUISIMO", "1", "", "LARGUISI= " + Blancos(19) + "1"},
    {"valor largo cortado en 80", "CORTE", Ochenta, "nota",
     ("CORTE   = '" + Ochenta).substr(0, 80)},
    {"comentario largo cortado en 80", "COM", "1", Cien,
     ("COM     = " + Blancos(19) + "1 / " + Cien).substr(0, 80)},
};

void PrintTo(const CasoEscritura& c, std::ostream* os) {
    *os << c.caso;
}

class Escritura : public ::testing::TestWithParam<CasoEscritura> {};

TEST_P(Escritura, FormaLaTarjeta) {
    const CasoEscritura& c = GetParam();
    TPlaca placa;
    placa.EscribirClave(c.nombre, c.valor, c.comentario);
    ASSERT_EQ(Cabecera.size(), 1u);
    EXPECT_EQ(Cabecera[0].size(), 80u);
    EXPECT_EQ(Cabecera[0], A80(c.tarjeta));
}

INSTANTIATE_TEST_SUITE_P(Cabecera, Escritura, ::testing::ValuesIn(CasosEscritura),
                         [](const auto& info) { return NombreCaso(info.param.caso); });

TEST(Cabecera, DuplicadasLeeLaPrimeraEscribeLaUltima) {
    TPlaca placa;
    Cabecera = {A80("A       = 1"), A80("GAIN    = 1"), A80("B       = 2"), A80("GAIN    = 2"),
                A80("C       = 3")};
    placa.EscribirClave("GAIN", "3", "");
    ASSERT_EQ(Cabecera.size(), 5u);
    EXPECT_EQ(Cabecera[1], A80("GAIN    = 1"));
    EXPECT_EQ(Cabecera[3], A80("GAIN    = " + Blancos(19) + "3"));
    EXPECT_EQ(placa.LeerClave("GAIN"), "1");
}

TEST(Cabecera, EscrituraReemplazaOAnade) {
    TPlaca placa;
    Cabecera = {A80("  GAIN  = 1"), A80("OFFSET  = 1")};
    placa.EscribirClave("GAIN", "2", "");   // found behind leading blanks: replaced
    placa.EscribirClave("offset", "2", ""); // case-sensitive: appended
    ASSERT_EQ(Cabecera.size(), 3u);
    EXPECT_EQ(placa.LeerClave("GAIN"), "2");
    EXPECT_EQ(Cabecera[1], A80("OFFSET  = 1"));
    EXPECT_EQ(placa.LeerClave("offset"), "2");
}

TEST(Cabecera, NombreLargoAnadeCadaVez) {
    TPlaca placa;
    for (int i = 0; i < 3; ++i) placa.EscribirClave("EXPOSICION", std::to_string(i), "");
    ASSERT_EQ(Cabecera.size(), 3u);
    for (const std::string& t : Cabecera) EXPECT_EQ(t.substr(0, 10), "EXPOSICI= ");
    EXPECT_EQ(placa.LeerClave("EXPOSICION"), "");
    EXPECT_EQ(placa.LeerClave("EXPOSICI"), "0");
}

TEST(Cabecera, LoEscritoSeLeeIgual) {
    TPlaca placa;
    for (const char* v : {"T", "32768", "1.0E3", "-0.5", "M31", "1,5", "O'Hara"}) {
        placa.EscribirClave("CLAVE", v, "con comentario");
        EXPECT_EQ(placa.LeerClave("CLAVE"), v);
    }
    EXPECT_EQ(Cabecera.size(), 1u);
}

} // namespace
