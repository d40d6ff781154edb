// SPDX-License-Identifier: GPL-3.0-or-later
// The plain star-on-sky frame that the tests and the benchmarks share: where the star lands,
// the rounding and clipping of counts, and a noise that a seed repeats.
#include "Estrella.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

TEST(EstrellaEnCielo, StarLandsAtItsCentreFirstAxisFastest) {
    const int64_t ancho = 30, alto = 12;
    const auto c = ExponerEstrellaEnCielo(ancho, alto, {10, 5, 1.5, 1000, 100});
    ASSERT_EQ(c.size(), static_cast<size_t>(ancho * alto));
    const auto en = [&](int64_t x, int64_t y) { return c[static_cast<size_t>(y * ancho + x)]; };
    EXPECT_EQ(std::max_element(c.begin(), c.end()) - c.begin(), 5 * ancho + 10);
    EXPECT_EQ(en(10, 5), 1100);
    const auto uno = static_cast<uint16_t>(std::nearbyint(100 + 1000 * std::exp(-1 / 4.5)));
    for (const auto& [x, y] : {std::pair{9, 5}, {11, 5}, {10, 4}, {10, 6}})
        EXPECT_EQ(en(x, y), uno);
    EXPECT_EQ(en(29, 11), 100);
    EXPECT_EQ(en(0, 0), 100);
}

TEST(EstrellaEnCielo, CountsClipToTheSixteenBitRange) {
    const struct {
        TEstrellaEnCielo estrella;
        uint16_t centro, esquina;
    } casos[] = {
        {{8, 8, 2, 100000, 1000}, 65535, 1000}, // a saturated star
        {{8, 8, 2, 500, -800}, 0, 0},           // a sky below zero (a bad dark)
        {{8, 8, 2, 0.4, 10}, 10, 10},           // below half a count: no star at all
        {{8, 8, 2, 0.5, 10}, 10, 10},           // half a count rounds to the even count
        {{8, 8, 2, 1.5, 10}, 12, 10},
    };
    for (const auto& k : casos) {
        const auto c = ExponerEstrellaEnCielo(17, 17, k.estrella);
        EXPECT_EQ(c[8 * 17 + 8], k.centro) << k.estrella.amplitud << " " << k.estrella.fondo;
        EXPECT_EQ(c[0], k.esquina) << k.estrella.amplitud << " " << k.estrella.fondo;
    }
}

TEST(EstrellaEnCielo, NoiseIsRepeatedBySeedAndHasItsSpread) {
    const TEstrellaEnCielo sinEstrella{0, 0, 1, 0, 1000, 20, 7};
    const auto a = ExponerEstrellaEnCielo(100, 100, sinEstrella);
    EXPECT_EQ(a, ExponerEstrellaEnCielo(100, 100, sinEstrella));
    TEstrellaEnCielo otra = sinEstrella;
    otra.semilla = 8;
    EXPECT_NE(a, ExponerEstrellaEnCielo(100, 100, otra));
    double suma = 0, suma2 = 0;
    for (const uint16_t v : a) suma += v, suma2 += double(v) * v;
    const double media = suma / double(a.size());
    EXPECT_NEAR(media, 1000, 1.0);
    EXPECT_NEAR(std::sqrt(suma2 / double(a.size()) - media * media), 20, 0.6);
    otra.ruido = 0;
    const auto plano = ExponerEstrellaEnCielo(100, 100, otra);
    EXPECT_TRUE(std::all_of(plano.begin(), plano.end(), [](uint16_t v) { return v == 1000; }));
}

} // namespace
