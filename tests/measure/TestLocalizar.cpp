// SPDX-License-Identifier: GPL-3.0-or-later
// Background, centroid and peak.
#include "Errores.h"
#include "Fotos.h"
#include "Medida.h"
#include "Numeros.h"

#include <algorithm>
#include <cstdint>
#include <random>

namespace {

class Localizar : public ConFotos {
protected:
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
};

TEST_F(Localizar, TrimmedMeanOfTheRing) {
    // 30 x 30: value 1 + x + 3y, but 777 on x, y = 3..27.
    Cuentas c(30, 30);
    for (int64_t x = 0; x < 30; ++x)
        for (int64_t y = 0; y < 30; ++y)
            c(x, y) =
                x >= 3 && x <= 27 && y >= 3 && y <= 27 ? 777 : static_cast<uint16_t>(1 + x + 3 * y);
    struct Caso {
        const char* que;
        int32_t xmin, xmax, ymin, ymax;
        int32_t textos;
        double fondo;
    };
    const Caso casos[] = {
        // Narrow boxes: groups 1 and 2 both take every pixel.
        {"1 x 2: 2 2 5 5, position 2 alone", 1, 1, 0, 1, 4, 5},
        {"3 x 2: 1..6 twice, positions 4 to 8", 0, 2, 0, 1, 12, (3 + 3 + 4 + 4 + 5) / 5.0},
        {"corner: zeros from outside the frame", -1, 0, -1, 0, 8, 0},
        {"25 x 25 of equal values", 3, 27, 3, 27, 184, 777},
    };
    TPlaca placa;
    Cargar(placa, c);
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.que);
        TMedida m(placa, ordenada, acumulada);
        m.XMin = k.xmin, m.XMax = k.xmax, m.YMin = k.ymin, m.YMax = k.ymax;
        m.CalcularFondo();
        EXPECT_EQ(ordenada.Count(), k.textos);
        EXPECT_EQ(m.NivelFondo, k.fondo);
    }
    EXPECT_EQ(ordenada[0], "00777"); // five digits, zero-padded
}

TEST_F(Localizar, FourByFourFrameHasNoCentroid) {
    Cuentas c(4, 4, 999); // the outermost line is never read
    c(1, 1) = 10, c(2, 1) = 20, c(1, 2) = 30, c(2, 2) = 40;
    TPlaca placa;
    Cargar(placa, c);
    TMedida m(placa, ordenada, acumulada);
    EXPECT_THROW(m.LocalizarEstrella(), ErrorAritmetico);
    EXPECT_EQ(ordenada.Count(), 8);           // each ring pixel twice
    EXPECT_DOUBLE_EQ(m.NivelFondo, 80.0 / 3); // positions 3 to 5: 20 30 30
}

TEST_F(Localizar, CentroidCountsValuesBelowTheBackgroundNegatively) {
    // 9 x 9: first-pass ring at 10, interior 3..5 at 10 but for one pixel above and one below;
    // the outermost line would spoil everything if it were read.
    Cuentas c(9, 9, 60000);
    for (int64_t x = 1; x <= 7; ++x)
        for (int64_t y = 1; y <= 7; ++y) c(x, y) = 10;
    c(3, 3) = 16, c(5, 4) = 8;
    TPlaca placa;
    Cargar(placa, c);
    TMedida m(placa, ordenada, acumulada);
    m.XMin = 1, m.XMax = 7, m.YMin = 1, m.YMax = 7;
    m.CalcularFondo();
    m.CalcularCentroide();
    // Sf = 6 - 2, Sx = 6*3 - 2*5, Sy = 6*3 - 2*4: outside the interior, and that is kept.
    EXPECT_EQ(m.NivelFondo, 10);
    EXPECT_EQ(m.CentroideX, 2.0);
    EXPECT_EQ(m.CentroideY, 2.5);
    EXPECT_EQ(m.Maximo, 16);
}

TEST_F(Localizar, CentroidDivisionByZeroRaises) {
    struct Caso {
        uint16_t anillo, interior;
        bool falla;
    };
    for (const Caso k : {Caso{10, 10, true}, Caso{0, 0, true}, Caso{50, 0, false}}) {
        Cuentas c(9, 9, k.anillo);
        for (int64_t x = 3; x <= 5; ++x)
            for (int64_t y = 3; y <= 5; ++y) c(x, y) = k.interior;
        TPlaca placa;
        Cargar(placa, c);
        TMedida m(placa, ordenada, acumulada);
        m.XMin = 1, m.XMax = 7, m.YMin = 1, m.YMax = 7;
        m.CentroideX = m.CentroideY = -7;
        m.CalcularFondo();
        if (k.falla) {
            EXPECT_THROW(m.CalcularCentroide(), ErrorAritmetico);
            EXPECT_EQ(m.CentroideX, -7); // nothing after the failure is written
        } else {
            // An all-zero interior under a brighter ring: weights all -50, centroid in the middle.
            m.CalcularCentroide();
            EXPECT_EQ(m.Maximo, 0);
            EXPECT_EQ(m.CentroideX, 4);
            EXPECT_EQ(m.CentroideY, 4);
        }
    }
}

TEST_F(Localizar, CentroidReadsTheMatrixAsPixelDoes) {
    // The interior is read from the matrix's columns; boxes across every edge, beyond the
    // frame and inside it must give the sums of a walk through Pixel, to the last bit.
    Cuentas c(23, 17);
    std::mt19937 azar(9);
    for (uint16_t& v : c.v) v = static_cast<uint16_t>(azar() % 3000);
    TPlaca placa;
    Cargar(placa, c);
    const int32_t desde[] = {-30, -12, -3, 0, 4, 10, 15, 30};
    for (const int32_t x : desde)
        for (const int32_t y : desde) {
            TMedida m(placa, ordenada, acumulada);
            m.XMin = x, m.XMax = x + 24, m.YMin = y, m.YMax = y + 14;
            m.NivelFondo = 1000.3;
            double Sx = 0, Sy = 0, Sf = 0;
            for (int64_t i = m.XMin + 2; i <= m.XMax - 2; ++i)
                for (int64_t j = m.YMin + 2; j <= m.YMax - 2; ++j) {
                    const double d = placa.Pixel(i, j) - m.NivelFondo;
                    Sx += d * static_cast<double>(i);
                    Sy += d * static_cast<double>(j);
                    Sf += d;
                }
            m.CalcularCentroide();
            EXPECT_EQ(m.CentroideX, Sx / Sf) << x << ", " << y;
            EXPECT_EQ(m.CentroideY, Sy / Sf) << x << ", " << y;
            // The exact sums, clipped to the frame, agree but for the rounding of the walk.
            TMedida e = m;
            e.CalcularCentroideExacto();
            EXPECT_NEAR(e.CentroideX, Sx / Sf, 1e-9) << x << ", " << y;
            EXPECT_NEAR(e.CentroideY, Sy / Sf, 1e-9) << x << ", " << y;
            EXPECT_EQ(e.Maximo, m.Maximo) << x << ", " << y;
        }
}

TEST_F(Localizar, ExactSumsGiveTheCentreOfASymmetricFrame) {
    // Counts symmetric about (512, 256): the coordinate sums are 512 and 256 times the flux
    // exactly, so exact sums give the centre to the last bit whatever the background (sums
    // walked in double miss it). Rows of 1019 interior values take the long runs and the tail;
    // near saturation the runs' 32-bit sums come closest to their limit.
    struct Caso {
        const char* que;
        uint16_t desde, hasta;
    };
    for (const Caso k : {Caso{"sky", 900, 1300}, Caso{"near saturation", 60000, 65535}}) {
        SCOPED_TRACE(k.que);
        Cuentas c(1025, 513);
        std::mt19937 azar(3);
        std::uniform_int_distribution<int> valor(k.desde, k.hasta);
        for (size_t i = 0; i <= c.v.size() / 2; ++i)
            c.v[i] = c.v[c.v.size() - 1 - i] = static_cast<uint16_t>(valor(azar));
        TPlaca placa;
        Cargar(placa, c);
        TMedida m(placa, ordenada, acumulada);
        m.XMin = 1, m.XMax = 1023, m.YMin = 1, m.YMax = 511;
        m.CalcularFondo();
        m.CalcularCentroideExacto();
        EXPECT_EQ(m.CentroideX, 512.0);
        EXPECT_EQ(m.CentroideY, 256.0);
        EXPECT_EQ(m.Maximo, *std::max_element(c.v.begin(), c.v.end()));
    }
}

TEST_F(Localizar, ExactSumsFailLikeTheWalk) {
    // An interior that sums exactly to the background, and an empty one.
    TPlaca placa;
    Cargar(placa, Cuentas(9, 9, 10));
    for (const int32_t xmax : {7, 4}) {
        TMedida m(placa, ordenada, acumulada);
        m.XMin = 1, m.XMax = xmax, m.YMin = 1, m.YMax = 7;
        m.CalcularFondo();
        EXPECT_THROW(m.CalcularCentroideExacto(), ErrorAritmetico) << xmax;
    }
}

TEST_F(Localizar, RingLevelIsTheMeanOfTheMiddleTexts) {
    // Boxes of every shape across a frame of few distinct counts: the level picked from the
    // numbers is the mean of the list's middle texts, read the slow way.
    Cuentas c(40, 30);
    std::mt19937 azar(4);
    for (uint16_t& v : c.v) v = static_cast<uint16_t>(100 + azar() % 40);
    TPlaca placa;
    Cargar(placa, c);
    for (int k = 0; k < 300; ++k) {
        TMedida m(placa, ordenada, acumulada);
        m.XMin = static_cast<int32_t>(azar() % 50) - 5;
        m.XMax = m.XMin + static_cast<int32_t>(azar() % 30);
        m.YMin = static_cast<int32_t>(azar() % 40) - 5;
        m.YMax = m.YMin + static_cast<int32_t>(azar() % 25);
        m.CalcularFondo();
        const int32_t n = ordenada.Count();
        const int32_t lo = Redondear(n * 0.375), hi = Redondear(n * 0.625);
        double suma = 0;
        for (int32_t i = lo; i <= hi; ++i) suma += static_cast<double>(ConvertirEntero(ordenada[i]));
        ASSERT_EQ(m.NivelFondo, suma / (hi - lo + 1))
            << m.XMin << ".." << m.XMax << " x " << m.YMin << ".." << m.YMax;
    }
}

TEST_F(Localizar, SecondBoxBoundsStayInside32Bits) {
    TPlaca placa;
    Cargar(placa, Cuentas(20, 20, 5));
    struct Caso {
        double centroide;
        bool falla;
        int32_t xmin;
    };
    const Caso casos[] = {
        {10.5, false, -2},
        {11.5, false, 0},
        {-3.5, false, -16},
        {1e9, false, 999999988},
        {3e9, true, 0},
        {2147483647.0 - 5, true, 0},
        {-2147483648.0 + 5, true, 0},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.centroide);
        TMedida m(placa, ordenada, acumulada);
        m.CentroideX = k.centroide;
        m.CentroideY = 10;
        if (k.falla) {
            EXPECT_THROW(m.ColocarCaja(), ErrorRango);
            continue;
        }
        m.ColocarCaja();
        EXPECT_EQ(m.XMin, k.xmin);
        EXPECT_EQ(m.XMax, k.xmin + 24);
        EXPECT_EQ(m.YMin, -2);
    }
    // A box far outside the frame reads only zeros, and its centroid fails.
    TMedida m(placa, ordenada, acumulada);
    m.CentroideX = 1e9, m.CentroideY = 10;
    m.ColocarCaja();
    m.CalcularFondo();
    EXPECT_EQ(m.NivelFondo, 0);
    EXPECT_THROW(m.CalcularCentroide(), ErrorAritmetico);
}

TEST_F(Localizar, SecondPassSettlesOnTheStar) {
    const Cuentas c = Estrella(80, 60, 40.3, 25.8, 1.8, 5000, 300);
    TPlaca placa;
    Cargar(placa, c);
    TMedida m(placa, ordenada, acumulada);
    m.LocalizarEstrella();
    EXPECT_EQ(m.XMin, 28);
    EXPECT_EQ(m.YMin, 14);
    EXPECT_NEAR(m.CentroideX, 40.3, 0.02);
    EXPECT_NEAR(m.CentroideY, 25.8, 0.02);
    EXPECT_EQ(m.NivelFondo, 300);
    EXPECT_EQ(m.Maximo, *std::max_element(c.v.begin(), c.v.end())); // raw, not less the sky
}

} // namespace
