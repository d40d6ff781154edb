// SPDX-License-Identifier: GPL-3.0-or-later
// What the chart widget paints, read back from its pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <cmath>
#include <cstdlib>

#include "Grafico.h"

namespace {

// A chart set up like the focus display's: 0 to 100000, bottom axis hidden.
void Preparar(TChart& c) {
    c.resize(285, 121);
    c.MarginTop = 10;
    c.MarginBottom = 10;
    c.MarginRight = 5;
    c.BottomAxis.Visible = false;
    c.BackWall.Brush.Clear = true;
    c.AddSeries().SetSeriesColor(clRed);
    TFastLineSeries& media = c.AddSeries();
    media.SetSeriesColor(clGreen);
    media.SetLinePenWidth(2);
    c.LeftAxis.SetAutomatic(false);
    c.LeftAxis.SetMaximum(100000);
    c.LeftAxis.SetMinimum(0);
}

bool Oscuro(QRgb p) {
    return qGray(p) < 128;
}

// Whether a pixel of that colour lies within one pixel of (x, y).
bool ColorCerca(const QImage& img, int x, int y, QRgb color) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (img.valid(x + dx, y + dy) && (img.pixel(x + dx, y + dy) & 0xFFFFFF) == color)
                return true;
    return false;
}

} // namespace

TEST(Grafico, PaintsLinesAndLabelsWhereTheRulesPutThem) {
    TChart c;
    Preparar(c);
    const int n = 21;
    auto curva = [](int i) { return 20000.0 + 3000.0 * std::abs(i - 10); }; // a focus V
    for (int i = 0; i < n; ++i) c.Series(0).AddXY(i, curva(i), clRed);
    for (int i = 2; i < n - 2; ++i) c.Series(1).AddXY(i, curva(i) + 1200, clGreen);
    const QImage img = c.grab().toImage();
    ASSERT_EQ(img.width(), 285);

    const int top = 12, bottom = 109, right = 271; // margins 10 %, 10 %, 5 %
    // The axis line: the column that is black from the top of the plot to its bottom.
    int eje = -1;
    for (int x = 0; x < 150 && eje < 0; ++x) {
        int negros = 0;
        for (int y = top; y <= bottom; ++y) negros += (img.pixel(x, y) & 0xFFFFFF) == 0;
        if (negros > bottom - top) eje = x;
    }
    ASSERT_GT(eje, 20) << "no axis line, or no room for the labels";
    const int left = eje + 1;
    auto fila = [&](double v) { return bottom - static_cast<int>(std::nearbyint(v * 97 / 1e5)); };
    auto columna = [&](double x) {
        return left + static_cast<int>(std::nearbyint(x * (right - left) / (n - 1)));
    };

    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(ColorCerca(img, columna(i), fila(curva(i)), 0xFF0000)) << "raw point " << i;
    for (int i = 2; i < n - 2; ++i)
        EXPECT_TRUE(ColorCerca(img, columna(i), fila(curva(i) + 1200), 0x008000))
            << "average point " << i;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == 0xFF0000) {
                EXPECT_TRUE(x >= left && x <= right && y >= top && y <= bottom) << x << "," << y;
            }

    // Texts 11 to 15 pixels high fit 6 to 8 labels on 97 pixels: the step is 20000.
    const int alto = QFontMetrics(c.font()).height();
    ASSERT_GE(alto, 11);
    ASSERT_LE(alto, 15);
    auto hayTexto = [&](int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = 0; x < eje - 5; ++x)
                if (Oscuro(img.pixel(x, y))) return true;
        return false;
    };
    for (int v = 0; v <= 100000; v += 20000) {
        EXPECT_TRUE(hayTexto(fila(v) - 3, fila(v) + 3)) << "label " << v;
        if (v > 0) {
            const int medio = (fila(v) + fila(v - 20000)) / 2;
            EXPECT_FALSE(hayTexto(medio - 1, medio + 1)) << "between labels " << v;
        }
    }
}

namespace {

struct TChartContado : TChart {
    int Pintadas = 0;
    void paintEvent(QPaintEvent* e) override {
        ++Pintadas;
        TChart::paintEvent(e);
    }
};

} // namespace

TEST(Grafico, RepaintIsDeferredAndCoalesced) {
    TChartContado c;
    Preparar(c);
    c.show();
    QApplication::processEvents();
    const int antes = c.Pintadas;
    for (int i = 0; i < 200; ++i) c.Series(0).AddXY(i, i * 100, clRed);
    c.LeftAxis.SetMaximum(30000);
    EXPECT_EQ(c.Pintadas, antes); // nothing painted inside the calls
    QApplication::processEvents();
    EXPECT_GE(c.Pintadas, antes + 1);
    EXPECT_LE(c.Pintadas, antes + 2);
}

TEST(Grafico, UnfitStateShowsWithoutFailing) {
    TChart c;
    Preparar(c);
    c.Series(0).AddXY(0, std::nan(""), clRed);
    c.Series(0).AddXY(1, 1e300, clRed);
    c.LeftAxis.SetMinimum(-1e308);
    c.LeftAxis.SetMaximum(1e308);
    EXPECT_FALSE(c.grab().isNull());
    c.resize(3, 2);
    EXPECT_FALSE(c.grab().isNull());
}
