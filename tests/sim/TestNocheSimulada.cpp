// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated night: runs that a capture program's autofocus would make, exposures between
// them, and the clock and temperature that its frames carry.
#include "NocheSimulada.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

TEST(NocheSimulada, RunsBracketTheirTruthAndExposuresRepeatAPosition) {
    TNocheSimulada n;
    n.Series = 8;
    n.Filtros = {{"L", 0}, {"R", 40}, {"B", -35}};
    const std::vector<TFotoSimulada> fotos = PlanearNoche(n);
    ASSERT_EQ(fotos.size(), 8u * 13);
    for (int k = 0; k < n.Series; ++k) {
        SCOPED_TRACE(k);
        const auto primera = fotos.begin() + k * 13;
        const TFiltroSimulado& f = n.Filtros[static_cast<size_t>(k) % 3];
        const double t = 12 - 1.5 * k, verdad = 10000 + f.Desplazamiento - 30 * (t - 12);
        std::set<double> posiciones;
        for (int i = 0; i < 9; ++i) {
            const TFotoSimulada& p = primera[i];
            EXPECT_TRUE(p.EnSerie);
            EXPECT_EQ(p.Filtro, f.Nombre);
            EXPECT_DOUBLE_EQ(p.Temperatura, t);
            EXPECT_DOUBLE_EQ(p.Mejor, verdad);
            posiciones.insert(p.Posicion);
            if (i > 0) {
                EXPECT_DOUBLE_EQ(p.Posicion - primera[i - 1].Posicion, k % 2 ? -50 : 50);
            }
        }
        // Two frames or more on each side of best focus.
        EXPECT_GT(verdad, *std::next(posiciones.begin()));
        EXPECT_LT(verdad, *std::prev(posiciones.end(), 2));
        for (int e = 9; e < 13; ++e) {
            EXPECT_FALSE(primera[e].EnSerie);
            EXPECT_EQ(primera[e].Posicion, std::nearbyint(verdad));
            EXPECT_LT(primera[e].Temperatura, primera[e - 1].Temperatura);
            EXPECT_GT(primera[e].Temperatura, t - 1.5);
        }
    }
    for (size_t i = 1; i < fotos.size(); ++i)
        EXPECT_DOUBLE_EQ(fotos[i].Segundos - fotos[i - 1].Segundos, 30);
}

TEST(NocheSimulada, DatesAreIsoInUtc) {
    EXPECT_EQ(FechaIso(1773522000), "2026-03-14T21:00:00.000");
    EXPECT_EQ(FechaIso(1773522000 + 390.25), "2026-03-14T21:06:30.250");
    EXPECT_EQ(FechaIso(1773522000 + 3 * 3600 - 0.0004), "2026-03-15T00:00:00.000");
    EXPECT_EQ(FechaIso(951782400 + 59.5), "2000-02-29T00:00:59.500");
}

} // namespace
