// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A focus run as its frames give it: each frame's focuser position, read from its header as
// capture programs write it, and the focus curves of HFD and FWHM fitted over the run. One
// piece of code for quorvel-medir's analyses and the window's live answer.
#include "Curva.h"

#include <optional>
#include <string>
#include <vector>

class TPlaca;

// A number of the header as capture programs write it: a FITS real, its exponent letter E or
// D. None when the card is missing; std::runtime_error, in Spanish and naming the keyword,
// when it is not a number or lies beyond ±1e9, no sensible reading of a focuser or sensor.
std::optional<double> NumeroCabecera(const TPlaca& Placa, const char* clave);

struct TPosicionFoco {
    double Valor = 0;
    const char* Clave = ""; // "FOCUSPOS" or "FOCPOS"
};

// FOCUSPOS, else FOCPOS; none when neither is there. Raises as NumeroCabecera.
std::optional<TPosicionFoco> PosicionEnfocador(const TPlaca& Placa);

struct TPuntoFoco {
    std::optional<TPosicionFoco> Posicion;
    double Lugar = 0; // the frame's place in the run, 1 the first: its x without positions
    double HFD = 0;
    float FWHM = 0; // FWHMBorrosa for a star too wide to fit: left out of the FWHM curve
};

struct TSerieFoco {
    bool ConPosicion = false; // X are focuser positions; otherwise the frames' places
    std::vector<double> X;    // one per point, in the order given
    int Decimales = 0;        // decimals the positions are written with
    TAjusteCurva HFD, FWHM;
};

// Fits both curves. Raises std::runtime_error, in Spanish, when some frames give a position
// and others do not, when some give FOCUSPOS and others FOCPOS (two counters that need not
// agree), or when two frames or more all give the same position.
TSerieFoco AjustarSerie(const std::vector<TPuntoFoco>& puntos);

// The fewest decimals (up to 6) that write every value exactly, as a capture program wrote
// them: 0 for focuser steps, 2 for positions in hundredths of a millimetre.
int DecimalesDe(const std::vector<double>& valores);
