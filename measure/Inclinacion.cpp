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

TInclinacion MedirInclinacion(const std::vector<TEstrellaCampo>& estrellas, int ancho, int alto) {
    TInclinacion r;
    r.Estrellas = static_cast<int>(estrellas.size());
    if (estrellas.empty() || ancho <= 0 || alto <= 0) return r;
    std::vector<double> todas, novenos[3][3];
    for (const TEstrellaCampo& e : estrellas) {
        todas.push_back(e.HFD);
        novenos[Tercio(e.X, ancho)][Tercio(e.Y, alto)].push_back(e.HFD);
    }
    r.HFD = Mediana(todas);
    std::vector<double> medianas;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if ((r.Noveno[i][j] = MedianaParte(novenos[i][j]))) medianas.push_back(*r.Noveno[i][j]);
    if (medianas.size() >= 2) {
        const auto [mejor, peor] = std::minmax_element(medianas.begin(), medianas.end());
        r.Dispersion = *peor - *mejor;
        if (r.HFD > 0) r.DispersionPct = 100 * *r.Dispersion / r.HFD;
    }
    return r;
}
