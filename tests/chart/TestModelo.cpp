// SPDX-License-Identifier: GPL-3.0-or-later
// The chart control's rules: insertion, statistics, limits, range, step, labels, mapping,
// layout and the fast line, with a fixed-size font standing in for the real one.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ModeloGrafico.h"

namespace {

// Every character 6 pixels wide, every text 13 high.
TMedidaTexto Medir(const std::string& s) {
    return {6 * static_cast<int>(s.size()), 13};
}

// A vertical axis from minimo to maximo, largo pixels long.
TCustomChartAxis EjeManual(double minimo, double maximo, int largo, double incremento = 0) {
    TCustomChartAxis eje(false);
    eje.SetAutomatic(false);
    if (maximo < eje.Minimum()) eje.SetMinimum(minimo);
    eje.SetMaximum(maximo);
    eje.SetMinimum(minimo);
    eje.Increment = incremento;
    eje.CalcularRango({});
    eje.FijarPosiciones(0, largo);
    return eje;
}

} // namespace

TEST(SerieGrafico, AscendingXInsertsAfterEqualValues) {
    TFastLineSeries s;
    EXPECT_EQ(s.AddXY(0, 10, clRed), 0);
    EXPECT_EQ(s.AddXY(1, 11, clRed), 1);
    EXPECT_EQ(s.AddXY(2, 12, clRed), 2);
    EXPECT_EQ(s.AddXY(1, 99, clGreen), 2); // after the existing x = 1
    EXPECT_EQ(s.AddXY(-1, 5, clBlack), 0); // below everything: at the front
    ASSERT_EQ(s.Count(), 5);
    const double xs[] = {-1, 0, 1, 1, 2}, ys[] = {5, 10, 11, 99, 12};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.XValues[i], xs[i]);
        EXPECT_EQ(s.YValues[i], ys[i]);
    }
    EXPECT_EQ(s.ValueColor(3), clGreen);
    EXPECT_EQ(s.ValueColor(0), clBlack);
    EXPECT_THROW(s.XValues[5], std::runtime_error);
}

TEST(SerieGrafico, StatisticsEmptyCachedAndStale) {
    TFastLineSeries s;
    int cambios = 0;
    s.AlCambiar = [&] { ++cambios; };
    EXPECT_EQ(s.MinYValue(), 0);
    EXPECT_EQ(s.MaxYValue(), 0);
    for (double y : {3.0, 1.0, 4.0, 1.0, 5.0}) s.AddXY(s.Count(), y, clRed);
    EXPECT_EQ(s.MinYValue(), 1);
    EXPECT_EQ(s.MaxYValue(), 5);
    EXPECT_EQ(s.XValues.MinValue(), 0);
    EXPECT_EQ(s.XValues.MaxValue(), 4);
    s.AddXY(5, -2, clRed); // a change after a query must be seen
    EXPECT_EQ(s.MinYValue(), -2);
    s.AddXY(6, 7, clRed);
    EXPECT_EQ(s.MaxYValue(), 7);
    s.AddXY(-1, -9, clRed); // inserted in front: scanned again
    EXPECT_EQ(s.MinYValue(), -9);
    EXPECT_EQ(s.XValues.MinValue(), -1);
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.MinYValue(), 0);
    EXPECT_EQ(s.XValues.MaxValue(), 0);
    EXPECT_EQ(cambios, 9); // every change asks for a repaint
}

TEST(SerieGrafico, TheLineIsDrawnInTheSeriesColour) {
    TFastLineSeries s;
    int cambios = 0;
    s.AlCambiar = [&] { ++cambios; };
    s.SetSeriesColor(clGreen);
    s.SetLinePenWidth(2);
    EXPECT_EQ(s.LinePen().Color, clGreen);
    EXPECT_EQ(s.LinePen().Width, 2);
    EXPECT_EQ(cambios, 2); // both show at the next repaint
}

TEST(EjeGrafico, RefusedLimitsKeepTheOldValue) {
    TCustomChartAxis eje(false);
    eje.SetMaximum(100);
    eje.SetMinimum(10);
    try {
        eje.SetMaximum(5);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Axis Maximum Value must be >= Minimum");
    }
    try {
        eje.SetMinimum(101);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Axis Minimum Value must be <= Maximum");
    }
    EXPECT_EQ(eje.Maximum(), 100);
    EXPECT_EQ(eje.Minimum(), 10);
    eje.SetMaximum(10); // equal limits are accepted
    eje.SetMinimum(10);
    EXPECT_EQ(eje.Maximum(), 10);
}

TEST(EjeGrafico, RangeFromLimitsOrQualifyingSeries) {
    TFastLineSeries a, vacia, inactiva;
    a.AddXY(3, 2, clRed);
    a.AddXY(4, 9, clRed);
    inactiva.AddXY(0, -50, clRed);
    inactiva.Active = false;
    TCustomChartAxis eje(false), inferior(true);
    eje.CalcularRango({&vacia});
    EXPECT_EQ(eje.MinimoActual, 0);
    EXPECT_EQ(eje.MaximoActual, 0);
    eje.CalcularRango({&vacia, &a, &inactiva});
    inferior.CalcularRango({&a});
    EXPECT_EQ(eje.MinimoActual, 2);
    EXPECT_EQ(eje.MaximoActual, 9);
    EXPECT_EQ(eje.Rango, 7);
    EXPECT_EQ(inferior.MinimoActual, 3);
    EXPECT_EQ(inferior.MaximoActual, 4);

    eje.SetAutomatic(false);
    eje.SetMaximum(100000);
    eje.SetMinimum(0);
    eje.CalcularRango({&a});
    EXPECT_EQ(eje.MinimoActual, 0);
    EXPECT_EQ(eje.MaximoActual, 100000);
    eje.AutomaticMaximum = true; // one end may follow the data alone
    eje.CalcularRango({&a});
    EXPECT_EQ(eje.MaximoActual, 9);
}

TEST(EjeGrafico, NextStepSequence) {
    const double pasos[] = {0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200};
    for (size_t i = 0; i + 1 < std::size(pasos); ++i)
        EXPECT_DOUBLE_EQ(SiguientePaso(pasos[i]), pasos[i + 1]) << pasos[i];
    EXPECT_EQ(SiguientePaso(1.5), 2);
    EXPECT_EQ(SiguientePaso(3), 5);
    EXPECT_EQ(SiguientePaso(7), 10);
    EXPECT_DOUBLE_EQ(SiguientePaso(1e-12), 2e-12);
    EXPECT_DOUBLE_EQ(SiguientePaso(30000), 50000);
}

struct CasoPaso {
    double minimo, maximo;
    int largo;
    double incremento;
    int separacion;
    double paso;
};

TEST(EjeGrafico, LabelStep) {
    const CasoPaso casos[] = {
        // 7 labels of 13 + 1 pixels fit in 100: 1, 2, 5 ... up to 20000
        {0, 100000, 100, 0, 10, 20000},
        {0, 3, 100, 0.2, 10, 0.5},    // 3 / 0.2 = 15 is too many, 3 / 0.5 = 6 fits
        {0, 1, 100, 0.2, 10, 0.2},    // 5 fit already
        {0, 0.5, 100, 0, 10, 0.1},    // a range below 1 starts at 1e-12
        {0, 100000, 6, 0, 10, 1e-12}, // not one label fits
        {0, 8, 110, 0, 10, 1},        // 110 / 14 = 7.86: 8 fit
        {0, 8, 104, 0, 10, 2},        // 104 / 14 = 7.43: 7 fit
        {0, 7, 91, 0, 10, 2},         // 91 / 14 = 6.5: 6 fit, a half going to even
        {0, 7, 100, 0, 20, 2},        // 13 + nearest(2.6) = 16, 100 / 16 = 6.25: 6 fit
        {0, 100000, 100, 0, 0, 1},    // no separation: the step stays where it started
        {-30, -10, 100, 0, 10, 5},    // 20 / 5 = 4
        {7, 7, 100, 0.2, 10, 0.2},
    };
    for (const CasoPaso& c : casos) {
        TCustomChartAxis eje = EjeManual(c.minimo, c.maximo, c.largo, c.incremento);
        eje.LabelsSeparation = c.separacion;
        EXPECT_DOUBLE_EQ(eje.PasoEtiquetas(Medir), c.paso)
            << c.minimo << ".." << c.maximo << " over " << c.largo;
    }
    // Texts without height: one label fits.
    TCustomChartAxis eje = EjeManual(0, 100000, 100);
    EXPECT_EQ(eje.PasoEtiquetas([](const std::string&) { return TMedidaTexto{}; }), 100000);
}

struct CasoEtiquetas {
    double minimo, maximo, paso;
    std::vector<double> valores;
};

TEST(EjeGrafico, LabelValuesFromTheTopDown) {
    const CasoEtiquetas casos[] = {
        {0, 100000, 20000, {100000, 80000, 60000, 40000, 20000, 0}},
        {29900, 32100, 500, {32000, 31500, 31000, 30500, 30000}},
        {-3.7, -0.3, 1, {-1, -2, -3}}, // trunc(-0.3) is 0, above the maximum
        {0.05, 0.95, 0.2, {0.8, 0.6, 0.4, 0.2}},
        {5, 5, 1, {5}},  // equal limits: the only candidate
        {0, 1e9, 1, {}}, // 10000 labels or more: none
        {10, 0, 1, {}},  // maximum below the minimum
    };
    for (const CasoEtiquetas& c : casos) {
        TCustomChartAxis eje(false);
        eje.AutomaticMinimum = eje.AutomaticMaximum = false;
        eje.SetAutomatic(false);
        eje.CalcularRango({});
        eje.MinimoActual = c.minimo; // the working values, as a repaint leaves them
        eje.MaximoActual = c.maximo;
        eje.Rango = c.maximo - c.minimo;
        const std::vector<double> v = eje.ValoresEtiquetas(c.paso);
        ASSERT_EQ(v.size(), c.valores.size()) << c.minimo << ".." << c.maximo;
        for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], c.valores[i], 1e-9);
    }
    TCustomChartAxis eje = EjeManual(0.05, 0.95, 100);
    eje.RoundFirstLabel = false; // then the first label is the maximum itself
    const std::vector<double> v = eje.ValoresEtiquetas(0.2);
    ASSERT_EQ(v.size(), 5u);
    EXPECT_DOUBLE_EQ(v.front(), 0.95);
    EXPECT_NEAR(v.back(), 0.15, 1e-12);
}

TEST(EjeGrafico, ValueToPixel) {
    TCustomChartAxis eje = EjeManual(0, 100, 100);
    eje.FijarPosiciones(10, 110);
    EXPECT_EQ(eje.CalcPosValor(100), 10); // larger values higher up
    EXPECT_EQ(eje.CalcPosValor(0), 110);
    EXPECT_EQ(eje.CalcPosValor(25.5), 84); // 25.5 px rounds half to even
    EXPECT_EQ(eje.CalcPosValor(1e300), eje.PosCentro);
    EXPECT_EQ(eje.CalcPosValor(std::nan("")), eje.PosCentro);
    EXPECT_EQ(eje.CalcPosValor(-1e6), 1000110); // far off the axis, still on its side

    TCustomChartAxis inferior(true);
    inferior.SetAutomatic(false);
    inferior.SetMaximum(10);
    inferior.CalcularRango({});
    inferior.FijarPosiciones(20, 120);
    EXPECT_EQ(inferior.CalcPosValor(10), 120);
    EXPECT_EQ(inferior.CalcPosValor(0), 20);

    TCustomChartAxis igual = EjeManual(5, 5, 100); // no range: everything at the centre
    for (double v : {5.0, 0.0, 1e9}) EXPECT_EQ(igual.CalcPosValor(v), 50);
    EXPECT_EQ(igual.ValoresEtiquetas(igual.PasoEtiquetas(Medir)), std::vector<double>{5});
}

namespace {

// Chart1 of the focus display: margins 3, 10, 5, 10 of 285 x 121, bottom axis hidden.
void PrepararComoHistorial(TModeloGrafico& g) {
    g.MarginTop = 10;
    g.MarginBottom = 10;
    g.MarginRight = 5;
    g.BottomAxis.Visible = false;
    g.AddSeries();
    g.AddSeries();
    g.LeftAxis.SetAutomatic(false);
    g.LeftAxis.SetMaximum(100000);
    g.LeftAxis.SetMinimum(0);
}

} // namespace

TEST(ModeloGrafico, LayoutOfTheFocusCharts) {
    TModeloGrafico g;
    PrepararComoHistorial(g);
    TDibujoGrafico d = g.Componer(285, 121, Medir);
    // 9 px left margin, then "100,000" (42) + a blank (6) + axis line and tick (5).
    EXPECT_EQ(d.Area.Left, 9 + 42 + 6 + 5);
    EXPECT_EQ(d.Area.Top, 12);
    EXPECT_EQ(d.Area.Right, 285 - 14);
    EXPECT_EQ(d.Area.Bottom, 121 - 12);
    EXPECT_EQ(g.LeftAxis.Longitud(), 97);
    EXPECT_FALSE(d.Inferior.Visible);
    ASSERT_TRUE(d.Izquierdo.Visible);
    // 97 / 14 -> 7 labels fit: step 20000, six labels from the top down.
    ASSERT_EQ(d.Izquierdo.Etiquetas.size(), 6u);
    EXPECT_EQ(d.Izquierdo.Etiquetas.front().Texto, "100,000");
    EXPECT_EQ(d.Izquierdo.Etiquetas.front().Pos, 12);
    EXPECT_EQ(d.Izquierdo.Etiquetas[1].Pos, 109 - 78); // nearest(80000 * 97 / 100000)
    EXPECT_EQ(d.Izquierdo.Etiquetas.back().Texto, "0");
    EXPECT_EQ(d.Izquierdo.Etiquetas.back().Pos, 109);
    EXPECT_EQ(d.Izquierdo.MarcasMenores.size(), 5u * 3);
    EXPECT_EQ(d.Izquierdo.PosLinea, d.Area.Left - 1);
    EXPECT_LT(d.Izquierdo.PosTexto, d.Area.Left - 5); // texts clear of the ticks

    // Narrower labels leave more plot; a visible bottom axis takes a text and its ticks.
    g.LeftAxis.AxisValuesFormat = "0";
    g.LeftAxis.SetMaximum(10);
    g.BottomAxis.Visible = true;
    d = g.Componer(285, 121, Medir);
    EXPECT_EQ(d.Area.Left, 9 + 12 + 6 + 5);
    EXPECT_EQ(d.Area.Bottom, 109 - 13 - 5);
    EXPECT_TRUE(d.Inferior.Visible);
}

TEST(ModeloGrafico, FastLineSkipsPointsOnTheLastPixel) {
    TModeloGrafico g;
    PrepararComoHistorial(g);
    TFastLineSeries& s = g.Series(0);
    for (int i = 0; i <= 1000; ++i) s.AddXY(i, 50000, clRed);
    g.Series(1).AddXY(3, 50000, clGreen); // a lone point draws nothing but a move
    TDibujoGrafico d = g.Componer(285, 121, Medir);
    const int ancho = d.Area.Right - d.Area.Left;
    ASSERT_EQ(d.Lineas.size(), 2u);
    EXPECT_EQ(d.Lineas[0].size(), static_cast<size_t>(ancho + 1)); // one point per column
    EXPECT_EQ(d.Lineas[0].front(), (TPuntoPixel{d.Area.Left, 61}));
    EXPECT_EQ(d.Lineas[0].back(), (TPuntoPixel{d.Area.Right, 61}));
    EXPECT_EQ(d.Lineas[1].size(), 1u);
    g.Series(0).Active = false;
    d = g.Componer(285, 121, Medir);
    EXPECT_TRUE(d.Lineas[0].empty());
}

TEST(ModeloGrafico, ManyPointsInOneColumnKeepTheirSpan) {
    TModeloGrafico g;
    PrepararComoHistorial(g);
    TFastLineSeries& s = g.Series(0);
    // 10,000 noisy frames on a few hundred columns: a zigzag inside every column.
    for (int i = 0; i < 10000; ++i) s.AddXY(i, 20000 + (i * 7919 % 101) * 300, clRed);
    const TDibujoGrafico d = g.Componer(285, 121, Medir);
    const std::vector<TPuntoPixel>& l = d.Lineas[0];
    const int columnas = d.Area.Right - d.Area.Left + 1;
    EXPECT_LE(l.size(), static_cast<size_t>(4 * columnas));
    EXPECT_EQ(l.front().X, d.Area.Left);
    EXPECT_EQ(l.back(), (TPuntoPixel{g.BottomAxis.CalcPosValor(9999),
                                     g.LeftAxis.CalcPosValor(s.YValues[9999])}));
    // every column still spans from its lowest to its highest point
    for (int x = d.Area.Left; x <= d.Area.Right; x += 37) {
        int bajo = INT32_MAX, alto = INT32_MIN, bajoL = INT32_MAX, altoL = INT32_MIN;
        for (int i = 0; i < 10000; ++i)
            if (g.BottomAxis.CalcPosValor(i) == x) {
                bajo = std::min(bajo, g.LeftAxis.CalcPosValor(s.YValues[i]));
                alto = std::max(alto, g.LeftAxis.CalcPosValor(s.YValues[i]));
            }
        for (const TPuntoPixel& p : l)
            if (p.X == x) bajoL = std::min(bajoL, p.Y), altoL = std::max(altoL, p.Y);
        EXPECT_EQ(bajoL, bajo) << x;
        EXPECT_EQ(altoL, alto) << x;
    }
}

TEST(ModeloGrafico, LineEntersFromThePointBeforeTheFirstVisible) {
    TModeloGrafico g;
    PrepararComoHistorial(g);
    for (int i = 0; i <= 10; ++i) g.Series(0).AddXY(i, i * 10000, clRed);
    g.BottomAxis.SetAutomatic(false);
    g.BottomAxis.SetMaximum(8);
    g.BottomAxis.SetMinimum(5);
    const TDibujoGrafico d = g.Componer(285, 121, Medir);
    const std::vector<TPuntoPixel>& l = d.Lineas[0];
    ASSERT_EQ(l.size(), 5u); // x = 4 (outside), then 5 .. 8
    EXPECT_LT(l[0].X, d.Area.Left);
    EXPECT_EQ(l[1].X, d.Area.Left);
    EXPECT_EQ(l.back().X, d.Area.Right);
    EXPECT_EQ(l.back().Y, g.LeftAxis.CalcPosValor(80000));
}

TEST(ModeloGrafico, UnfitValuesNeitherHangNorFail) {
    TModeloGrafico g;
    PrepararComoHistorial(g);
    g.Series(0).AddXY(0, std::nan(""), clRed);
    g.Series(0).AddXY(1, 5, clRed);
    g.LeftAxis.SetMinimum(-1e308);
    g.LeftAxis.SetMaximum(1e308); // a range of infinity
    TDibujoGrafico d = g.Componer(285, 121, Medir);
    EXPECT_TRUE(d.Izquierdo.Etiquetas.empty());
    EXPECT_EQ(d.Lineas[0].front().Y, g.LeftAxis.PosCentro);

    // Far from zero a step of 1 vanishes in the rounding of the values.
    g.LeftAxis.SetMinimum(1e16 - 4);
    g.LeftAxis.SetMaximum(1e16);
    d = g.Componer(285, 121, Medir);
    EXPECT_LE(d.Izquierdo.Etiquetas.size(), 8u);

    d = g.Componer(0, 0, Medir); // a control of no size
    EXPECT_LE(d.Izquierdo.Etiquetas.size(), 1u);
    EXPECT_THROW(g.Series(2), std::runtime_error);
}
