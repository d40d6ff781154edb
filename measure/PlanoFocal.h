// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The focal plane from a focus run of whole fields: the focus curve of each ninth of the frame
// over the run, each ninth's best position, and from them the tilt (which way the plane leans,
// how far) and the curvature apart, in the positions' own units. One frame cannot tell them:
// which side looks soft flips through focus.
#include "Campo.h"
#include "SerieFoco.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// A frame of the run: its position and whole-field widths, and the stars it gave.
struct TFotoPlano {
    TPuntoFoco Punto;
    std::vector<TEstrellaCampo> Estrellas;
    int Ancho = 0, Alto = 0;
};

// How much the centre's HFD may widen before a star looks out of focus: what sets Tolerancia.
constexpr double EnsanchamientoTolerado = 0.10;

template <typename T> using TNovenos = std::array<std::array<T, 3>, 3>;

struct TPlanoFocal {
    TSerieFoco Serie;                    // the whole field's curves
    TNovenos<TAjusteCurva> Curva;        // [i][j]: i the third along NAXIS1, j along NAXIS2
    TNovenos<std::optional<double>> Mejor; // each ninth's best position; none when not trusted
    // The high-NAXIS1 third's mean best position minus the low third's (over the rows where
    // both are trusted), the same along NAXIS2, and the corners' mean minus the centre (over the
    // diagonals whose two corners are trusted, so that a tilt cancels). Signed, positions.
    std::optional<double> InclinacionX, InclinacionY, Curvatura;
    // The change of position that widens the centre's HFD by EnsanchamientoTolerado, from its
    // fitted curve: B √((1 + f)² − 1).
    std::optional<double> Tolerancia;
    // "dentro de tolerancia", "inclinado", "curvado", "inclinado y curvado"; empty without the
    // figures. The tilt counts as √(X² + Y²).
    std::string Veredicto;
    TEstadoCurva Estado = TEstadoCurva::PocosPuntos; // the centre ninth's curve
};

// Raises as AjustarSerie.
TPlanoFocal AjustarPlanoFocal(const std::vector<TFotoPlano>& fotos);
