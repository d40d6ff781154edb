// SPDX-License-Identifier: GPL-3.0-or-later
// The Gaussian profile fit.
#include "AjusteGauss.h"
#include "Errores.h"
#include "Fotos.h"
#include "Numeros.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace {

// Every output of one call, preset to marks that no fit writes.
struct Salidas {
    float PosX = -1, PosY = -1, SenalRuido = -1, SenalRuidoPico = -1, FWHM = -1;
    int32_t Flujo = -1, FondoAjustado = -1;
    char Calidad = '?';
};

Salidas Ajustar(TPlaca& placa, int32_t cx, int32_t cy, int32_t radio, Salidas s = {}) {
    placa.AjustarGauss(cx, cy, radio, s.PosX, s.PosY, s.Flujo, s.FondoAjustado, s.SenalRuido,
                       s.SenalRuidoPico, s.FWHM, s.Calidad, 60000);
    return s;
}

class Ajuste : public ConFotos {};

TEST_F(Ajuste, UniformBoxEndsOnTheLowerBounds) {
    TPlaca placa;
    Cargar(placa, Cuentas(40, 40, 500));
    const Salidas s = Ajustar(placa, 20, 21, 5);
    EXPECT_EQ(s.PosX, 18.5f);
    EXPECT_EQ(s.PosY, 19.5f);
    EXPECT_EQ(s.Flujo, 0);
    EXPECT_EQ(s.FondoAjustado, 500);
    EXPECT_EQ(s.FWHM, 0.471f);
    EXPECT_EQ(s.SenalRuido, 0);
    EXPECT_EQ(s.SenalRuidoPico, 0);
    EXPECT_EQ(s.Calidad, 'C');

    TAjusteGauss a(20, 21, 5, 60000);
    a.Ajustar(Imagen);
    EXPECT_EQ(a.Barridos, 2);
    EXPECT_EQ(a.Actual.Sigma, 0.2);
    EXPECT_EQ(a.Actual.Amplitud, 0);
}

TEST_F(Ajuste, NoiselessStarIsFoundExactly) {
    TPlaca placa;
    Cargar(placa, Estrella(40, 40, 20, 20, 1.5, 1000, 100));
    const Salidas s = Ajustar(placa, 20, 20, 5);
    EXPECT_EQ(s.FWHM, 3.5325f);
    EXPECT_EQ(s.PosX, 20.0f);
    EXPECT_EQ(s.PosY, 20.0f);
    EXPECT_EQ(s.FondoAjustado, 100);
    EXPECT_EQ(s.Flujo, 14132);
    EXPECT_EQ(s.Calidad, ' ');
    TAjusteGauss a(20, 20, 5, 60000);
    a.Ajustar(Imagen);
    EXPECT_EQ(a.Actual.Sigma, 1.5);
    EXPECT_EQ(a.Actual.Amplitud, 1000);
}

TEST_F(Ajuste, SaturationIsStrictlyAboveTheLevel) {
    struct Caso {
        int64_t x, y;
        uint16_t v;
        char calidad;
    };
    // (25, 25) is the box's corner; (26, 20) lies just outside it.
    const Caso casos[] = {
        {17, 22, 60000, ' '}, {17, 22, 60001, 'S'}, {25, 25, 65535, 'S'}, {26, 20, 65535, ' '}};
    for (const Caso& c : casos) {
        Cuentas cuentas = Estrella(40, 40, 20, 20, 1.5, 1000, 100);
        cuentas(c.x, c.y) = c.v;
        TPlaca placa;
        Cargar(placa, cuentas);
        const Salidas s = Ajustar(placa, 20, 20, 5);
        if (c.calidad == ' ')
            EXPECT_NE(s.Calidad, 'S');
        else
            EXPECT_EQ(s.Calidad, 'S');
    }
}

TEST_F(Ajuste, SweepsEndWhenTheResidualSettlesOrAfterEleven) {
    struct Caso {
        const char* que;
        double sigma, amplitud, fondo, ruido;
        unsigned semilla;
        int32_t radio, barridos;
    };
    const Caso casos[] = {
        {"faint and noisy: the second sweep changes the residual by 0.9987", 1.3, 120, 800, 12, 47,
         4, 2},
        {"faint and noisy: the second sweep changes it by 1.0948, the third by 0", 1.3, 120, 800,
         12, 353, 4, 3},
        {"wide and bright, its wings beyond the box: still moving after 13 sweeps", 3.9, 45000,
         4000, 0, 1, 9, 11},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        TPlaca placa;
        Cargar(placa, Estrella(40, 40, 20, 20, c.sigma, c.amplitud, c.fondo, c.ruido, c.semilla));
        TAjusteGauss a(20, 20, c.radio, 60000);
        a.Ajustar(Imagen);
        EXPECT_EQ(a.Barridos, c.barridos);
    }
}

TEST(Calidad, BoundariesOnTheSinglePrecisionWidth) {
    struct Caso {
        int sigma; // hundredths
        float fwhm;
        char calidad;
    };
    const Caso casos[] = {{20, 0.471f, 'C'},   {25, 0.58875f, 'C'},  {26, 0.6123f, ' '},
                          {212, 4.9926f, ' '}, {213, 5.01615f, 'F'}, {400, 9.42f, 'F'}};
    for (const Caso& c : casos) {
        const auto fwhm = static_cast<float>(2.355 * (c.sigma / 100.0));
        EXPECT_EQ(fwhm, c.fwhm) << c.sigma;
        EXPECT_EQ(CalidadAjuste(false, fwhm), c.calidad) << c.sigma;
        EXPECT_EQ(CalidadAjuste(true, fwhm), 'S') << c.sigma;
    }
    // No grid width is 5.0 itself, yet the flag must not take it for wider.
    EXPECT_EQ(CalidadAjuste(false, 5.0f), ' ');
}

TEST_F(Ajuste, BadBoxesRaiseBeforeAnyOutput) {
    {
        TPlaca vacia; // no matrix at all
        EXPECT_THROW(Ajustar(vacia, 0, 0, 0), ErrorRango);
    }
    {
        TPlaca placa;
        Cargar(placa, Cuentas(40, 30, 500));
        struct Caso {
            int32_t cx, cy, radio;
        };
        // One pixel beyond each edge, a negative side, and a side larger than any matrix.
        const Caso fuera[] = {{4, 10, 5},           {35, 10, 5},         {10, 4, 5},
                              {10, 25, 5},          {10, 10, -1},        {10, 10, -7},
                              {10, 10, 1000000000}, {-2147483647, 0, 3}, {2147483647, 10, 12}};
        for (const Caso& c : fuera) {
            SCOPED_TRACE(testing::Message() << c.cx << " " << c.cy << " " << c.radio);
            Salidas s;
            EXPECT_THROW(s = Ajustar(placa, c.cx, c.cy, c.radio), ErrorRango);
            EXPECT_EQ(s.PosX, -1);
            EXPECT_EQ(s.Calidad, '?');
        }
        // The boxes that just fit.
        for (const Caso& c : {Caso{5, 5, 5}, Caso{34, 24, 5}})
            EXPECT_NO_THROW(Ajustar(placa, c.cx, c.cy, c.radio));
        // A 1 x 1 box has no border to average.
        EXPECT_THROW(Ajustar(placa, 10, 10, 0), ErrorAritmetico);
    }
    // All zeros: Flujo 0 over Fondo 0 is 0 / 0; the outputs before it are written.
    TPlaca placa;
    Cargar(placa, Cuentas(20, 20, 0));
    Salidas s;
    EXPECT_THROW(placa.AjustarGauss(10, 10, 3, s.PosX, s.PosY, s.Flujo, s.FondoAjustado,
                                    s.SenalRuido, s.SenalRuidoPico, s.FWHM, s.Calidad, 60000),
                 ErrorAritmetico);
    EXPECT_EQ(s.PosX, 8.5f);
    EXPECT_EQ(s.Flujo, 0);
    EXPECT_EQ(s.FWHM, 0.471f);
    EXPECT_EQ(s.SenalRuido, -1);
    EXPECT_EQ(s.Calidad, '?');
}

TEST_F(Ajuste, NegativeAmplitudeKeepsItsUnroundedEstimate) {
    // Radio 2: a border of 15 x 100 and one 108 averages 100.5; the centre 98 gives -2.5.
    Cuentas c(20, 20, 100);
    c(8, 8) = 108;
    c(10, 10) = 98;
    TPlaca placa;
    Cargar(placa, c);
    TAjusteGauss a(10, 10, 2, 60000);
    a.Ajustar(Imagen);
    EXPECT_EQ(a.AmplitudMin, -1);
    EXPECT_EQ(a.AmplitudMax, -5);
    EXPECT_EQ(a.Actual.Amplitud, -2.5);
    const Salidas s = Ajustar(placa, 10, 10, 2);
    EXPECT_TRUE(std::isfinite(s.SenalRuidoPico));
}

TEST_F(Ajuste, ModelMatchesAFullRecomputationAndCostStaysInBounds) {
    TPlaca placa;
    Cargar(placa, Estrella(60, 60, 30.4, 29.7, 2.2, 8000, 1200, 15));
    TAjusteGauss a(30, 30, 12, 60000);
    a.CopiarCaja(Imagen);
    a.Estimar();
    // Any sequence of trial values: each model is what ValorGauss gives, to the last bit.
    std::mt19937 azar(3);
    std::uniform_int_distribution<int> campo(0, 4), rejilla(20, 400);
    for (int n = 0; n < 200; ++n) {
        const double v = rejilla(azar);
        switch (campo(azar)) {
        case 0:
            a.Actual.Sigma = v / 100;
            break;
        case 1:
            a.Actual.X0 = v / 20;
            break;
        case 2:
            a.Actual.Y0 = v / 20;
            break;
        case 3:
            a.Actual.Amplitud = v * 30;
            break;
        default:
            a.Actual.Fondo = v * 5;
            break;
        }
        a.CalcularModelo();
        const TParametrosGauss& p = a.Actual;
        double residuo = 0;
        for (int i = 0; i < 25; ++i)
            for (int j = 0; j < 25; ++j) {
                const double m = ValorGauss(i, j, p.X0, p.Y0, p.Amplitud, p.Sigma, p.Fondo);
                ASSERT_EQ(a.ValorModelo(i, j), m);
                residuo += (a.Dato(i, j) - m) * (a.Dato(i, j) - m);
            }
        ASSERT_EQ(a.Residuo(), residuo);
    }

    TAjusteGauss b(30, 30, 12, 60000);
    b.Ajustar(Imagen);
    EXPECT_LE(b.Barridos, 11);
    EXPECT_LE(b.Evaluaciones, 130 * b.Barridos + 1);
    // Later sweeps come back to grid points already computed: most models need no new
    // exponentials.
    EXPECT_LT(b.ModelosConExp, b.Evaluaciones / 3);
    EXPECT_NEAR(b.Actual.Sigma, 2.2, 0.03);
    EXPECT_NEAR(b.Actual.X0, 12.4, 0.03);
    EXPECT_NEAR(b.Actual.Y0, 11.7, 0.03);
}

// The fit as the algorithm reads, each trial value recomputing the whole model and its
// residual: what the fit with its kept exponentials and side-by-side sums must give to the bit.
struct AjusteLiteral {
    explicit AjusteLiteral(const TAjusteGauss& a) : a(a), Actual(a.Actual) {}
    const TAjusteGauss& a; // after CopiarCaja and Estimar
    TParametrosGauss Actual, Mejor;
    double Volumen = 0;

    double Residuo() {
        double r = 0;
        Volumen = 0;
        const TParametrosGauss& p = Actual;
        for (int64_t i = 0; i < a.Lado; ++i)
            for (int64_t j = 0; j < a.Lado; ++j) {
                const double m = ValorGauss(static_cast<double>(i), static_cast<double>(j), p.X0,
                                            p.Y0, p.Amplitud, p.Sigma, p.Fondo);
                const double d = a.Datos[static_cast<size_t>(i * a.Lado + j)] - m;
                r += d * d;
                Volumen += m - p.Fondo;
            }
        return r;
    }
    void Buscar(double TParametrosGauss::*campo, double escala, int64_t lo, int64_t hi) {
        int64_t ia = lo, ib = hi;
        do {
            const int64_t c = Redondear((static_cast<double>(ia) + static_cast<double>(ib)) / 2);
            Actual.*campo = static_cast<double>(c) / escala;
            const double r1 = Residuo();
            Actual.*campo = static_cast<double>(c + 1) / escala;
            (r1 > Residuo() ? ia : ib) = c;
        } while (ib - ia >= 10);
        double mejor = std::numeric_limits<double>::infinity();
        for (int64_t k = ia; k <= ib; ++k) {
            Actual.*campo = static_cast<double>(k) / escala;
            const double r = Residuo();
            if (r < mejor) mejor = r, Mejor = Actual;
        }
        Actual = Mejor;
    }
    void Ajustar() {
        double anterior = std::numeric_limits<double>::infinity();
        for (int barrido = 1; barrido <= 11; ++barrido) {
            Buscar(&TParametrosGauss::Sigma, 100, 20, 400);
            Buscar(&TParametrosGauss::X0, 100, a.X0Min, a.X0Max);
            Buscar(&TParametrosGauss::Y0, 100, a.Y0Min, a.Y0Max);
            Buscar(&TParametrosGauss::Amplitud, 1, a.AmplitudMin, a.AmplitudMax);
            Buscar(&TParametrosGauss::Fondo, 1, a.FondoMin, a.FondoMax);
            const double r = Residuo();
            if (std::fabs(r - anterior) < 1.0) break;
            anterior = r;
        }
        Actual = Mejor;
        Residuo();
    }
};

TEST_F(Ajuste, SameBitsAsRecomputingEveryModel) {
    // Box sizes from 5 x 5 to 101 x 101: the largest keeps only four matrices and replaces one
    // at almost every trial. Noisy, saturated, off-centre and below-the-sky stars.
    struct Caso {
        int32_t radio;
        double sigma, amplitud, dx, dy, ruido;
    };
    const Caso casos[] = {{2, 0.8, 5000, 0.3, -0.2, 20},    {5, 1.5, 1000, 0, 0, 0},
                          {7, 0.3, 30000, -0.4, 0.4, 5},    {9, 2.2, 90000, 0.1, 0.7, 10},
                          {12, 2.2, 40000, 0.37, 0.81, 15}, {12, 3.8, 800, -1.2, 1.4, 30},
                          {12, 1.0, -300, 0, 0, 8},         {30, 6.0, 20000, 2.5, -3.0, 12},
                          {50, 2.5, 15000, 0.45, 0.55, 10}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(testing::Message() << "Radio " << c.radio << ", sigma " << c.sigma);
        const int64_t lado = 2 * c.radio + 41;
        TPlaca placa;
        Cargar(placa, Estrella(lado, lado, lado / 2 + c.dx, lado / 2 + c.dy, c.sigma, c.amplitud,
                               1000, c.ruido, static_cast<unsigned>(c.radio)));
        TAjusteGauss a(static_cast<int32_t>(lado / 2), static_cast<int32_t>(lado / 2), c.radio,
                       60000);
        a.CopiarCaja(Imagen);
        a.Estimar();
        AjusteLiteral literal(a);
        literal.Ajustar();
        a.Barrer();
        a.RestaurarParametros();
        a.CalcularVolumen();
        EXPECT_EQ(a.Actual.Sigma, literal.Actual.Sigma);
        EXPECT_EQ(a.Actual.X0, literal.Actual.X0);
        EXPECT_EQ(a.Actual.Y0, literal.Actual.Y0);
        EXPECT_EQ(a.Actual.Amplitud, literal.Actual.Amplitud);
        EXPECT_EQ(a.Actual.Fondo, literal.Actual.Fondo);
        EXPECT_EQ(a.Volumen, literal.Volumen);
    }
}

} // namespace
