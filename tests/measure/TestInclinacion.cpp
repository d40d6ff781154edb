// SPDX-License-Identifier: GPL-3.0-or-later
// The map of widths of one field from stars laid out by hand: the analysis alone, without the
// field measurement.
#include "Inclinacion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// Stars laid out by hand: three per ninth at its middle, each ninth's HFD its own number.
TEST(Inclinacion, NinthsCornersAndCurvatureFromPlacedStars) {
    const int w = 300, h = 150;
    std::vector<TEstrellaCampo> estrellas;
    const auto poner = [&](double x, double y, double hfd) {
        TEstrellaCampo e;
        e.X = x;
        e.Y = y;
        e.HFD = hfd;
        estrellas.push_back(e);
    };
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                // Growing towards high NAXIS1 and a little towards high NAXIS2; the top
                // middle ninth gets its stars below.
                if (!(i == 1 && j == 2))
                    poner(50 + 100 * i + k, 25 + 50 * j, 2 + 0.5 * i + 0.1 * j);
    poner(150, 125, 9); // the top middle ninth: two stars only, no figure
    poner(151, 124, 9);
    // Three stars far out in the corners (beyond 75 % of the half-diagonal, 125.8 pixels).
    poner(0, 0, 4);
    poner(299, 149, 4);
    poner(1, 148, 4);

    const TInclinacion t = MedirInclinacion(estrellas, w, h);
    EXPECT_EQ(t.Estrellas, 29);
    EXPECT_FALSE(t.Noveno[1][2].has_value());
    ASSERT_TRUE(t.Noveno[0][0] && t.Noveno[2][2] && t.Noveno[1][1]);
    EXPECT_DOUBLE_EQ(*t.Noveno[0][0], 2.0); // the corner star at (0, 0) is the fourth there
    EXPECT_DOUBLE_EQ(*t.Noveno[2][0], 3.0);
    EXPECT_DOUBLE_EQ(*t.Noveno[1][1], 2.6);
    // The softest ninth (NAXIS1 high, NAXIS2 high; the top middle one has no figure) minus the
    // sharpest (both low); the far corner stars change no ninth's median.
    ASSERT_TRUE(t.Dispersion && t.DispersionPct);
    EXPECT_NEAR(*t.Dispersion, (2 + 1.0 + 0.2) - 2.0, 1e-12);
    EXPECT_NEAR(*t.DispersionPct, 100 * *t.Dispersion / t.HFD, 1e-12);
}

TEST(Inclinacion, TooFewStarsLeaveFiguresEmpty) {
    TEstrellaCampo e;
    e.X = 10;
    e.Y = 10;
    e.HFD = 3;
    const TInclinacion t = MedirInclinacion({e, e}, 100, 100);
    EXPECT_DOUBLE_EQ(t.HFD, 3);
    EXPECT_FALSE(t.Dispersion || t.DispersionPct || t.Noveno[0][0]);
    EXPECT_EQ(MedirInclinacion({}, 100, 100).Estrellas, 0);
}

} // namespace
