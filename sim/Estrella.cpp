// SPDX-License-Identifier: GPL-3.0-or-later
#include "Estrella.h"

#include <algorithm>
#include <cmath>
#include <random>

std::vector<uint16_t> ExponerEstrellaEnCielo(int64_t ancho, int64_t alto,
                                             const TEstrellaEnCielo& e) {
    std::vector<uint16_t> cuentas(static_cast<size_t>(ancho * alto));
    std::mt19937 azar(e.semilla);
    std::normal_distribution<double> normal(0.0, e.ruido > 0 ? e.ruido : 1.0);
    for (int64_t y = 0; y < alto; ++y)
        for (int64_t x = 0; x < ancho; ++x) {
            const double r2 = (x - e.cx) * (x - e.cx) + (y - e.cy) * (y - e.cy);
            double v = e.fondo + e.amplitud * std::exp(-r2 / (2 * e.sigma * e.sigma));
            if (e.ruido > 0) v += normal(azar);
            cuentas[static_cast<size_t>(y * ancho + x)] =
                static_cast<uint16_t>(std::clamp(std::nearbyint(v), 0.0, 65535.0));
        }
    return cuentas;
}
