// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Focus figures of a whole frame: the median FWHM, HFD and peak over its usable stars, for
// frames that hold a field rather than one star. Found and measured with SEP; each star's
// FWHM is the window's own Gaussian fit.
#include "UTPlaca.h"

#include <cstdint>
#include <vector>

struct TEstrellaCampo {
    double X = 0, Y = 0; // barycentre, frame pixels
    float FWHM = 0;      // as the window chooses it: the fit, or 10 for an HFD of 10 or more
    double HFD = 0;      // twice the half-flux radius
    int32_t Maximo = 0;  // largest pixel value of the star, background included
    char Calidad = ' ';  // the fit's flag; ' ' also when no fit ran
};

struct TMedidaCampo {
    std::vector<TEstrellaCampo> Estrellas; // the stars used, brightest first
    double Fondo = 0;                      // global background level
    // Medians over Estrellas; 0 when there is none.
    float FWHM = 0;
    double HFD = 0;
    int32_t Maximo = 0;
};

// Measures the frame loaded in Placa. Estrellas is empty when no star is usable; raises
// std::runtime_error when SEP fails (out of memory, too many pixels in one detection) or the
// frame has more pixels than SEP can count.
TMedidaCampo MedirCampo(TPlaca& Placa);
