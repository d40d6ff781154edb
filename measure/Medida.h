// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The star of one frame: background, centroid and peak in two passes, the half-flux diameter
// and the FWHM figure.
#include "ListasTrabajo.h"
#include "UTPlaca.h"

#include <cstdint>

// The window's saturation level: a star with a pixel above it has a flattened top.
constexpr int32_t Saturacion = 60000;

// A star whose HFD is this or more is too blurred for the Gaussian fit: its FWHM is given as
// this same value, which the window and the analyses read as "too wide to fit".
constexpr float FWHMBorrosa = 10.0f;

// Measurement state of one frame. The box bounds are inclusive and never clipped to the
// frame: positions outside it read 0.
struct TMedida {
    TMedida(TPlaca& Placa, TListaOrdenada& ListaOrdenada, TListaAcumulada& ListaAcumulada)
        : Placa(Placa), ListaOrdenada(ListaOrdenada), ListaAcumulada(ListaAcumulada) {}

    int32_t XMin = 0, XMax = 0, YMin = 0, YMax = 0;
    double NivelFondo = 0;
    double CentroideX = 0, CentroideY = 0;
    int32_t Maximo = 0;
    TPlaca& Placa;
    TListaOrdenada& ListaOrdenada;
    TListaAcumulada& ListaAcumulada;

    // Trimmed mean of the box's two-pixel border ring.
    void CalcularFondo();
    // Background-subtracted centroid and raw peak of the box interior.
    void CalcularCentroide();
    // The same with the three sums exact and their order free, so that a whole frame is read
    // in memory order: each is the correctly rounded exact sum. For the first pass, whose
    // coordinates are those of a frame.
    void CalcularCentroideExacto();
    // 25 x 25 box around the rounded centroid; ErrorRango when it leaves the 32-bit range.
    void ColocarCaja();
    // Whole frame less its outermost line, then the 25 x 25 box.
    void LocalizarEstrella();
    // Half-flux diameter around the centroid, over the box interior.
    double CalcularHFD();
};

// Total, half and the interpolated diameter from the cumulative entries.
double InterpolarHFD(const TListaAcumulada& ListaAcumulada, char Decimal);

// Half-size of the fit window for a half-flux diameter.
int32_t RadioAjuste(double HFD);
// FWHMBorrosa for a diameter of 10 or more, else the fitted FWHM; Calidad is the fit's flag, or ' '
// when no fit ran. A pixel above Tope is saturated ('S'). The fit runs on Area, the frame
// unless a measurement made its own matrix from it.
float ElegirFWHM(TPlaca& Placa, double HFD, double CentroideX, double CentroideY, char& Calidad,
                 int32_t Tope = Saturacion, const FITSImageArea& Area = Imagen);

struct TFigurasFoco {
    int32_t Maximo;
    float FWHM;
    double HFD;
    double CentroideX, CentroideY, NivelFondo;
    char Calidad; // ' ' when no fit ran
};

// LocalizarEstrella, CalcularHFD and the FWHM choice on a loaded frame; raises on failure.
TFigurasFoco MedirEstrella(TPlaca& Placa, TListaOrdenada& ListaOrdenada,
                           TListaAcumulada& ListaAcumulada);
