// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Focus figures of a whole frame: the median FWHM, HFD and peak over its usable stars, for
// frames that hold a field rather than one star. Found and measured with SEP; each fitted
// star's FWHM is the window's own Gaussian fit.
#include "EstrellaCampo.h"
#include "UTPlaca.h"

#include <cstdint>
#include <functional>
#include <vector>

// Why a candidate of the detection was left out.
enum class TMotivo {
    Caliente,    // no optics forms it: a hot pixel, pair or cluster, a cosmic-ray hit
    SinLuz,      // no light above its sky once the artefacts are out
    Debil,       // its aperture's light is within 5 times the noise there: no measurable profile
    Saturada,    // a pixel above Saturacion, its own or a neighbour's inside the fit box
    Borde,       // its aperture or fit box is cut by the frame's edge or its zero padding
    Alargada,    // axis ratio above 2: a blend, a trail, a streak
    CieloDesigual, // a sky not level there: light in the aperture's outer fifth, or a sky
                   // whose own lumps (cloud, a bright star's wing) it hardly stands above
    Difusa,      // a soft lump far wider than any star, without a defocused pupil's edge: cloud, glow
    Vecina,      // another object's centre inside its aperture
    LejosDeMediana, // its HFD off the frame's median HFD by more than a factor of 2
    SinAjuste,   // the Gaussian fit could not be computed
    Sobrante,    // past the stars the medians need, or past the sample of a dense field
};

struct TRechazada {
    double X = 0, Y = 0; // frame pixels, as far as the measurement got
    double HFD = 0;      // 0 when it was left out before its radii were measured
    int32_t Maximo = 0;  // largest pixel value, background included
    TMotivo Motivo = TMotivo::Caliente;
    // A dense field's candidate that the sample never reached is Sobrante without being
    // examined: at its binned centre, Maximo over its whole detection, warm pixels included.
};

struct TMedidaCampo {
    // The stars used, brightest first: up to 200 isolated, unsaturated star images, none of
    // them a hot pixel, cluster, cosmic ray, blend or trail. A field with more is sampled,
    // the stars measured spread over the whole frame (at most 600 candidates tried).
    std::vector<TEstrellaCampo> Estrellas;
    // Every other candidate of the detection, brightest first, with the first reason found.
    std::vector<TRechazada> Rechazadas;
    double Fondo = 0; // global background level (zero padding left out)
    // Medians over Estrellas, 0 when there is none. HFD and Maximo over all of them; FWHM
    // over the fitted stars only (the brightest 10 with an HFD below FWHMBorrosa), and exactly
    // FWHMBorrosa when the median HFD is that or more or no star could be fitted: the
    // window's value for a blurred star, never a mixture of fits and that placeholder.
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
