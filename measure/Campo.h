// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Focus figures of a whole frame: the median FWHM, HFD and peak over its usable stars, for
// frames that hold a field rather than one star. Found and measured with SEP; each fitted
// star's FWHM is the window's own Gaussian fit.
#include "UTPlaca.h"

#include <cstdint>
#include <functional>
#include <vector>

struct TEstrellaCampo {
    double X = 0, Y = 0; // centre, frame pixels (of a ring, the ring's centre)
    // The window's fit when Ajustada; 10 for an HFD of 10 or more (no fit runs, as in the
    // window); 0 for a star past the brightest ones that are fitted.
    float FWHM = 0;
    double HFD = 0;      // twice the half-flux radius, the whole image (a whole ring)
    int32_t Maximo = 0;  // largest pixel value of the star, background included
    char Calidad = ' ';  // the fit's flag; ' ' also when no fit ran
    bool Ajustada = false;
};

struct TMedidaCampo {
    // The stars used, brightest first: up to 200 isolated, unsaturated star images, none of
    // them a hot pixel, cluster, cosmic ray, blend or trail.
    std::vector<TEstrellaCampo> Estrellas;
    double Fondo = 0; // global background level (zero padding left out)
    // Medians over Estrellas, 0 when there is none. HFD and Maximo over all of them; FWHM
    // over the fitted stars only (the brightest 10 with an HFD below 10), and exactly 10 when
    // the median HFD is 10 or more or no star could be fitted: the window's value for a
    // blurred star, never a mixture of fits and that placeholder.
    float FWHM = 0;
    double HFD = 0;
    int32_t Maximo = 0;
    int Ajustadas = 0; // stars whose fit the FWHM is the median of
};

// Measures the frame loaded in Placa (a colour mosaic on its 2 x 2 block means, every frame
// against its camera's clip level: Camara.h). Estrellas is empty when no star is usable. A bright
// extended object never loses the frame; raises std::runtime_error, with a Spanish message,
// only when memory runs out. Pausa, when given, is called between the measurement's steps and
// between its stars, a few milliseconds of work apart at most on any frame: a window lets its
// messages run there. It must leave Placa and the measurement alone.
TMedidaCampo MedirCampo(TPlaca& Placa, const std::function<void()>& Pausa = {});
