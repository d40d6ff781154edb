// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map of widths of one field: the median HFD of each ninth of the frame (a 3 × 3 grid of
// thirds) and how much they differ. One frame cannot tell a tilt from a curvature nor which way
// the plane leans (which side looks soft flips through focus): that takes a run (PlanoFocal.h).
#include "EstrellaCampo.h"

#include <array>
#include <optional>
#include <vector>

struct TInclinacion {
    int Estrellas = 0;
    double HFD = 0; // median over all stars
    // Noveno[i][j]: i counts thirds along NAXIS1, j along NAXIS2, 0 the low end; empty with
    // fewer than 3 stars in it.
    std::array<std::array<std::optional<double>, 3>, 3> Noveno;
    // The softest ninth's HFD minus the sharpest's, pixels; none with fewer than two ninths.
    std::optional<double> Dispersion;
    std::optional<double> DispersionPct; // that as a percentage of HFD
};

// Stars at frame pixel positions (0 the first pixel's centre) of a frame of that size.
TInclinacion MedirInclinacion(const std::vector<TEstrellaCampo>& estrellas, int ancho, int alto);
