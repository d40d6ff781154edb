// The Gaussian profile fit.
#include "AjusteGauss.h"
#include "Errores.h"
#include "Fotos.h"

#include <cmath>
#include <cstdint>
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

} // namespace
