// SPDX-License-Identifier: GPL-3.0-or-later
// The whole measurement of a frame.
#include "Errores.h"
#include "Fotos.h"
#include "Medida.h"
#include "Numeros.h"

#include <cmath>
#include <stdexcept>

namespace {

class Estrellas : public ConFotos {
protected:
    TFigurasFoco Medir(const Cuentas& c) {
        TPlaca placa;
        EXPECT_TRUE(placa.LeerFits(Guardar(c)));
        return MedirEstrella(placa, ordenada, acumulada);
    }
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
};

TEST_F(Estrellas, WidthsOfAKnownGaussianInNoise) {
    // A Gaussian's half-flux diameter equals its FWHM, 2 sigma sqrt(2 ln 2) = 2.3548 sigma.
    // The fit works on hundredths of sigma (steps of 0.02355 in FWHM) and on a point-sampled
    // model like the frame, so its FWHM lands within 1 % plus noise: 2 %. The HFD is biased
    // low: the 21 x 21 interior and the total from its 20 outermost entries miss the wings
    // (about 2 % of the diameter at sigma 4, the box reaching 2.6 sigma each way); at sigma 1
    // the flux sits in a few pixels whose whole value counts at their centre's distance, and
    // the linear step between their diameters lowers it by about 7 %.
    struct Caso {
        double sigma, toleranciaHFD;
    };
    const Caso casos[] = {{1.0, 0.09}, {1.5, 0.03}, {2.0, 0.03}, {3.0, 0.03}, {4.0, 0.035}};
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.sigma);
        // Off pixel centres and off the frame's middle; bright enough that the first pass over
        // the whole frame, where every pixel's noise and background error count, still puts
        // the 25 x 25 box over the star.
        const double cx = 117.37, cy = 61.81;
        const TFigurasFoco f = Medir(Estrella(200, 150, cx, cy, c.sigma, 30000, 900, 12, 7));
        const double esperado = 2.3548 * c.sigma;
        EXPECT_NEAR(f.FWHM, esperado, 0.02 * esperado);
        EXPECT_NEAR(f.HFD, esperado, c.toleranciaHFD * esperado);
        EXPECT_NEAR(f.CentroideX, cx, 0.05);
        EXPECT_NEAR(f.CentroideY, cy, 0.05);
        EXPECT_GT(f.Maximo, 900 + 24000);
    }
}

TEST_F(Estrellas, WideStarGetsTenWithoutAFit) {
    const TFigurasFoco f = Medir(Estrella(200, 200, 100, 100, 6, 3000, 500));
    EXPECT_GE(f.HFD, 10.0);
    EXPECT_EQ(f.FWHM, 10.0f);
    EXPECT_EQ(f.Calidad, ' ');
}

TEST_F(Estrellas, NearEdgesAndCornersMeasuredOrRaised) {
    const int64_t w = 120, h = 90;
    const double xs[] = {0, 1, 3.5, 11.2, 60, w - 12.7, w - 3.5, w - 1.0};
    const double ys[] = {0, 2.3, 11.6, 45, h - 12.4, h - 2.0, h - 1.0};
    int medidas = 0, fallos = 0;
    for (const double x : xs)
        for (const double y : ys) {
            SCOPED_TRACE(testing::Message() << x << ", " << y);
            try {
                const TFigurasFoco f = Medir(Estrella(w, h, x, y, 1.8, 9000, 400, 10, 5));
                EXPECT_TRUE(std::isfinite(f.FWHM) && std::isfinite(f.HFD) &&
                            std::isfinite(f.CentroideX) && std::isfinite(f.CentroideY) &&
                            std::isfinite(f.NivelFondo));
                ++medidas;
            } catch (const std::runtime_error&) {
                ++fallos; // ours: a fit box beyond the edge, a failed division
            }
        }
    EXPECT_GT(medidas, 0);
    EXPECT_GT(fallos, 0); // stars on the outermost line give no fit box inside the frame
}

TEST_F(Estrellas, EmptyAndUnloadedFramesRaise) {
    EXPECT_THROW(Medir(Cuentas(64, 48, 0)), ErrorAritmetico);
    EXPECT_THROW(Medir(Cuentas(64, 48, 1234)), ErrorAritmetico); // flat: no flux anywhere
    {
        TPlaca placa; // missing file: both axes 0, the first ring is empty
        EXPECT_FALSE(placa.LeerFits((carpeta_ / "no-existe.fits").string()));
        EXPECT_THROW(MedirEstrella(placa, ordenada, acumulada), ErrorRango);
    }
    TPlaca placa; // refused header
    const std::string ruta = (carpeta_ / "tres.fits").string();
    auto tarjetas = TarjetasBasicas(8, 8);
    tarjetas[2] = TarjetaFits("NAXIS", "3");
    GuardarFichero(ruta, BloqueCabecera(tarjetas));
    EXPECT_FALSE(placa.LeerFits(ruta));
    EXPECT_THROW(MedirEstrella(placa, ordenada, acumulada), ErrorRango);
}

TEST_F(Estrellas, DecimalSeparatorDoesNotChangeTheFigures) {
    const Cuentas fotos[] = {
        Estrella(100, 80, 47.31, 40.62, 1.4, 7000, 1100, 20, 11),
        Estrella(100, 80, 52.5, 33.5, 3.1, 2500, 700, 30, 12),
        Estrella(100, 80, 8.2, 70.9, 2.0, 15000, 200, 8, 13), // zeros of the edge in the box
    };
    const Separadores antes = SeparadoresUsuario;
    for (const Cuentas& c : fotos) {
        SeparadoresUsuario.decimal = '.';
        TFigurasFoco a{};
        bool fallaA = false, fallaB = false;
        try {
            a = Medir(c);
        } catch (const std::runtime_error&) {
            fallaA = true;
        }
        SeparadoresUsuario.decimal = ',';
        TFigurasFoco b{};
        try {
            b = Medir(c);
        } catch (const std::runtime_error&) {
            fallaB = true;
        }
        EXPECT_EQ(fallaA, fallaB);
        EXPECT_EQ(a.HFD, b.HFD);
        EXPECT_EQ(a.FWHM, b.FWHM);
        EXPECT_EQ(a.Maximo, b.Maximo);
        EXPECT_EQ(a.NivelFondo, b.NivelFondo);
        EXPECT_EQ(a.CentroideX, b.CentroideX);
        EXPECT_EQ(a.Calidad, b.Calidad);
    }
    SeparadoresUsuario = antes;
}

} // namespace
