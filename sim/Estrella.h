// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The plain frame of the tests and the benchmarks: one circular Gaussian star, point-sampled, on
// a flat sky with an optional Gaussian noise. The camera simulator's exposures, with shot noise
// and fields of stars, are in Simulacion.h.
#include <cstdint>
#include <vector>

struct TEstrellaEnCielo {
    double cx = 0, cy = 0; // centre, frame pixels
    double sigma = 1;      // pixels
    double amplitud = 0;   // counts above the sky at the centre
    double fondo = 0;      // the sky, counts
    double ruido = 0;      // standard deviation of the noise in counts; 0 draws none
    unsigned semilla = 1;  // of the noise, one draw per pixel in the order of the counts
};

// Counts first axis fastest, rounded to the nearest and clipped to 0..65535.
std::vector<uint16_t> ExponerEstrellaEnCielo(int64_t ancho, int64_t alto,
                                             const TEstrellaEnCielo& e);
