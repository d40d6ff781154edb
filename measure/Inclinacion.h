// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tilt and curvature of the focal plane from the stars of one field: the median HFD of each
// ninth of the frame (a 3 × 3 grid of thirds), the worst corner against the best and the edge
// against the centre.
#include "EstrellaCampo.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

struct TInclinacion {
    int Estrellas = 0;
    double HFD = 0; // median over all stars
    // Noveno[i][j]: i counts thirds along NAXIS1, j along NAXIS2, 0 the low end; empty with
    // fewer than 3 stars in it.
    std::array<std::array<std::optional<double>, 3>, 3> Noveno;
    std::optional<double> Inclinacion;    // worst corner's HFD minus the best's, pixels
    std::optional<double> InclinacionPct; // that as a percentage of HFD
    // The HFD beyond 75 % of the half-diagonal from the centre minus the central ninth's.
    std::optional<double> Curvatura;
    std::string Veredicto; // by InclinacionPct; empty without it
};

// Stars at frame pixel positions (0 the first pixel's centre) of a frame of that size.
TInclinacion MedirInclinacion(const std::vector<TEstrellaCampo>& estrellas, int ancho, int alto);

std::string Veredicto(double inclinacionPct);
