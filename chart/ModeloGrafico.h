// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state of a chart control and the layout that turns it into what is drawn: plotting
// area, axis labels and ticks, and the series' polylines, all in pixels. Plain C++; the
// widget paints the result.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EjeGrafico.h"
#include "SerieGrafico.h"

struct TRectangulo {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

struct TPuntoPixel {
    int X = 0, Y = 0;
    bool operator==(const TPuntoPixel&) const = default;
};

struct TEtiquetaEje {
    double Valor = 0;
    std::string Texto;
    int Pos = 0;   // pixel along the axis
    int Ancho = 0; // of the text
};

struct TDibujoEje {
    bool Visible = false;
    int PosLinea = 0; // x of the left axis line, y of the bottom one
    int PosTexto = 0; // left axis: right edge of the texts; bottom axis: their top edge
    int AltoTexto = 0;
    std::vector<TEtiquetaEje> Etiquetas; // from the top (or right) down
    std::vector<int> MarcasMenores;
};

struct TDibujoGrafico {
    TRectangulo Area; // the plotting area; its edges are the axes' ends
    TDibujoEje Izquierdo, Inferior;
    std::vector<std::vector<TPuntoPixel>> Lineas; // one per series, in list order
};

// A flat chart: no title, legend or mouse zoom.
class TModeloGrafico {
public:
    TModeloGrafico();
    virtual ~TModeloGrafico() = default;
    TModeloGrafico(const TModeloGrafico&) = delete;
    TModeloGrafico& operator=(const TModeloGrafico&) = delete;

    // Percent of the control's width (left, right) or height (top, bottom).
    int MarginLeft = 3, MarginTop = 4, MarginRight = 3, MarginBottom = 4;
    struct {
        TChartBrush Brush;
        TChartPen Pen{clGray, 1, true, false};
    } BackWall;
    TCustomChartAxis LeftAxis{false};
    TCustomChartAxis BottomAxis{true};

    TFastLineSeries& AddSeries();
    // ErrorRango when there is no series at that position.
    TFastLineSeries& Series(int32_t i);
    int32_t SeriesCount() const { return static_cast<int32_t>(ListaSeries.size()); }

    // Recomputes the axes' working values for a control of that size and lays it out.
    TDibujoGrafico Componer(int ancho, int alto, const TMedidorTexto& medir);

protected:
    // Every change of a series or an axis limit asks for this.
    virtual void Repintar() {}

private:
    void ComponerEje(const TCustomChartAxis& eje, double paso, const TMedidorTexto& medir,
                     const TRectangulo& area, TDibujoEje& dibujo) const;
    std::vector<TPuntoPixel> ComponerLinea(const TFastLineSeries& serie) const;

    std::vector<std::unique_ptr<TFastLineSeries>> ListaSeries;
};
