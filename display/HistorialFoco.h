// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The focus history: three strip charts (peak, FWHM, HFD) with their raw and five-frame
// average lines, and the six readouts beside them. The main window derives from this.
#include <QWidget>
#include <cstdint>

#include "Grafico.h"

class QLabel;

// Five-value moving average, a ring of single-precision values.
struct TMediaMovil {
    float Valores[5];
    int32_t Posicion;
    float Media;
    bool Lleno;
};

// Stores the value and, once five values are in, leaves their mean in Estado.Media.
void MediaMovil(TMediaMovil& Estado, float Valor);

// One per figure, for the whole run; zero at start.
extern TMediaMovil MediaHFD, MediaFWHM, MediaMaximo;

class THistorialFoco : public QWidget {
    Q_OBJECT
public:
    explicit THistorialFoco(QWidget* parent = nullptr);

    // The display step for one frame: raw points at x = Indice, readouts, axis rescaling, the
    // averages at x = Indice - 2; ends by letting pending window messages run.
    void MostrarMedidas(int32_t Indice, int32_t Maximo, float FWHM, double HFD);
    // Fits the left axis to the raw series widened by a twentieth at each end.
    void AjustarEje(TChart* Chart);
    // Starts a new run: empty charts at 0 to 100000, averages not ready, zero readouts.
    void PuestaACero();

protected:
    // The reset's frame list step: the main window empties ListaFotos, FotosProcesadas := 0.
    virtual void VaciarListaFotos() {}

    TChart *Chart1, *Chart2, *Chart3;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9;
};
