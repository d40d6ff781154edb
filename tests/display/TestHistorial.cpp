// SPDX-License-Identifier: GPL-3.0-or-later
// The focus history display: creation, the display step, the averages, rescaling, the reset.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "HistorialFoco.h"
#include "Numeros.h"

namespace {

struct THistorialPrueba : THistorialFoco {
    using THistorialFoco::Chart1, THistorialFoco::Chart2, THistorialFoco::Chart3;
    using THistorialFoco::Label1, THistorialFoco::Label2, THistorialFoco::Label3,
        THistorialFoco::Label4, THistorialFoco::Label5, THistorialFoco::Label6,
        THistorialFoco::Label7, THistorialFoco::Label8, THistorialFoco::Label9;
    int Vaciados = 0;
    void VaciarListaFotos() override { ++Vaciados; }
    std::vector<TChart*> Graficos() { return {Chart1, Chart2, Chart3}; }
};

std::string Texto(const QLabel* l) {
    return l->text().toStdString();
}

struct Limites {
    double Minimo, Maximo;
};
Limites LimitesDe(const TChart* c) {
    return {c->LeftAxis.Minimum(), c->LeftAxis.Maximum()};
}
// The chart as its next repaint lays it out, with the widget's own font.
TDibujoGrafico Componer(TChart* c) {
    const QFontMetrics metricas(c->font());
    return c->Componer(c->width(), c->height(), [&](const std::string& t) {
        return TMedidaTexto{metricas.horizontalAdvance(QString::fromLatin1(t.c_str())),
                            metricas.height()};
    });
}
// The range the left axis shows at the next repaint.
Limites RangoMostrado(TChart* c) {
    Componer(c);
    return {c->LeftAxis.MinimoActual, c->LeftAxis.MaximoActual};
}
std::vector<std::string> Etiquetas(TChart* c) {
    std::vector<std::string> textos;
    for (const TEtiquetaEje& e : Componer(c).Izquierdo.Etiquetas) textos.push_back(e.Texto);
    return textos;
}

class Historial : public ::testing::Test {
protected:
    void SetUp() override {
        SeparadoresUsuario = {};
        h.PuestaACero();
    }
    void TearDown() override { SeparadoresUsuario = {}; }

    // Frame i with figures that all differ from frame to frame.
    void Mostrar(int32_t i) { h.MostrarMedidas(i, 1000 + 10 * i, 2.0f + i, 3.0 + i); }

    void EsperarReset() {
        for (TChart* c : h.Graficos()) {
            EXPECT_EQ(c->Series(0).Count(), 0);
            EXPECT_EQ(c->Series(1).Count(), 0);
            EXPECT_EQ(RangoMostrado(c).Minimo, 0); // whatever the data
            EXPECT_EQ(RangoMostrado(c).Maximo, 100000);
        }
        EXPECT_EQ(Texto(h.Label2), "0");
        EXPECT_EQ(Texto(h.Label7), "0");
        for (QLabel* l : {h.Label4, h.Label6, h.Label8, h.Label9}) EXPECT_EQ(Texto(l), "0.00");
    }

    THistorialPrueba h;
};

} // namespace

// Three rows, one per figure: the chart, and beside it from its top down the figure's name, the
// raw readout in the raw line's colour and the average's readout in the average line's.
TEST(HistorialCreado, ThreeRowsOfChartAndReadouts) {
    THistorialPrueba h;
    const struct {
        TChart* grafico;
        QLabel *titulo, *bruta, *media;
        const char *nombre, *cero;
    } filas[] = {
        {h.Chart1, h.Label1, h.Label2, h.Label7, "Máximo", "0"},
        {h.Chart2, h.Label3, h.Label4, h.Label8, "FWHM", "0.00"},
        {h.Chart3, h.Label5, h.Label6, h.Label9, "HFD", "0.00"},
    };
    const QColor texto = h.palette().color(QPalette::WindowText);
    auto color = [](const QLabel* l) { return l->palette().color(QPalette::WindowText); };
    auto colorLinea = [](TChart* c, int serie) {
        return QColor::fromRgb(0xFF000000u | c->Series(serie).LinePen().Color);
    };
    EXPECT_EQ(colorLinea(h.Chart1, 0), QColor(255, 0, 0)); // raw in red
    EXPECT_EQ(colorLinea(h.Chart1, 1), QColor(0, 128, 0)); // average in green
    const QRect primero = h.Chart1->geometry();
    for (size_t i = 0; i < std::size(filas); ++i) {
        const auto& f = filas[i];
        const QRect g = f.grafico->geometry();
        SCOPED_TRACE(f.nombre);
        // The charts stand in one column, one under the other, all of one size.
        EXPECT_EQ(g.left(), primero.left());
        EXPECT_EQ(g.size(), primero.size());
        if (i > 0) {
            EXPECT_GT(g.top(), filas[i - 1].grafico->geometry().bottom());
        }
        // The labels in one column right of the charts, inside their chart's row, the name level
        // with the chart's top, no two overlapping.
        EXPECT_EQ(f.titulo->y(), g.top());
        EXPECT_LT(f.titulo->geometry().bottom(), f.bruta->y());
        EXPECT_LT(f.bruta->geometry().bottom(), f.media->y());
        EXPECT_LE(f.media->geometry().bottom(), g.bottom());
        for (const QLabel* l : {f.titulo, f.bruta, f.media}) {
            EXPECT_EQ(l->x(), h.Label1->x());
            EXPECT_GT(l->x(), g.right());
            EXPECT_TRUE(l->font().families().contains("Comic Sans MS"));
            EXPECT_EQ(l->size(), l->sizeHint()); // sized to the text
        }
        // The readouts larger than the names.
        EXPECT_GT(f.bruta->font().pixelSize(), f.titulo->font().pixelSize());
        EXPECT_EQ(f.media->font().pixelSize(), f.bruta->font().pixelSize());
        EXPECT_EQ(f.titulo->text(), QString::fromUtf8(f.nombre));
        EXPECT_EQ(Texto(f.bruta), f.cero);
        EXPECT_EQ(Texto(f.media), f.cero);
        EXPECT_EQ(color(f.titulo), texto);
        EXPECT_EQ(color(f.bruta), colorLinea(f.grafico, 0));
        EXPECT_EQ(color(f.media), colorLinea(f.grafico, 1));
    }
}

TEST(HistorialCreado, AxesFollowTheDataUntilTheFirstReset) {
    THistorialPrueba h;
    h.MostrarMedidas(0, 500, 2.0f, 3.0);
    h.MostrarMedidas(1, 700, 2.0f, 3.0);
    EXPECT_EQ(RangoMostrado(h.Chart1).Minimo, 500); // not the widened limits
    EXPECT_EQ(RangoMostrado(h.Chart1).Maximo, 700);
}

// What each chart shows: the left axis only, its labels in the figure's format and step, the
// average drawn thicker than the raw line, the plot unfilled on the window's background.
TEST_F(Historial, WhatTheChartsShow) {
    const std::vector<std::string> peak = {"100,000", "80,000", "60,000", "40,000", "20,000", "0"};
    EXPECT_EQ(Etiquetas(h.Chart1), peak); // thousands grouped
    h.MostrarMedidas(0, 30000, 2.0f, 2.0);
    h.MostrarMedidas(1, 32000, 3.0f, 3.0);
    // 1.95 to 3.05: a step of 0.2 and one decimal; 29,900 to 32,100: whole numbers.
    const std::vector<std::string> decimas = {"3.0", "2.8", "2.6", "2.4", "2.2", "2.0"};
    EXPECT_EQ(Etiquetas(h.Chart2), decimas);
    EXPECT_EQ(Etiquetas(h.Chart3), decimas);
    const std::vector<std::string> enteras = {"32,000", "31,500", "31,000", "30,500", "30,000"};
    EXPECT_EQ(Etiquetas(h.Chart1), enteras);

    h.PuestaACero();
    for (TChart* c : h.Graficos()) {
        const TDibujoGrafico d = Componer(c);
        EXPECT_FALSE(d.Inferior.Visible);
        ASSERT_TRUE(d.Izquierdo.Visible);
        ASSERT_GE(d.Izquierdo.Etiquetas.size(), 2u);
        EXPECT_GT(c->Series(1).LinePen().Width, c->Series(0).LinePen().Width);
        // Between two grid lines in the middle of the empty plot: the window's own colour.
        const int y = (d.Izquierdo.Etiquetas[0].Pos + d.Izquierdo.Etiquetas[1].Pos) / 2;
        const QImage img = c->grab().toImage();
        EXPECT_EQ(img.pixelColor((d.Area.Left + d.Area.Right) / 2, y),
                  c->palette().color(QPalette::Window));
    }
}

TEST_F(Historial, FirstFrameAfterReset) {
    h.MostrarMedidas(0, 30000, 2.5f, 3.25);
    const double y[] = {30000, 2.5, 3.25};
    for (int k = 0; k < 3; ++k) {
        const TFastLineSeries& s = h.Graficos()[k]->Series(0);
        ASSERT_EQ(s.Count(), 1);
        EXPECT_EQ(s.XValues[0], 0);
        EXPECT_EQ(s.YValues[0], y[k]);
        EXPECT_EQ(s.ValueColor(0), clRed);
        EXPECT_EQ(h.Graficos()[k]->Series(1).Count(), 0);
        EXPECT_EQ(LimitesDe(h.Graficos()[k]).Maximo, 100000); // margin 0: untouched
        EXPECT_EQ(LimitesDe(h.Graficos()[k]).Minimo, 0);
    }
    EXPECT_EQ(Texto(h.Label2), "30000");
    EXPECT_EQ(Texto(h.Label4), "2.50");
    EXPECT_EQ(Texto(h.Label6), "3.25");
    EXPECT_EQ(Texto(h.Label7), "0");
    EXPECT_EQ(Texto(h.Label8), "0.00");
    EXPECT_EQ(Texto(h.Label9), "0.00");
}

TEST_F(Historial, AxisWidensByATwentiethOfTheRawRange) {
    h.MostrarMedidas(0, 30000, 2.0f, 4.0);
    h.MostrarMedidas(1, 32000, 3.0f, 4.0);
    EXPECT_DOUBLE_EQ(LimitesDe(h.Chart1).Minimo, 29900);
    EXPECT_DOUBLE_EQ(LimitesDe(h.Chart1).Maximo, 32100);
    EXPECT_DOUBLE_EQ(LimitesDe(h.Chart2).Minimo, 1.95);
    EXPECT_DOUBLE_EQ(LimitesDe(h.Chart2).Maximo, 3.05);
    // A figure equal on every frame keeps its chart at 0 to 100000.
    for (int i = 2; i < 8; ++i) h.MostrarMedidas(i, 31000, 2.5f, 4.0);
    EXPECT_EQ(LimitesDe(h.Chart3).Minimo, 0);
    EXPECT_EQ(LimitesDe(h.Chart3).Maximo, 100000);
    // Only the raw series counts, and the range never shrinks.
    EXPECT_DOUBLE_EQ(LimitesDe(h.Chart1).Maximo, 32100);
    EXPECT_GT(h.Chart1->Series(1).Count(), 0);
}

TEST_F(Historial, AveragesFromTheFifthFrame) {
    for (int i = 0; i < 4; ++i) {
        Mostrar(i);
        for (TChart* c : h.Graficos()) EXPECT_EQ(c->Series(1).Count(), 0);
    }
    EXPECT_EQ(Texto(h.Label7), "0");
    EXPECT_EQ(Texto(h.Label8), "0.00");
    Mostrar(4); // entries 0..4: the mean of the middle one, at x = 2
    for (TChart* c : h.Graficos()) {
        ASSERT_EQ(c->Series(1).Count(), 1);
        EXPECT_EQ(c->Series(1).XValues[0], 2);
        EXPECT_EQ(c->Series(1).ValueColor(0), clGreen);
    }
    EXPECT_FLOAT_EQ(h.Chart1->Series(1).YValues[0], 1020);
    EXPECT_FLOAT_EQ(h.Chart2->Series(1).YValues[0], 4);
    EXPECT_FLOAT_EQ(h.Chart3->Series(1).YValues[0], 5);
    EXPECT_EQ(Texto(h.Label7), "1020");
    EXPECT_EQ(Texto(h.Label8), "4.00");
    EXPECT_EQ(Texto(h.Label9), "5.00");
    Mostrar(5); // the first value leaves: entries 1..5 at x = 3
    EXPECT_EQ(h.Chart3->Series(1).XValues[1], 3);
    EXPECT_FLOAT_EQ(h.Chart3->Series(1).YValues[1], 6);
    EXPECT_EQ(Texto(h.Label7), "1030");
}

TEST_F(Historial, PeakAverageReadoutIsRounded) {
    const struct {
        int32_t picos[5];
        float media;
        const char* texto;
    } casos[] = {{{100, 100, 101, 101, 101}, 100.6f, "101"},
                 {{100, 100, 100, 100, 101}, 100.2f, "100"},
                 {{0, 0, 0, 0, 2}, 0.4f, "0"}};
    for (const auto& c : casos) {
        h.PuestaACero();
        for (int i = 0; i < 5; ++i) h.MostrarMedidas(i, c.picos[i], 2.0f, 3.0);
        EXPECT_FLOAT_EQ(MediaMaximo.Media, c.media);
        EXPECT_EQ(Texto(h.Label7), c.texto);
    }
}

TEST_F(Historial, AFailedEntryLeavesAGapInX) {
    for (int i : {0, 1, 2, 3, 5}) Mostrar(i);
    for (TChart* c : h.Graficos()) {
        ASSERT_EQ(c->Series(1).Count(), 1);
        EXPECT_EQ(c->Series(1).XValues[0], 3);
    }
    EXPECT_FLOAT_EQ(h.Chart3->Series(1).YValues[0], (3 + 4 + 5 + 6 + 8) / 5.0f);
    EXPECT_EQ(h.Chart1->Series(0).XValues[4], 5);
}

TEST_F(Historial, ResetInTheMiddleOfARun) {
    for (int i = 0; i < 7; ++i) Mostrar(i);
    const int antes = h.Vaciados;
    h.PuestaACero();
    EsperarReset();
    EXPECT_EQ(h.Vaciados, antes + 1);
    for (int i = 0; i < 4; ++i) Mostrar(i);
    for (TChart* c : h.Graficos()) EXPECT_EQ(c->Series(1).Count(), 0);
    EXPECT_EQ(Texto(h.Label9), "0.00");
    Mostrar(4);
    EXPECT_EQ(h.Chart3->Series(1).Count(), 1);
    EXPECT_EQ(h.Chart3->Series(1).XValues[0], 2);
}

TEST_F(Historial, ResetAfterARunAboveTheResetRange) {
    // Every value above 100000: the axis ends above the reset's maximum, and the reset must
    // still take it back to 0 .. 100000.
    h.MostrarMedidas(0, 1000, 250000.0f, 3.0);
    h.MostrarMedidas(1, 1000, 260000.0f, 3.0);
    ASSERT_GT(LimitesDe(h.Chart2).Minimo, 100000);
    h.PuestaACero();
    EsperarReset();
}

TEST_F(Historial, UserDecimalSeparatorInReadoutsOnly) {
    SeparadoresUsuario.decimal = ',';
    SeparadoresUsuario.grupo = '.';
    h.MostrarMedidas(0, 1234, 2.345f, 4.5);
    EXPECT_EQ(Texto(h.Label4), "2,35");
    EXPECT_EQ(Texto(h.Label6), "4,50");
    EXPECT_EQ(Texto(h.Label2), "1234"); // integers are not grouped
    for (int i = 1; i < 5; ++i) h.MostrarMedidas(i, 1234, 2.345f, 4.5);
    EXPECT_EQ(Texto(h.Label8), "2,35");
    h.PuestaACero();
    EXPECT_EQ(Texto(h.Label4), "0.00");
    EXPECT_EQ(Texto(h.Label9), "0.00");
}

TEST_F(Historial, RescalingErrorEndsTheStepBeforeTheAverages) {
    // Two negative HFDs right after a reset: the new maximum falls below the minimum 0.
    h.MostrarMedidas(0, 1000, 2.0f, -3.0);
    EXPECT_THROW(h.MostrarMedidas(1, 1000, 2.0f, -2.0), std::runtime_error);
    EXPECT_EQ(h.Chart3->Series(0).Count(), 2);
    EXPECT_EQ(Texto(h.Label6), "-2.00");
    EXPECT_EQ(MediaHFD.Posicion, 1); // the averages did not advance for that frame
    EXPECT_EQ(MediaMaximo.Posicion, 1);
    EXPECT_EQ(LimitesDe(h.Chart3).Maximo, 100000);
}

TEST_F(Historial, PendingMessagesRunAtTheEndOfBothSteps) {
    int corridos = 0;
    QTimer::singleShot(0, [&] { ++corridos; });
    Mostrar(0);
    EXPECT_EQ(corridos, 1);
    QTimer::singleShot(0, [&] { ++corridos; });
    h.PuestaACero();
    EXPECT_EQ(corridos, 2);
}

TEST(MediaMovil, SinglePrecisionRunningSum) {
    TMediaMovil m{};
    // 2^24 + 1 is not a float: each addition of 1 is lost, as the rounded sum requires.
    for (float v : {16777216.0f, 1.0f, 1.0f, 1.0f}) {
        MediaMovil(m, v);
        EXPECT_FALSE(m.Lleno);
        EXPECT_EQ(m.Media, 0);
    }
    MediaMovil(m, 1.0f);
    EXPECT_TRUE(m.Lleno);
    EXPECT_EQ(m.Posicion, 0);
    EXPECT_EQ(m.Media, 3355443.25f); // 16777216 / 5, not 16777220 / 5
    MediaMovil(m, 6.0f);             // overwrites slot 0, the oldest
    EXPECT_EQ(m.Posicion, 1);
    EXPECT_FLOAT_EQ(m.Media, 2.0f);
}

TEST_F(Historial, ScreenshotOfAFocusRun) {
    h.resize(395, 480);
    // A focus run through best focus at frame 20, with a little deterministic noise.
    for (int i = 0; i < 40; ++i) {
        const double d = std::abs(i - 20), ruido = std::sin(i * 1.7);
        h.MostrarMedidas(i, static_cast<int32_t>(52000 - 1900 * d + 900 * ruido),
                         static_cast<float>(2.1 + 0.16 * d + 0.08 * ruido),
                         2.6 + 0.21 * d + 0.1 * ruido);
    }
    const QImage img = h.grab().toImage();
    ASSERT_EQ(img.size(), QSize(395, 480));
    const QString ruta = QDir(CARPETA_SALIDA).filePath("historial_foco.png");
    EXPECT_TRUE(img.save(ruta));
    // Each readout fits beside its chart, inside the window.
    for (QLabel* l : {h.Label1, h.Label2, h.Label4, h.Label6, h.Label7, h.Label8, h.Label9})
        EXPECT_LE(l->geometry().right(), 394) << l->text().toStdString();
}
