// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One listed frame through the watch cycle: loaded, measured the way the window was started
// with, and judged (measured, skipped, or still being written).
#include "ListasTrabajo.h"
#include "SerieFoco.h"

#include <cstdint>
#include <functional>
#include <string>

// The window's measurement: the frame's one star (the default), or the medians over the
// usable stars of a whole field (quorvel --campo).
enum class TModoMedida { Estrella, Campo };

struct TResultadoFoto {
    enum TEstado {
        Medida,       // the figures below are to be plotted
        SinEstrellas, // field mode: loaded and searched, no usable star; no point
        Saltada,      // not loadable or not measurable: no point, never tried again
        Pendiente,    // still being written: this entry and those after it wait for a tick
    } Estado = Saltada;
    int32_t Maximo = 0;
    float FWHM = 0;
    double HFD = 0;
    int32_t Estrellas = 0; // field mode: the stars used
    // Field mode: the focuser's position (FOCUSPOS, else FOCPOS), or why it could not be read.
    std::optional<TPosicionFoco> Posicion;
    std::string PosicionIlegible;
};

// Loads the frame at ruta into a frame object of its own, released on return, and measures it.
// Never raises: a frame that fails is Saltada, or Pendiente while it is short and changed less
// than SegundosDeEscritura ago. A focuser position that is not a number leaves the frame
// measured, without a position. In field mode Pausa, when given, is called once the frame is
// loaded and then through the measurement (MedirCampo); the single star's steps never call it.
TResultadoFoto MedirFoto(const std::string& ruta, TModoMedida modo, TListaOrdenada& ListaOrdenada,
                         TListaAcumulada& ListaAcumulada,
                         const std::function<void()>& Pausa = {});

// A file last modified within this time (either way: a writer's clock may run ahead) may still
// be in the middle of being written.
constexpr int64_t SegundosDeEscritura = 10;
bool EnEscritura(const std::string& ruta);
