// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A value axis of the chart control: its range, value-to-pixel mapping, label step and label
// values. Plain C++; text sizes come from a callback that stands in for the font metrics.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "SerieGrafico.h"

// A refused axis limit.
struct ErrorEje : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TMedidaTexto {
    int Ancho = 0;
    int Alto = 0;
};
using TMedidorTexto = std::function<TMedidaTexto(const std::string&)>;

// No step goes below this, so that a label loop always moves.
constexpr double PasoMinimo = 1e-12;

// The step that follows s in the sequence 1, 2, 5 times a power of ten.
double SiguientePaso(double s);

class TCustomChartAxis {
public:
    explicit TCustomChartAxis(bool horizontal) : Horizontal(horizontal) {}

    const bool Horizontal; // the bottom axis; the left one is vertical
    bool Visible = true;
    bool AutomaticMinimum = true;
    bool AutomaticMaximum = true;
    double Increment = 0; // desired label step; 0: none given
    std::string AxisValuesFormat = "#,##0.###";
    int LabelsSeparation = 10; // percent of a label's size
    bool RoundFirstLabel = true;
    int TickLength = 4;
    int TickInnerLength = 0;
    int MinorTickLength = 2;
    int MinorTickCount = 3;
    TChartPen AxisPen{clBlack, 1, true, false};
    TChartPen Ticks{clDkGray, 1, true, false};
    TChartPen TicksInner{clDkGray, 1, true, false};
    TChartPen MinorTicks{clDkGray, 1, true, false};
    TChartPen Grid{clGray, 1, true, true};

    // Called after a limit or the automatic flag changed.
    std::function<void()> AlCambiar;

    // Sets AutomaticMinimum and AutomaticMaximum to the same value.
    void SetAutomatic(bool v);
    double Minimum() const { return Minimo; }
    double Maximum() const { return Maximo; }
    // Refused (ErrorEje, the limit unchanged) when the new value passes the other limit.
    void SetMaximum(double v);
    void SetMinimum(double v);

    // Working values, recomputed at every repaint.
    double MinimoActual = 0, MaximoActual = 0, Rango = 0;
    int PosInicio = 0, PosFin = 0, PosCentro = 0;

    // Range from the limits or from the series that qualify.
    void CalcularRango(const std::vector<const TFastLineSeries*>& series);
    void FijarPosiciones(int inicio, int fin);
    int Longitud() const { return PosFin - PosInicio; }
    // Pixel of a value; the centre when the range is 0 or the value is out of reach.
    int CalcPosValor(double v) const;
    double PasoEtiquetas(const TMedidorTexto& medir) const;
    // The label values, from the top down; empty when no label is drawn.
    std::vector<double> ValoresEtiquetas(double paso) const;
    std::string TextoEtiqueta(double v) const;
    // Pixels the axis takes beside the plotting area for its line and ticks.
    int EspacioMarcas() const;

private:
    void Cambio() const {
        if (AlCambiar) AlCambiar();
    }

    bool Automatico = true;
    double Minimo = 0, Maximo = 0;
};
