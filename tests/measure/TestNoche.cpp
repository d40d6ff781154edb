// SPDX-License-Identifier: GPL-3.0-or-later
// A night's frames: their dates, their order, the runs found among them and the focus model.
#include "Noche.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(Noche, DatesAreIso8601InUtc) {
    // Seconds from the system's own calendar (date -u -d ... +%s).
    const struct {
        const char* texto;
        double segundos;
    } buenas[] = {
        {"1970-01-01T00:00:00", 0},
        {"1969-12-31T23:59:59", -1},
        {"2000-03-01T00:00:00", 951868800},
        {"2024-02-29", 1709164800},
        {"2026-03-14T21:00:00", 1773522000},
        {"2026-03-14T21:00:00.25", 1773522000.25},
        {"2026-03-14T21:00:00.123456", 1773522000.123456},
        {"2026-03-14T21:00:00Z", 1773522000},
        {"2016-12-31T23:59:60", 1483228800}, // a leap second
    };
    for (const auto& b : buenas) {
        SCOPED_TRACE(b.texto);
        const auto s = SegundosFecha(b.texto);
        ASSERT_TRUE(s.has_value());
        EXPECT_NEAR(*s, b.segundos, 1e-5);
    }
    for (const char* mala : {"", "2026-02-29", "2026-13-01", "2026-04-31", "14/03/26",
                             "2026-03-14 21:00:00", "2026-03-14T21:00", "2026-03-14T24:00:00",
                             "2026-03-14T21:60:00", "2026-03-14T21:00:00.", "2026-03-14T21:00:00,5",
                             "2026-03-14T21:00:00.5x", "2026-3-14", "+2026-03-14", "2026-03-14T"}) {
        SCOPED_TRACE(mala);
        EXPECT_FALSE(SegundosFecha(mala).has_value());
    }
}

TEST(Noche, FramesWithoutDateStayAfterTheFrameBeforeThem) {
    // Given order a..f; b and e without DATE-OBS.
    std::vector<TFotoNoche> fotos;
    for (const auto& [nombre, t] : std::vector<std::pair<const char*, double>>{
             {"a", 30}, {"b", NAN}, {"c", 10}, {"d", 20}, {"e", NAN}, {"f", 20}})
        fotos.push_back({nombre, "", std::isnan(t) ? std::nullopt : std::optional(t), {}, "", {}});
    OrdenarNoche(fotos);
    std::string orden;
    for (const TFotoNoche& f : fotos) orden += f.Fichero;
    EXPECT_EQ(orden, "cdefab");

    std::vector<TFotoNoche> sinFechas{{"x", "", {}, {}, "", {}}, {"y", "", {}, {}, "", {}}};
    OrdenarNoche(sinFechas);
    EXPECT_EQ(sinFechas[0].Fichero + sinFechas[1].Fichero, "xy");
}

// Frames of one filter at these positions (NAN for none); a filter per frame when given.
std::vector<TFotoNoche> Fotos(const std::vector<double>& x, const std::string& filtros = "") {
    std::vector<TFotoNoche> f(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        if (!std::isnan(x[i])) f[i].Posicion = TPosicionFoco{x[i], "FOCUSPOS"};
        if (!filtros.empty()) f[i].Filtro = std::string(1, filtros[i]);
    }
    return f;
}

std::string Tramos(const std::vector<TTramo>& t) {
    std::string r;
    for (const TTramo& x : t) r += std::to_string(x.Primera) + "+" + std::to_string(x.Fotos) + " ";
    return r;
}

TEST(Noche, RunsAreMonotonicStretchesBetweenRepeatedPositions) {
    const struct {
        const char* que;
        std::vector<double> x;
        std::string filtros;
        const char* tramos;
    } casos[] = {
        {"a run, then exposures", {7, 7, 1, 2, 3, 4, 5, 6, 3, 3, 3}, "", "2+6 "},
        {"falling", {9, 8, 7, 6, 5, 4, 6, 6}, "", "0+6 "},
        {"too short", {1, 2, 3, 4, 4, 4}, "", ""},
        {"exposures next to the run's last position end it there",
         {1, 2, 3, 4, 5, 6, 7, 7, 7},
         "",
         "0+6 "},
        {"a V without exposures: two runs", {1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1}, "", "0+6 6+5 "},
        {"a short wander before a run starts it from its last frame",
         {20, 10, 11, 12, 13, 14},
         "",
         "1+5 "},
        {"frames without a position end a run", {1, 2, 3, NAN, 4, 5, 6, 7, 8}, "", "4+5 "},
        {"a filter change ends a run", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "LLLLLRRRRR", "0+5 5+5 "},
        {"two runs back to back, rising both", {1, 2, 3, 4, 5, 1, 2, 3, 4, 5}, "", "0+5 5+5 "},
        {"real steps", {10025, 10075, 10125, 10175, 10225}, "", "0+5 "},
        {"nothing", {}, "", ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.que);
        EXPECT_EQ(Tramos(BuscarSeries(Fotos(c.x, c.filtros))), c.tramos);
    }
}

TEST(Noche, RunTemperatureIsTheMedianOfThoseGiven) {
    std::vector<TFotoNoche> f = Fotos({1, 2, 3, 4, 5, 6});
    const double t[] = {8.1, 7.9, NAN, 7.5, 9.0, 1.0};
    for (size_t i = 0; i < 6; ++i)
        if (!std::isnan(t[i])) f[i].Temperatura = t[i];
    EXPECT_DOUBLE_EQ(*TemperaturaSerie(f, {0, 6}), 7.9);
    EXPECT_DOUBLE_EQ(*TemperaturaSerie(f, {0, 5}), 8.0);
    EXPECT_DOUBLE_EQ(*TemperaturaSerie(f, {0, 2}), 8.0);
    EXPECT_FALSE(TemperaturaSerie(f, {2, 1}).has_value());
}

// Runs of a model with this slope and these offsets, with noise of that size.
std::vector<TPuntoModelo> Series(double pendiente,
                                 const std::vector<std::pair<std::string, double>>& filtros,
                                 int porFiltro, double ruido, bool conT = true) {
    std::mt19937_64 azar(5);
    std::normal_distribution<double> n(0, ruido);
    std::vector<TPuntoModelo> s;
    for (int k = 0; k < porFiltro; ++k)
        for (size_t f = 0; f < filtros.size(); ++f) {
            const double t = 15 - 2.0 * (k * filtros.size() + f);
            s.push_back({filtros[f].first, conT ? std::optional(t) : std::nullopt,
                         20000 + filtros[f].second + pendiente * t + n(azar)});
        }
    return s;
}

TEST(Noche, ModelRecoversSlopeAndOffsets) {
    TModeloFoco m = AjustarModelo(Series(-25, {{"L", 0}, {"R", 30}, {"Ha", -12.5}}, 3, 0));
    ASSERT_TRUE(m.PasosPorGrado.has_value());
    EXPECT_NEAR(*m.PasosPorGrado, -25, 1e-9);
    ASSERT_EQ(m.Filtros.size(), 3u);
    EXPECT_EQ(m.Filtros[2].Filtro, "Ha");
    EXPECT_NEAR(m.Filtros[1].Desplazamiento, 30, 1e-9);
    EXPECT_NEAR(m.Filtros[2].Desplazamiento, -12.5, 1e-9);
    EXPECT_NEAR(m.Filtros[0].Ordenada, 20000, 1e-9);
    EXPECT_EQ(m.Filtros[0].Series, 3);
    EXPECT_NEAR(m.R2, 1, 1e-12);

    // Noisy: the slope is well inside the scatter's reach; R2 below 1.
    m = AjustarModelo(Series(-25, {{"L", 0}, {"R", 30}}, 6, 3));
    EXPECT_NEAR(*m.PasosPorGrado, -25, 0.5);
    EXPECT_NEAR(m.Filtros[1].Desplazamiento, 30, 5);
    EXPECT_GT(m.R2, 0.95);
    EXPECT_LT(m.R2, 1);
}

TEST(Noche, OffsetsAreFromTheFilterWithMostRuns) {
    std::vector<TPuntoModelo> s = Series(-10, {{"R", 0}, {"L", -40}}, 2, 0);
    s.push_back({"L", 1.0, 20000 - 40 - 10});
    const TModeloFoco m = AjustarModelo(s);
    EXPECT_EQ(m.Filtros[0].Filtro, "R");
    EXPECT_NEAR(m.Filtros[1].Desplazamiento, 0, 1e-9);
    EXPECT_NEAR(m.Filtros[0].Desplazamiento, 40, 1e-9);
}

TEST(Noche, WithoutTemperaturesOffsetsAreDifferencesOfMeans) {
    std::vector<TPuntoModelo> s{{"L", {}, 1000}, {"L", {}, 1010}, {"R", {}, 1050}, {"L", {}, 990}};
    const TModeloFoco m = AjustarModelo(s);
    EXPECT_FALSE(m.PasosPorGrado.has_value());
    EXPECT_NEAR(m.Filtros[0].Ordenada, 1000, 1e-9);
    EXPECT_NEAR(m.Filtros[1].Desplazamiento, 50, 1e-9);
    // Residuals 0, 10, -10 against a spread around 1012.5.
    EXPECT_NEAR(m.R2, 1 - 200 / (12.5 * 12.5 + 2.5 * 2.5 + 37.5 * 37.5 + 22.5 * 22.5), 1e-12);

    // Runs with a temperature make the model; those without are left out.
    s = Series(-20, {{"L", 0}}, 3, 0);
    s.push_back({"L", {}, 5});
    const TModeloFoco t = AjustarModelo(s);
    EXPECT_EQ(t.Usadas.size(), 3u);
    EXPECT_NEAR(*t.PasosPorGrado, -20, 1e-9);
}

TEST(Noche, TooFewRunsAreRefusedWithTheReason) {
    const struct {
        const char* que;
        std::vector<TPuntoModelo> series;
        const char* motivo;
    } casos[] = {
        {"none", {}, "ninguna serie buena"},
        {"one filter, one run", {{"L", {}, 1}}, "hacen falta al menos 2"},
        {"slope and two filters need four",
         {{"L", 5.0, 100}, {"R", 3.0, 150}, {"L", 1.0, 120}},
         "hacen falta al menos 4"},
        {"one temperature per filter",
         {{"L", 5.0, 100}, {"R", 3.0, 150}, {"L", 5.0, 101}, {"R", 3.0, 149}},
         "temperaturas distintas"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.que);
        try {
            AjustarModelo(c.series);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.motivo), std::string::npos) << e.what();
        }
    }
}

} // namespace
