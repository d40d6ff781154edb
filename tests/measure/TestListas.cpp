// SPDX-License-Identifier: GPL-3.0-or-later
#include "Errores.h"
#include "ListasTrabajo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Contenido(const TListaOrdenada& l) {
    std::vector<std::string> r;
    for (int32_t k = 0; k < l.Count(); ++k) r.push_back(l[k]);
    return r;
}

TEST(ListaOrdenada, KeepsByteOrderAndDuplicates) {
    struct Caso {
        std::vector<std::string> entrada, esperado;
    };
    const Caso casos[] = {
        {{"01234", "00000", "65535", "01234", "00000"},
         {"00000", "00000", "01234", "01234", "65535"}},
        // A minus sorts before the digits, so negative value texts lead a group of equal
        // diameters; the comma and the point sort the same way against digits.
        {{"002.00  00000.00", "002.00  -00012.00", "001.41  00003.00"},
         {"001.41  00003.00", "002.00  -00012.00", "002.00  00000.00"}},
        {{"002,00  00000,00", "002,00  -00012,00"}, {"002,00  -00012,00", "002,00  00000,00"}},
        // Byte order, not a case-folded one.
        {{"b", "B", "a", "A"}, {"A", "B", "a", "b"}},
        {{"\xe9", "z"}, {"z", "\xe9"}},
    };
    for (const Caso& c : casos) {
        TListaOrdenada l;
        for (const std::string& t : c.entrada) l.Add(t);
        EXPECT_EQ(Contenido(l), c.esperado);
    }
}

TEST(ListaOrdenada, TextsAddedAfterAReadStillGoToTheirPlace) {
    TListaOrdenada l;
    l.Add("00005");
    l.Add("00001");
    EXPECT_EQ(l[0], "00001");
    l.Add("00003");
    l.Add("00000");
    EXPECT_EQ(Contenido(l), (std::vector<std::string>{"00000", "00001", "00003", "00005"}));
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    l.Add("00002");
    EXPECT_EQ(Contenido(l), (std::vector<std::string>{"00002"}));
}

TEST(ListasTrabajo, PositionsOutsideRaise) {
    TListaOrdenada o;
    TListaAcumulada a;
    EXPECT_THROW(o[0], ErrorRango);
    EXPECT_THROW(a[-1], ErrorRango);
    o.Add("1");
    a.Add("z");
    a.Add("a");
    EXPECT_THROW(o[1], ErrorRango);
    EXPECT_THROW(o[-1], ErrorRango);
    EXPECT_THROW(a[2], ErrorRango);
    EXPECT_EQ(a[0], "z"); // appending order, unsorted
    EXPECT_EQ(a[1], "a");
    a.Clear();
    EXPECT_THROW(a[0], ErrorRango);
}

} // namespace
