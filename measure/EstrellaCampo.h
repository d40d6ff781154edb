// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One star of a field as the field measurement gives it: what the analyses of a field (the
// tilt of the focal plane, the focus curve) read, without the measurement itself.
#include <cstdint>

struct TEstrellaCampo {
    double X = 0, Y = 0; // centre, frame pixels (of a ring, the ring's centre)
    // The window's fit when Ajustada; FWHMBorrosa (10) for an HFD of that or more (no fit
    // runs, as in the window); 0 for a star past the brightest ones that are fitted.
    float FWHM = 0;
    double HFD = 0;      // twice the half-flux radius, the whole image (a whole ring)
    int32_t Maximo = 0;  // largest pixel value of the star, background included
    char Calidad = ' ';  // the fit's flag; ' ' also when no fit ran
    bool Ajustada = false;
};
