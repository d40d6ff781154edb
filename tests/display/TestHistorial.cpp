// SPDX-License-Identifier: GPL-3.0-or-later
// The focus history display: creation, the display step, the averages, rescaling, the reset.
#include <gtest/gtest.h>

#include <QDir>
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
    std::vector<QLabel*> Verdes() { return {Label7, Label8, Label9}; }
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
// The range the left axis shows at the next repaint.
Limites RangoMostrado(TChart* c) {
    c->Componer(c->width(), c->height(),
                [](const std::string& s) { return TMedidaTexto{6 * int(s.size()), 13}; });
    return {c->LeftAxis.MinimoActual, c->LeftAxis.MaximoActual};
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

TEST(HistorialCreado, LayoutFontsAndColours) {
    THistorialPrueba h;
    struct {
        QWidget* w;
        int left, top;
        const char* texto; // nullptr for a chart
        int letra;
        QColor color;
    } const casos[] = {
        {h.Chart1, 13, 12, nullptr, 0, {}},
        {h.Chart2, 13, 142, nullptr, 0, {}},
        {h.Chart3, 13, 272, nullptr, 0, {}},
        {h.Label1, 308, 12, "Máximo", 16, h.palette().color(QPalette::WindowText)},
        {h.Label2, 308, 58, "0", 21, QColor(255, 0, 0)},
        {h.Label7, 308, 94, "0", 21, QColor(0, 128, 0)},
        {h.Label3, 308, 142, "FWHM", 16, h.palette().color(QPalette::WindowText)},
        {h.Label4, 308, 186, "0.00", 21, QColor(255, 0, 0)},
        {h.Label8, 308, 224, "0.00", 21, QColor(0, 128, 0)},
        {h.Label5, 308, 272, "HFD", 16, h.palette().color(QPalette::WindowText)},
        {h.Label6, 308, 318, "0.00", 21, QColor(255, 0, 0)},
        {h.Label9, 308, 354, "0.00", 21, QColor(0, 128, 0)},
    };
    for (const auto& c : casos) {
        EXPECT_EQ(c.w->pos(), QPoint(c.left, c.top)) << c.top;
        if (!c.texto) {
            EXPECT_EQ(c.w->size(), QSize(285, 121));
            continue;
        }
        const auto* l = static_cast<const QLabel*>(c.w);
        EXPECT_EQ(l->text(), QString::fromUtf8(c.texto));
        EXPECT_EQ(l->font().pixelSize(), c.letra);
        EXPECT_TRUE(l->font().families().contains("Comic Sans MS"));
        EXPECT_EQ(l->palette().color(QPalette::WindowText), c.color) << c.texto;
        EXPECT_EQ(l->size(), l->sizeHint()) << c.texto; // sized to the text
    }
}

TEST(HistorialCreado, AxesFollowTheDataUntilTheFirstReset) {
    THistorialPrueba h;
    h.MostrarMedidas(0, 500, 2.0f, 3.0);
    h.MostrarMedidas(1, 700, 2.0f, 3.0);
    EXPECT_EQ(RangoMostrado(h.Chart1).Minimo, 500); // not the widened limits
    EXPECT_EQ(RangoMostrado(h.Chart1).Maximo, 700);
}

TEST(HistorialCreado, ChartsSetUp) {
    THistorialPrueba h;
    const struct {
        TChart* c;
        const char* formato;
        double incremento;
    } casos[] = {
        {h.Chart1, "#,##0.###", 0}, {h.Chart2, "#,##0.0", 0.2}, {h.Chart3, "#,##0.0", 0.2}};
    for (const auto& k : casos) {
        TChart& c = *k.c;
        EXPECT_FALSE(c.BottomAxis.Visible);
        EXPECT_TRUE(c.LeftAxis.Visible);
        EXPECT_EQ(c.MarginTop, 10);
        EXPECT_EQ(c.MarginBottom, 10);
        EXPECT_EQ(c.MarginRight, 5);
        EXPECT_EQ(c.MarginLeft, 3);
        EXPECT_TRUE(c.BackWall.Brush.Clear);
        EXPECT_EQ(c.BackWall.Brush.Color, clWhite);
        EXPECT_EQ(c.LeftAxis.AxisValuesFormat, k.formato);
        EXPECT_EQ(c.LeftAxis.Increment, k.incremento);
        ASSERT_EQ(c.SeriesCount(), 2);
        EXPECT_EQ(c.Series(0).LinePen().Color, ColorRGB(255, 0, 0));
        EXPECT_EQ(c.Series(0).LinePen().Width, 1);
        EXPECT_EQ(c.Series(1).LinePen().Color, ColorRGB(0, 128, 0));
        EXPECT_EQ(c.Series(1).LinePen().Width, 2);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(c.Series(i).XValues.Order, TChartListOrder::loAscending);
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
