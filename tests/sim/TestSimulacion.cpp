// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's exposures: the single star has the flux, width and place it was asked for,
// the field holds what the field measurement is tested against.
#include "Simulacion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

TEST(Simulacion, SingleStarHasItsFluxWidthAndPlaceOnANoisySky) {
    // The demo and the window's end-to-end tests rely on this frame: a star of constant flux
    // whose width follows sigma, where it was asked for, on a sky of the camera's noise.
    const int ancho = 200, alto = 150;
    const double cx = 102.3, cy = 73.3;
    for (const double sigma : {2.0, 4.5}) {
        SCOPED_TRACE(sigma);
        std::mt19937_64 azar(7);
        const auto c = ExponerEstrella(ancho, alto, 2.0, sigma, cx, cy, azar);
        ASSERT_EQ(c.size(), static_cast<size_t>(ancho * alto));
        double suma = 0, sx = 0, sy = 0, sxx = 0; // within 6 sigma of the centre
        double cielo = 0, cielo2 = 0;             // beyond 10 sigma
        int n = 0;
        for (int y = 0; y < alto; ++y)
            for (int x = 0; x < ancho; ++x) {
                const double v = c[static_cast<size_t>(y * ancho + x)];
                const double r = std::hypot(x - cx, y - cy);
                if (r <= 6 * sigma) {
                    const double d = v - FondoCielo;
                    suma += d, sx += d * x, sy += d * y, sxx += d * (x - cx) * (x - cx);
                } else if (r > 10 * sigma) {
                    cielo += v, cielo2 += v * v, ++n;
                }
            }
        const double flujo = 2 * M_PI * 2.0 * 2.0 * 50000;
        EXPECT_NEAR(suma, flujo, 0.01 * flujo);
        EXPECT_NEAR(sx / suma, cx, 0.02);
        EXPECT_NEAR(sy / suma, cy, 0.02);
        EXPECT_NEAR(std::sqrt(sxx / suma), sigma, 0.03 * sigma);
        const double media = cielo / n, desviacion = std::sqrt(cielo2 / n - media * media);
        EXPECT_NEAR(media, FondoCielo, 0.2);
        EXPECT_NEAR(desviacion, std::sqrt(RuidoLectura * RuidoLectura + FondoCielo / Ganancia),
                    0.3);
        // Point-sampled: the pixel nearest the centre holds the Gaussian's value there, and
        // the brightest pixel is next to it (noise may pick a neighbour on a wide star).
        const double esperado =
            FondoCielo + flujo / (2 * M_PI * sigma * sigma) * std::exp(-0.18 / (2 * sigma * sigma));
        EXPECT_NEAR(c[73 * ancho + 102], esperado, 5 * std::sqrt(9 + esperado / Ganancia));
        const auto pico = std::max_element(c.begin(), c.end()) - c.begin();
        EXPECT_LE(std::hypot(pico % ancho - cx, pico / ancho - cy), 1.5);

        // The same seed, the same frame: --semilla makes runs repeatable.
        std::mt19937_64 otra(7);
        EXPECT_EQ(ExponerEstrella(ancho, alto, 2.0, sigma, cx, cy, otra), c);
    }
}

TEST(Simulacion, SceneSpreadsStarsAndFluxesOverTheFrame) {
    std::mt19937_64 azar(3);
    const TEscena e = CrearEscena(1600, 1200, 400, 1.0, azar);
    ASSERT_EQ(e.estrellas.size(), 400u);
    EXPECT_EQ(e.calientes.size(), 43u);
    double xmin = 1e9, xmax = -1, ymin = 1e9, ymax = -1, amin = 1e9, amax = 0;
    int saturadas = 0;
    for (const TEstrellaSimulada& s : e.estrellas) {
        xmin = std::min(xmin, s.x), xmax = std::max(xmax, s.x);
        ymin = std::min(ymin, s.y), ymax = std::max(ymax, s.y);
        amin = std::min(amin, s.amplitud), amax = std::max(amax, s.amplitud);
        saturadas += s.amplitud > 73000; // saturates at best focus when fairly centred
    }
    EXPECT_TRUE(xmin >= 0 && xmin < 20 && xmax < 1600 && xmax > 1580);
    EXPECT_TRUE(ymin >= 0 && ymin < 20 && ymax < 1200 && ymax > 1180);
    EXPECT_TRUE(amin >= 1500 && amin < 1650 && amax <= 150000 && amax > 135000);
    EXPECT_TRUE(saturadas > 40 && saturadas < 85) << saturadas; // about one in seven
    for (const TPixelCaliente& c : e.calientes) {
        EXPECT_TRUE(c.x >= 0 && c.x < 1600 && c.y >= 0 && c.y < 1200);
        EXPECT_TRUE(c.exceso >= 2000 && c.exceso <= 40000);
    }
}

TEST(Simulacion, FieldStarIsAPixelIntegratedGaussianOfConstantFlux) {
    for (const double sigma : {0.6, 1.0, 3.2}) {
        SCOPED_TRACE(sigma);
        TEscena e;
        e.ancho = 80, e.alto = 70, e.sigmaMin = 1.0;
        e.estrellas = {{40.3, 30.8, 20000}};
        std::mt19937_64 azar(1);
        const auto c = ExponerCampo(e, sigma, azar);
        double suma = 0, sx = 0, sy = 0; // within 15 pixels, where the noise weighs little
        for (int y = 16; y <= 46; ++y)
            for (int x = 25; x <= 55; ++x) {
                const double d = c[static_cast<size_t>(y * e.ancho + x)] - FondoCielo;
                suma += d, sx += d * x, sy += d * y;
            }
        EXPECT_NEAR(suma, 2 * M_PI * 20000, 0.02 * 2 * M_PI * 20000);
        EXPECT_NEAR(sx / suma, 40.3, 0.05);
        EXPECT_NEAR(sy / suma, 30.8, 0.05);
        // The brightest pixel holds the flux of its square, not the point value at its centre.
        const double k = 1 / (sigma * std::sqrt(2.0));
        const double px = 0.5 * (std::erf(0.2 * k) + std::erf(0.8 * k)); // 40 - 40.3 +- 0.5
        const double py = 0.5 * (std::erf(0.7 * k) + std::erf(0.3 * k)); // 31 - 30.8 +- 0.5
        const double pico = FondoCielo + 2 * M_PI * 20000 * px * py;
        EXPECT_NEAR(c[31 * 80 + 40], pico, 5 * std::sqrt(9 + pico / Ganancia));
    }
}

TEST(Simulacion, BrightStarsClipAndHotPixelsStandAlone) {
    TEscena e;
    e.ancho = 60, e.alto = 60, e.sigmaMin = 1.0;
    e.estrellas = {{20.5, 20.5, 100000}};
    e.calientes = {{45, 40, 30000}};
    std::mt19937_64 azar(2);
    const auto c = ExponerCampo(e, 1.0, azar);
    EXPECT_EQ(c[20 * 60 + 20], 65535);
    EXPECT_NEAR(c[40 * 60 + 45], FondoCielo + 30000, 600);
    EXPECT_LT(c[40 * 60 + 46], FondoCielo + 40);
    EXPECT_LT(c[41 * 60 + 45], FondoCielo + 40);
}

TEST(Simulacion, ColourCameraFiltersTheLightOnAPedestalAndClips) {
    // A GBRG mosaic: green at (0, 0) and (1, 1), blue at (1, 0), red at (0, 1) of every tile.
    TEscena e;
    e.ancho = 80, e.alto = 60, e.sigmaMin = 1.0;
    e.mosaico = "GBRG";
    e.respuesta[0] = 0.5, e.respuesta[1] = 1, e.respuesta[2] = 0.25;
    e.pedestal = 300, e.saturacion = 4095;
    e.estrellas = {{20, 20, 5000}, {60.5, 40.5, 100000}};
    e.calientes = {{71, 11, 2000}};
    std::mt19937_64 azar(4);
    const auto c = ExponerCampo(e, TFoco{3, 3, 0}, azar);
    const auto v = [&](int x, int y) { return double(c[size_t(y) * 80 + x]); };
    // The sky of each filter: the pedestal and its share of the sky, away from the stars.
    double cielo[2][2] = {}, n = 0;
    for (int y = 40; y < 60; y += 2)
        for (int x = 0; x < 30; x += 2, ++n)
            for (int k = 0; k < 4; ++k) cielo[k / 2][k % 2] += v(x + k % 2, y + k / 2);
    const double filtro[2][2] = {{1, 0.25}, {0.5, 1}}; // [row][column] of the tile
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(cielo[j][i] / n, 300 + FondoCielo * filtro[j][i], 2) << i << ", " << j;
    // The faint star's light (sky and pedestal out) on each filter, over a box of 10 sigma:
    // its share of the star's flux.
    double luz[2][2] = {};
    for (int y = 5; y < 35; ++y)
        for (int x = 5; x < 35; ++x) luz[y % 2][x % 2] += v(x, y) - 300 - FondoCielo * filtro[y % 2][x % 2];
    const double flujo = 2 * M_PI * 5000;
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            EXPECT_NEAR(luz[j][i] / (flujo / 4 * filtro[j][i]), 1, 0.08) << i << ", " << j;
    // The bright one clips at the camera's level; hot pixels are not filtered.
    EXPECT_EQ(*std::max_element(c.begin(), c.end()), 4095);
    EXPECT_EQ(v(60, 40), 4095);
    EXPECT_NEAR(v(71, 11), 300 + FondoCielo + 2000, 150); // under a green filter
}

TEST(Simulacion, SubframeIsACropAroundAnIsolatedUnsaturatedStar) {
    std::mt19937_64 azar(5);
    const TEscena e = CrearEscena(1600, 1200, 40, 1.0, azar);
    const TSubcuadro s = ElegirSubcuadro(e, 100, 3.2);
    ASSERT_GE(s.estrella, 0);
    const TEstrellaSimulada& estrella = e.estrellas[static_cast<size_t>(s.estrella)];
    EXPECT_LE(estrella.amplitud, 40000);
    EXPECT_NEAR(estrella.x - s.x0, 50, 1);
    EXPECT_NEAR(estrella.y - s.y0, 50, 1);
    ASSERT_TRUE(s.x0 >= 0 && s.y0 >= 0 && s.x0 + 100 <= 1600 && s.y0 + 100 <= 1200);
    for (size_t k = 0; k < e.estrellas.size(); ++k) {
        if (static_cast<int>(k) == s.estrella) continue;
        const TEstrellaSimulada& o = e.estrellas[k];
        EXPECT_TRUE(o.x < s.x0 - 16 || o.x > s.x0 + 116 || o.y < s.y0 - 16 || o.y > s.y0 + 116);
    }

    const auto campo = ExponerCampo(e, 2.0, azar);
    const auto sub = Recorte(campo, 1600, s);
    ASSERT_EQ(sub.size(), 100u * 100u);
    for (const auto& [x, y] : {std::pair{0, 0}, {99, 0}, {0, 99}, {99, 99}, {50, 50}})
        EXPECT_EQ(sub[static_cast<size_t>(y * 100 + x)],
                  campo[static_cast<size_t>((s.y0 + y) * 1600 + s.x0 + x)]);

    // No room for a subframe the size of a crowded frame.
    EXPECT_EQ(ElegirSubcuadro(e, 1200, 3.2).estrella, -1);
}

} // namespace

namespace {

// The noiseless light of one star in a frame of the scene: the frame less its sky, which the
// noise leaves within a few counts.
double Suma(const std::vector<uint16_t>& c, int w, int x0, int y0, int x1, int y1) {
    double s = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) s += c[static_cast<size_t>(y * w + x)] - FondoCielo;
    return s;
}

TEST(Simulacion, TrueHalfLightDiameters) {
    TEscena e;
    e.ancho = e.alto = 10;
    // A Gaussian integrated over the pixels: the box adds 1/12 to its variance.
    for (const double s : {0.5, 1.0, 3.0})
        EXPECT_NEAR(DiametroMediaLuz(e, {s, s, 0}), 2.3548 * std::sqrt(s * s + 1.0 / 12),
                    0.005 * 2.3548 * s + 0.01)
            << s;
    // A wide Moffat profile: 2 alpha sqrt(2^(1/(beta-1)) - 1), the pixels hardly matter.
    e.perfil = TPerfil::Moffat;
    for (const double beta : {2.5, 4.5}) {
        e.beta = beta;
        const double alfa = 2.3548 * 5 / (2 * std::sqrt(std::pow(2.0, 1 / beta) - 1));
        EXPECT_NEAR(DiametroMediaLuz(e, {5, 5, 0}),
                    2 * alfa * std::sqrt(std::pow(2.0, 1 / (beta - 1)) - 1), 0.1)
            << beta;
    }
    // A thin, evenly lit annulus of radii 0.35 R and R, unblurred: half its light inside
    // sqrt((1 + 0.35^2) / 2) R.
    e.perfil = TPerfil::Gauss;
    EXPECT_NEAR(DiametroMediaLuz(e, {0.01, 0.01, 40}), 2 * 40 * std::sqrt((1 + 0.35 * 0.35) / 2),
                0.4);
}

TEST(Simulacion, RealSkyScenesKeepTheirLight) {
    struct Caso {
        const char* nombre;
        TFoco foco;
        int aranas;
        double desigualdad;
        TPerfil perfil;
    };
    const Caso casos[] = {
        {"Moffat", {2, 2, 0}, 0, 0, TPerfil::Moffat},
        {"astigmatic", {1.2, 3, 0}, 0, 0, TPerfil::Gauss},
        {"ring", {1.2, 1.2, 20}, 0, 0, TPerfil::Gauss},
        {"ring, vanes, uneven light", {1.2, 1.2, 20}, 4, 0.35, TPerfil::Gauss},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.nombre);
        TEscena e;
        e.ancho = 160, e.alto = 160, e.sigmaMin = 1.0;
        e.estrellas = {{80.3, 79.6, 20000}};
        e.perfil = k.perfil, e.aranas = k.aranas, e.desigualdad = k.desigualdad;
        std::mt19937_64 azar(4);
        const auto c = ExponerCampo(e, k.foco, azar);
        // All the light, 2 pi 20000, within the frame (a Moffat profile of beta 3.5 leaves
        // about 1 % beyond 70 px).
        EXPECT_NEAR(Suma(c, 160, 0, 0, 160, 160), 2 * M_PI * 20000, 0.02 * 2 * M_PI * 20000);
        if (k.foco.radioAnillo > 0) {
            // The centre of the ring is dark, its rim bright.
            EXPECT_NEAR(c[80 * 160 + 80], FondoCielo, 15);
            EXPECT_GT(c[80 * 160 + 97] + c[80 * 160 + 63], 2 * FondoCielo + 20);
        }
    }
}

TEST(Simulacion, SkyDefectsAndDisturbances) {
    std::mt19937_64 azar(6);
    TEscena e = CrearEscena(600, 600, 20, 1.0, azar);
    e.calientes.clear();
    AnadirCalientes(e, 3000, azar);
    ASSERT_EQ(e.calientes.size(), 3000u);
    // Some touch another warm pixel: pairs and clusters.
    int juntos = 0;
    for (size_t k = 0; k + 1 < e.calientes.size(); ++k) {
        const TPixelCaliente &a = e.calientes[k], &b = e.calientes[k + 1];
        juntos += std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1;
        EXPECT_TRUE(a.x >= 0 && a.x < 600 && a.y >= 0 && a.y < 600);
        EXPECT_TRUE(a.exceso >= 100 && a.exceso <= 40000);
    }
    EXPECT_GT(juntos, 300);
    EXPECT_LT(juntos, 900);

    const size_t antes = e.estrellas.size();
    AnadirParejas(e, 0.5, 2.0, azar);
    EXPECT_GT(e.estrellas.size(), antes + 3);

    e.rellenoFilas = 10, e.rellenoColumnas = 7, e.gradiente = 0.3, e.luna = 20000;
    const auto c = ExponerCampo(e, {1.5, 1.5, 0}, azar);
    for (const auto& [x, y] : {std::pair{5, 5}, {300, 9}, {599, 300}, {593, 599}})
        EXPECT_EQ(c[static_cast<size_t>(y * 600 + x)], 0) << x << ", " << y;
    // The moon's disk, centred at 0.3 and 0.5 of the frame, over a third of it.
    EXPECT_NEAR(c[300 * 600 + 180], 20000 + FondoCielo * 1.09, 600);
    const auto sinRayos = [&] {
        TEscena f = e;
        f.rayos = 0;
        return f;
    };
    TEscena conRayos = sinRayos();
    conRayos.rayos = 10;
    std::mt19937_64 a1(9), a2(9);
    const auto limpio = ExponerCampo(sinRayos(), {1.5, 1.5, 0}, a1);
    const auto rayado = ExponerCampo(conRayos, {1.5, 1.5, 0}, a2);
    int tocados = 0;
    for (size_t k = 0; k < limpio.size(); ++k) tocados += rayado[k] > limpio[k] + 500;
    EXPECT_GT(tocados, 20);  // 10 streaks of 3 to 40 pixels
    EXPECT_LT(tocados, 500);
}

TEST(Simulacion, LumpyOvercastHasItsLevelContrastAndScale) {
    // White noise smoothed by a Gaussian of sigma s has a Gaussian autocorrelation of sigma
    // s sqrt 2: at a lag of s it keeps exp(-1/4) of its variance. Measured on a field far
    // smoother than the camera's noise, which is taken out of the variance.
    std::mt19937_64 azar(4);
    TEscena e = CrearEscena(400, 400, 0, 1, azar);
    e.calientes.clear();
    e.nubes = 3000, e.escalaNubes = 5;
    const auto c = ExponerCampo(e, TFoco{}, azar);
    const auto v = [&](int x, int y) { return double(c[static_cast<size_t>(y) * 400 + x]) - FondoCielo; };
    double suma = 0, n = 0;
    for (int y = 20; y < 380; ++y)
        for (int x = 20; x < 380; ++x) suma += v(x, y), ++n;
    const double media = suma / n;
    double varianza = 0, covarianza = 0;
    for (int y = 20; y < 380; ++y)
        for (int x = 20; x < 380; ++x) {
            varianza += (v(x, y) - media) * (v(x, y) - media);
            covarianza += (v(x, y) - media) * (v(x + 5, y) - media);
        }
    varianza /= n, covarianza /= n;
    const double ruido = RuidoLectura * RuidoLectura + (FondoCielo + 3000) / Ganancia;
    EXPECT_NEAR(media, 3000, 100);
    EXPECT_NEAR(std::sqrt(varianza - ruido), 1000, 150);
    EXPECT_NEAR(covarianza / (varianza - ruido), std::exp(-0.25), 0.05);
}

TEST(PlanoSimulado, BestFocusAcrossTheFrame) {
    // A 400 x 300 frame: its edges are at pixel positions -0.5 and 399.5, 299.5.
    const TPlanoSimulado plano{1000, 60, -40, 25};
    struct Caso {
        double x, y, esperado;
    };
    const Caso casos[] = {
        {199.5, 149.5, 1000},                  // the centre
        {-0.5, 149.5, 1000 - 30 + 25 * 0.64},  // the left edge: (200² / 250²) of a corner
        {399.5, 149.5, 1000 + 30 + 25 * 0.64}, // the right edge
        {199.5, 299.5, 1000 - 20 + 25 * 0.36}, // the top edge: (150² / 250²)
        {399.5, 299.5, 1000 + 30 - 20 + 25},   // the top right corner
        {-0.5, -0.5, 1000 - 30 + 20 + 25},     // the bottom left corner
    };
    for (const Caso& c : casos)
        EXPECT_NEAR(MejorFocoEn(plano, c.x, c.y, 400, 300), c.esperado, 1e-9) << c.x << ", " << c.y;
}

} // namespace
