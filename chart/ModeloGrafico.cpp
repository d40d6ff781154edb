// SPDX-License-Identifier: GPL-3.0-or-later
#include "ModeloGrafico.h"

#include <algorithm>
#include <cmath>

#include "Errores.h"
#include "Numeros.h"

TModeloGrafico::TModeloGrafico() {
    LeftAxis.AlCambiar = [this] { Repintar(); };
    BottomAxis.AlCambiar = [this] { Repintar(); };
}

TFastLineSeries& TModeloGrafico::AddSeries() {
    ListaSeries.push_back(std::make_unique<TFastLineSeries>());
    TFastLineSeries& serie = *ListaSeries.back();
    serie.AlCambiar = [this] { Repintar(); };
    Repintar();
    return serie;
}

TFastLineSeries& TModeloGrafico::Series(int32_t i) {
    if (i < 0 || i >= SeriesCount()) throw ErrorRango("Índice de serie fuera de rango");
    return *ListaSeries[static_cast<size_t>(i)];
}

TDibujoGrafico TModeloGrafico::Componer(int ancho, int alto, const TMedidorTexto& medir) {
    std::vector<const TFastLineSeries*> series;
    for (const auto& s : ListaSeries) series.push_back(s.get());
    LeftAxis.CalcularRango(series);
    BottomAxis.CalcularRango(series);

    TDibujoGrafico d;
    TRectangulo& a = d.Area;
    a.Left = Redondear(MarginLeft * ancho / 100.0);
    a.Right = ancho - Redondear(MarginRight * ancho / 100.0);
    a.Top = Redondear(MarginTop * alto / 100.0);
    a.Bottom = alto - Redondear(MarginBottom * alto / 100.0);

    if (BottomAxis.Visible) {
        const int altoTexto = medir(BottomAxis.TextoEtiqueta(BottomAxis.MaximoActual)).Alto;
        a.Bottom -= altoTexto + BottomAxis.EspacioMarcas();
    }
    // The left axis's length is the plot's height, which the room it takes at the side does
    // not change: its step is found on its final length.
    LeftAxis.FijarPosiciones(a.Top, a.Bottom);
    const double pasoIzquierdo = LeftAxis.PasoEtiquetas(medir);
    if (LeftAxis.Visible) {
        auto anchoEtiqueta = [&](double v) {
            const double etiqueta = std::trunc(v / pasoIzquierdo) * pasoIzquierdo;
            return medir(LeftAxis.TextoEtiqueta(etiqueta)).Ancho;
        };
        a.Left +=
            std::max(anchoEtiqueta(LeftAxis.MinimoActual), anchoEtiqueta(LeftAxis.MaximoActual)) +
            medir(" ").Ancho + LeftAxis.EspacioMarcas();
    }
    BottomAxis.FijarPosiciones(a.Left, a.Right);

    if (LeftAxis.Visible) ComponerEje(LeftAxis, pasoIzquierdo, medir, a, d.Izquierdo);
    if (BottomAxis.Visible)
        ComponerEje(BottomAxis, BottomAxis.PasoEtiquetas(medir), medir, a, d.Inferior);

    for (const auto& s : ListaSeries)
        d.Lineas.push_back(s->Active ? ComponerLinea(*s) : std::vector<TPuntoPixel>{});
    return d;
}

void TModeloGrafico::ComponerEje(const TCustomChartAxis& eje, double paso,
                                 const TMedidorTexto& medir, const TRectangulo& area,
                                 TDibujoEje& dibujo) const {
    dibujo.Visible = true;
    // The line just outside the plotting area, the ticks beyond it, then the texts.
    if (eje.Horizontal) {
        dibujo.PosLinea = area.Bottom + 1;
        dibujo.PosTexto = area.Bottom + 1 + eje.EspacioMarcas();
    } else {
        dibujo.PosLinea = area.Left - 1;
        dibujo.PosTexto = area.Left - eje.EspacioMarcas() - medir(" ").Ancho / 2;
    }
    for (double v : eje.ValoresEtiquetas(paso)) {
        TEtiquetaEje e;
        e.Valor = v;
        e.Texto = eje.TextoEtiqueta(v);
        e.Pos = eje.CalcPosValor(v);
        const TMedidaTexto m = medir(e.Texto);
        e.Ancho = m.Ancho;
        dibujo.AltoTexto = m.Alto;
        dibujo.Etiquetas.push_back(std::move(e));
    }
    const auto& et = dibujo.Etiquetas;
    for (size_t i = 1; i < et.size(); ++i) {
        const double de = et[i - 1].Pos, a = et[i].Pos;
        for (int j = 1; j <= eje.MinorTickCount; ++j)
            dibujo.MarcasMenores.push_back(
                static_cast<int>(std::nearbyint(de + (a - de) * j / (eje.MinorTickCount + 1))));
    }
}

std::vector<TPuntoPixel> TModeloGrafico::ComponerLinea(const TFastLineSeries& serie) const {
    const std::vector<double>& xs = serie.XValues.Datos();
    const std::vector<double>& ys = serie.YValues.Datos();
    size_t primero = 0, ultimo = xs.size();
    while (primero < ultimo && xs[primero] < BottomAxis.MinimoActual) ++primero;
    while (ultimo > primero && xs[ultimo - 1] > BottomAxis.MaximoActual) --ultimo;
    std::vector<TPuntoPixel> puntos;
    if (primero == ultimo) return puntos;

    auto pixel = [&](size_t i) {
        return TPuntoPixel{BottomAxis.CalcPosValor(xs[i]), LeftAxis.CalcPosValor(ys[i])};
    };
    // A line that enters from the left starts at the point before the first visible one.
    if (primero > 0) puntos.push_back(pixel(primero - 1));
    puntos.push_back(pixel(primero));
    // Points that share a pixel column draw vertical segments over one another: their union is
    // the span from the lowest to the highest, so a run in one column keeps only its entry,
    // its two extremes and its exit. Long runs of noisy data then cost a few segments per
    // column instead of one per point, and cover the same pixels.
    size_t inicioColumna = puntos.size() - 1;
    const auto cerrarColumna = [&] {
        const size_t n = puntos.size() - inicioColumna;
        if (n <= 4) return;
        const auto [bajo, alto] = std::minmax_element(
            puntos.begin() + static_cast<std::ptrdiff_t>(inicioColumna), puntos.end(),
            [](const TPuntoPixel& a, const TPuntoPixel& b) { return a.Y < b.Y; });
        const TPuntoPixel entrada = puntos[inicioColumna], medio1 = *bajo, medio2 = *alto,
                          salida = puntos.back();
        puntos.resize(inicioColumna);
        for (const TPuntoPixel& q : {entrada, medio1, medio2, salida})
            if (puntos.size() == inicioColumna || !(q == puntos.back())) puntos.push_back(q);
    };
    for (size_t i = primero + 1; i < ultimo; ++i) {
        const TPuntoPixel p = pixel(i);
        if (p == puntos.back()) continue; // nothing new on the last pixel
        if (p.X != puntos.back().X) {
            cerrarColumna();
            inicioColumna = puntos.size();
        }
        puntos.push_back(p);
    }
    cerrarColumna();
    return puntos;
}
