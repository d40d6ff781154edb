// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the window tests: a scratch folder and frames with one star.
#include "CarpetaTemporal.h"
#include "EscritorFits.h"

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A 64 × 64 frame on a sky of 1000 with one star of the given peak above the sky.
inline std::string FotoConEstrella(double pico, double sigma = 1.6) {
    const int lado = 64;
    std::vector<uint16_t> cuentas(lado * lado);
    for (int y = 0; y < lado; ++y)
        for (int x = 0; x < lado; ++x) {
            const double r2 = (x - 30.3) * (x - 30.3) + (y - 33.6) * (y - 33.6);
            cuentas[y * lado + x] = static_cast<uint16_t>(
                std::lround(1000 + pico * std::exp(-r2 / (2 * sigma * sigma))));
        }
    return FitsDeCuentas(lado, lado, cuentas);
}
