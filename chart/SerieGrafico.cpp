// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerieGrafico.h"

#include "Errores.h"

double TChartValueList::operator[](int32_t i) const {
    if (i < 0 || i >= Count()) throw ErrorRango("Índice de lista fuera de rango");
    return Valores[static_cast<size_t>(i)];
}

double TChartValueList::MinValue() const {
    CalcularEstadisticas();
    return Minimo;
}

double TChartValueList::MaxValue() const {
    CalcularEstadisticas();
    return Maximo;
}

void TChartValueList::Insertar(int32_t i, double v) {
    const bool alFinal = i == Count() && !Valores.empty();
    Valores.insert(Valores.begin() + i, v);
    // An appended value is the next step of the scan over the list, so fresh statistics
    // take it in place: the display's per-frame queries stay flat however long the run.
    if (alFinal && !Obsoletas) {
        Incluir(v);
    } else {
        Obsoletas = true;
    }
}

void TChartValueList::Vaciar() {
    Valores.clear();
    Obsoletas = true;
}

void TChartValueList::Incluir(double v) const {
    if (v < Minimo)
        Minimo = v;
    else if (v > Maximo)
        Maximo = v;
}

void TChartValueList::CalcularEstadisticas() const {
    if (!Obsoletas) return;
    Minimo = Maximo = 0;
    if (!Valores.empty()) {
        Minimo = Maximo = Valores.front();
        for (size_t i = 1; i < Valores.size(); ++i) Incluir(Valores[i]);
    }
    Obsoletas = false;
}

int32_t TFastLineSeries::AddXY(double x, double y, TColor color) {
    // Walk back from the end: points normally arrive in x order, so this is an append.
    int32_t i = XValues.Count();
    if (XValues.Order == TChartListOrder::loAscending)
        while (i > 0 && x < XValues.Valores[static_cast<size_t>(i - 1)]) --i;
    XValues.Insertar(i, x);
    YValues.Insertar(i, y);
    Colores.insert(Colores.begin() + i, color);
    Cambio();
    return i;
}

void TFastLineSeries::Clear() {
    XValues.Vaciar();
    YValues.Vaciar();
    Colores.clear();
    Cambio();
}

TColor TFastLineSeries::ValueColor(int32_t i) const {
    if (i < 0 || i >= Count()) throw ErrorRango("Índice de lista fuera de rango");
    return Colores[static_cast<size_t>(i)];
}

void TFastLineSeries::SetSeriesColor(TColor c) {
    Lapiz.Color = c;
    Cambio();
}

void TFastLineSeries::SetLinePenWidth(int ancho) {
    Lapiz.Width = ancho;
    Cambio();
}
