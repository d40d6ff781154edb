// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Value lists and the fast line series of the chart control. Plain C++: the widget only
// reads this state when it paints.
#include <cstdint>
#include <functional>
#include <vector>

// A colour as 0xRRGGBB.
using TColor = uint32_t;
constexpr TColor ColorRGB(uint8_t r, uint8_t g, uint8_t b) {
    return (TColor(r) << 16) | (TColor(g) << 8) | TColor(b);
}
constexpr TColor clBlack = ColorRGB(0, 0, 0);
constexpr TColor clWhite = ColorRGB(255, 255, 255);
constexpr TColor clRed = ColorRGB(255, 0, 0);
constexpr TColor clGreen = ColorRGB(0, 128, 0);
constexpr TColor clGray = ColorRGB(128, 128, 128);
constexpr TColor clDkGray = ColorRGB(64, 64, 64);

enum class TChartListOrder { loNone, loAscending };

struct TChartPen {
    TColor Color = clBlack;
    int Width = 1;
    bool Visible = true;
    bool Dotted = false;
};

struct TChartBrush {
    TColor Color = clWhite;
    bool Clear = false; // not filled
};

// One coordinate of every point of a series. The minimum and maximum are cached: the display
// asks for them on every frame, and they are recomputed only after a change.
class TChartValueList {
public:
    explicit TChartValueList(TChartListOrder orden) : Order(orden) {}

    TChartListOrder Order;

    int32_t Count() const { return static_cast<int32_t>(Valores.size()); }
    double operator[](int32_t i) const;
    const std::vector<double>& Datos() const { return Valores; }
    double MinValue() const;
    double MaxValue() const;

private:
    friend class TFastLineSeries;
    void Insertar(int32_t i, double v);
    void Vaciar();
    void CalcularEstadisticas() const;
    // Widens the cached extremes to take v in.
    void Incluir(double v) const;

    std::vector<double> Valores;
    mutable bool Obsoletas = true;
    mutable double Minimo = 0, Maximo = 0;
};

// A plain polyline through its points, kept in ascending x order.
class TFastLineSeries {
public:
    TChartValueList XValues{TChartListOrder::loAscending};
    TChartValueList YValues{TChartListOrder::loNone};
    bool Active = true;

    // Called after every change, so that the owner can ask for a repaint.
    std::function<void()> AlCambiar;

    // Inserts after the last point whose x is not above the new x; returns its index.
    int32_t AddXY(double x, double y, TColor color);
    void Clear();

    int32_t Count() const { return XValues.Count(); }
    TColor ValueColor(int32_t i) const;

    double MinYValue() const { return YValues.MinValue(); }
    double MaxYValue() const { return YValues.MaxValue(); }

    // The line is drawn in the series colour.
    void SetSeriesColor(TColor c);
    const TChartPen& LinePen() const { return Lapiz; }
    void SetLinePenWidth(int ancho);

private:
    void Cambio() const {
        if (AlCambiar) AlCambiar();
    }

    std::vector<TColor> Colores;
    TChartPen Lapiz{clRed, 1, true, false};
};
