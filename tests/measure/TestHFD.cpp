// SPDX-License-Identifier: GPL-3.0-or-later
// Half-flux diameter and the FWHM choice.
#include "Errores.h"
#include "Fotos.h"
#include "Medida.h"
#include "Numeros.h"

#include <string>
#include <vector>

namespace {

struct Par {
    double diametro, suma;
};

// Cumulative entries as CalcularHFD writes them.
TListaAcumulada Acumulada(const std::vector<Par>& pares, char decimal = '.') {
    TListaAcumulada l;
    for (const Par& p : pares)
        l.Add(FormatearNumero(p.diametro, "000.00", decimal) + "  " +
              FormatearNumero(p.suma, "0.00", decimal));
    return l;
}

std::vector<Par> Seguidos(std::vector<Par> pares, int veces, Par p) {
    pares.insert(pares.end(), static_cast<size_t>(veces), p);
    return pares;
}

TEST(InterpolarHFD, WalksToHalfTheTotal) {
    std::vector<Par> crecientes; // running sums 10, 20 .. 400 still growing at the edge
    for (int k = 1; k <= 40; ++k) crecientes.push_back({static_cast<double>(k), 10.0 * k});
    struct Caso {
        const char* que;
        std::vector<Par> pares;
        double hfd;
    };
    const Caso casos[] = {
        {"the worked example", Seguidos({{4.00, 900}, {4.12, 1100}}, 20, {9, 2000}), 4.06},
        // Total = mean of 210..400 = 305, half 152.5: between 15 and 16, not at 20.
        {"total from the last 20 sums", crecientes, 15.25},
        {"first entry already at half: the pair before is 0, 0",
         Seguidos({{0.5, 1000}}, 20, {10, 1000}), 0.25},
        {"the first entry at or above half stops the walk",
         Seguidos({{1, 100}, {2, 600}, {3, 300}}, 20, {10, 1000}), 1.8},
        {"a sum equal to half stops the walk; passing it would end at 5",
         Seguidos({{1, 100}, {2, 500}, {3, 300}}, 20, {10, 1000}), 2},
        {"equal diameters give that diameter", Seguidos({{3, 100}, {3, 900}}, 20, {5, 1000}), 3},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        EXPECT_DOUBLE_EQ(InterpolarHFD(Acumulada(c.pares), '.'), c.hfd);
        EXPECT_EQ(InterpolarHFD(Acumulada(c.pares, ','), ','),
                  InterpolarHFD(Acumulada(c.pares), '.'));
    }
}

TEST(InterpolarHFD, FailuresRaise) {
    // Fewer than 20 entries: there is no position m - 20.
    EXPECT_THROW(InterpolarHFD(Acumulada(Seguidos({}, 19, {1, 5})), '.'), ErrorRango);
    EXPECT_THROW(InterpolarHFD(TListaAcumulada(), '.'), ErrorRango);
    // A negative total: every sum below half, the last entry its own pair, 0 / 0.
    EXPECT_THROW(InterpolarHFD(Acumulada(Seguidos({{1, -3}}, 20, {5, -5})), '.'), ErrorAritmetico);
    // A zero total: the first entry reaches half with nothing summed, 0 / 0 again.
    EXPECT_THROW(InterpolarHFD(Acumulada(Seguidos({}, 20, {5, 0})), '.'), ErrorAritmetico);
}

TEST(FWHM, ChoiceAndFitWindow) {
    struct Caso {
        double hfd;
        int32_t radio;
    };
    for (const Caso c : {Caso{9.99, 12}, Caso{2.5, 4}, Caso{3.5, 6}, Caso{0.49, 2}})
        EXPECT_EQ(RadioAjuste(c.hfd), c.radio) << c.hfd;

    // No frame is loaded, so any fit would raise: 10 and more never fit.
    TPlaca placa;
    char calidad = 'x';
    EXPECT_EQ(ElegirFWHM(placa, 10.0, 5, 5, calidad), 10.0f);
    EXPECT_EQ(calidad, ' ');
    EXPECT_EQ(ElegirFWHM(placa, 1e300, 5, 5, calidad), 10.0f);
    EXPECT_THROW(ElegirFWHM(placa, 9.99, 5, 5, calidad), ErrorRango);
}

// The measurement of the counts in a box from 3 to 27 on both axes, and its two lists.
class HFD : public ConFotos {
protected:
    TMedida Medida(const Cuentas& c) {
        Cargar(placa, c);
        TMedida m(placa, ordenada, acumulada);
        m.XMin = 3, m.XMax = 27, m.YMin = 3, m.YMax = 27;
        return m;
    }
    TPlaca placa;
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
};

TEST_F(HFD, RadialAndCumulativeTexts) {
    Cuentas c(30, 30, 100);
    c(15, 15) = 500;
    c(16, 15) = 88;
    TMedida m = Medida(c);
    m.NivelFondo = 100, m.CentroideX = 15, m.CentroideY = 15;
    // Total 388, half 194: the first entry already holds it, and the diameter is 0.
    EXPECT_EQ(m.CalcularHFD(), 0);
    ASSERT_EQ(ordenada.Count(), 441);
    EXPECT_EQ(ordenada[0], "000.00  00400.00");
    EXPECT_EQ(ordenada[1], "002.00  -00012.00"); // the minus leads its group of diameters
    EXPECT_EQ(ordenada[2], "002.00  00000.00");
    EXPECT_EQ(ordenada[440], "028.28  00000.00");
    ASSERT_EQ(acumulada.Count(), 441);
    EXPECT_EQ(acumulada[0], "000.00  400.00");
    EXPECT_EQ(acumulada[1], "002.00  388.00");
    EXPECT_EQ(acumulada[440], "028.28  388.00");

    // A centroid so far away that a diameter needs more than six characters is refused
    // instead of sorting out of numeric order.
    m.CentroideX = 600;
    EXPECT_THROW(m.CalcularHFD(), ErrorRango);
}

TEST_F(HFD, TwoDecimalTextsRoundTheValues) {
    // Background 100.125: every value text is rounded to hundredths before it is summed.
    Cuentas c(30, 30, 100);
    c(15, 15) = 1100;
    TMedida m = Medida(c);
    m.NivelFondo = 100.125, m.CentroideX = 15.25, m.CentroideY = 15;
    m.CalcularHFD();
    EXPECT_EQ(ordenada[0], "000.50  00999.88"); // 999.875 away from zero
    EXPECT_EQ(ordenada[1], "001.50  -00000.13");
    EXPECT_EQ(acumulada[1], "001.50  999.75");
}

} // namespace
