// SPDX-License-Identifier: GPL-3.0-or-later
#include "Inclinacion.h"

#include "Mediana.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr size_t EstrellasMinimas = 3;

// The median of a part of the frame; none with too few stars in it to tell.
std::optional<double> MedianaParte(const std::vector<double>& v) {
    if (v.size() < EstrellasMinimas) return std::nullopt;
    return Mediana(v);
}

// The third of a length n that holds pixel position v.
int Tercio(double v, int n) {
    return std::clamp(static_cast<int>(std::floor(3 * (v + 0.5) / n)), 0, 2);
}

} // namespace

std::string Veredicto(double pct) {
    if (pct < 5) return "ninguna";
    if (pct < 10) return "casi ninguna";
    if (pct < 15) return "leve";
    if (pct < 20) return "moderada";
    if (pct < 30) return "grave";
    return "extrema";
}

TInclinacion MedirInclinacion(const std::vector<TEstrellaCampo>& estrellas, int ancho, int alto) {
    TInclinacion r;
    r.Estrellas = static_cast<int>(estrellas.size());
    if (estrellas.empty() || ancho <= 0 || alto <= 0) return r;
    std::vector<double> todas, borde, novenos[3][3];
    const double cx = (ancho - 1) / 2.0, cy = (alto - 1) / 2.0;
    const double limite = 0.75 * std::hypot(ancho / 2.0, alto / 2.0);
    for (const TEstrellaCampo& e : estrellas) {
        todas.push_back(e.HFD);
        novenos[Tercio(e.X, ancho)][Tercio(e.Y, alto)].push_back(e.HFD);
        if (std::hypot(e.X - cx, e.Y - cy) > limite) borde.push_back(e.HFD);
    }
    r.HFD = Mediana(todas);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.Noveno[i][j] = MedianaParte(novenos[i][j]);

    std::vector<double> esquinas;
    for (const auto& n : {r.Noveno[0][0], r.Noveno[2][0], r.Noveno[0][2], r.Noveno[2][2]})
        if (n) esquinas.push_back(*n);
    if (esquinas.size() >= 2) {
        const auto [mejor, peor] = std::minmax_element(esquinas.begin(), esquinas.end());
        r.Inclinacion = *peor - *mejor;
        if (r.HFD > 0) {
            r.InclinacionPct = 100 * *r.Inclinacion / r.HFD;
            r.Veredicto = Veredicto(*r.InclinacionPct);
        }
    }
    const std::optional<double> fuera = MedianaParte(borde);
    if (fuera && r.Noveno[1][1]) r.Curvatura = *fuera - *r.Noveno[1][1];
    return r;
}
