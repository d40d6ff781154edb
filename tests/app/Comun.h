// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared by the window tests: a scratch folder and frames with one star.
#include "CarpetaTemporal.h"
#include "EscritorFits.h"
#include "Estrella.h"

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// A 64 × 64 frame on a sky of 1000 with one star of the given peak above the sky.
inline std::string FotoConEstrella(double pico, double sigma = 1.6) {
    return FitsDeCuentas(64, 64, ExponerEstrellaEnCielo(64, 64, {30.3, 33.6, sigma, pico, 1000}));
}
