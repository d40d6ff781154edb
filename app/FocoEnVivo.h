// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The field mode's live answer: the focus curve of the frames measured since the last reset,
// refitted after each one as quorvel-medir --curva fits it, and what the window says of it.
#include "SerieFoco.h"

#include <optional>
#include <string>
#include <vector>

class TFocoEnVivo {
public:
    // One measured frame. A frame without a position is left out: the run is the frames that
    // give one. Once the HFD curve is trusted, a frame at the position of the one before is an
    // exposure of the night: it is compared with the curve's minimum, not fitted.
    void Anotar(const std::optional<TPosicionFoco>& posicion, double HFD, float FWHM);
    // A frame whose position could not be read: the line says why until the next frame.
    void Rechazar(const std::string& motivo);
    void Vaciar();

    // " - mejor foco P" once the curve is trusted, P written with the positions' decimals;
    // otherwise empty.
    std::string Titulo() const;
    // The readout line; empty while no frame of the run gave a position.
    std::string Linea() const;

    const std::vector<TPuntoFoco>& Puntos() const { return puntos_; }
    const TSerieFoco& Serie() const { return serie_; }

private:
    std::string Posicion() const;

    std::vector<TPuntoFoco> puntos_;
    TSerieFoco serie_;
    std::string error_;    // the fit refused the run (FOCUSPOS and FOCPOS mixed)
    std::string rechazo_;  // the latest frame's unreadable position
    std::optional<double> exceso_; // the latest exposure's HFD over the minimum, in percent
    std::optional<double> ultima_; // position of the latest frame that gave one
};
