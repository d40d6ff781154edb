// SPDX-License-Identifier: GPL-3.0-or-later
#include "Inclinacion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr size_t EstrellasMinimas = 3;

std::optional<double> Mediana(std::vector<double> v, size_t minimo = 1) {
    if (v.size() < minimo || v.empty()) return std::nullopt;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m), v.end());
    if (v.size() % 2) return v[m];
    return (v[m] + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m))) / 2;
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
    r.HFD = *Mediana(todas);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.Noveno[i][j] = Mediana(novenos[i][j], EstrellasMinimas);

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
    const std::optional<double> fuera = Mediana(borde, EstrellasMinimas);
    if (fuera && r.Noveno[1][1]) r.Curvatura = *fuera - *r.Noveno[1][1];
    return r;
}
