// SPDX-License-Identifier: GPL-3.0-or-later
// The focus display's cost per frame: MostrarMedidas plus one repaint of the three charts,
// by the number of points per series. Run with QT_QPA_PLATFORM=offscreen (set when absent).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>

#include "HistorialFoco.h"

namespace {

void AsegurarAplicacion() {
    static int argc = 1;
    static char nombre[] = "quorvel_bench";
    static char* argv[] = {nombre, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

struct THistorialBench : THistorialFoco {
    QImage Imagen{285, 121, QImage::Format_RGB32};

    double Ruido = 1; // 1: a steady focuser; 20: seeing that scatters every figure widely

    // One frame of a focus run through best focus at frame 5000.
    void Frame(int32_t i) {
        const double d = std::abs(i - 5000) / 100.0, ruido = Ruido * std::sin(i * 1.7);
        MostrarMedidas(i, static_cast<int32_t>(52000 - 900 * d + 900 * ruido),
                       static_cast<float>(2.1 + 0.06 * d + 0.08 * ruido),
                       2.6 + 0.08 * d + 0.1 * ruido);
    }
    void Repintar() {
        for (TChart* c : {Chart1, Chart2, Chart3}) {
            c->render(&Imagen);
            benchmark::DoNotOptimize(Imagen.constBits());
        }
    }
};

// The series hold n points; the timed frames add a few more (at most 5 %).
void BM_MostrarMedidasYRepintar(benchmark::State& state) {
    AsegurarAplicacion();
    THistorialBench h;
    h.PuestaACero();
    const auto n = static_cast<int32_t>(state.range(0));
    for (int32_t i = 0; i < n; ++i) h.Frame(i);
    int32_t i = n;
    for (auto _ : state) {
        h.Frame(i++);
        h.Repintar();
    }
}

void BM_MostrarMedidas(benchmark::State& state) {
    AsegurarAplicacion();
    THistorialBench h;
    h.PuestaACero();
    const auto n = static_cast<int32_t>(state.range(0));
    for (int32_t i = 0; i < n; ++i) h.Frame(i);
    int32_t i = n;
    for (auto _ : state) h.Frame(i++);
}

void BM_Repintar(benchmark::State& state) {
    AsegurarAplicacion();
    THistorialBench h;
    h.Ruido = static_cast<double>(state.range(1));
    h.PuestaACero();
    for (int32_t i = 0; i < state.range(0); ++i) h.Frame(i);
    for (auto _ : state) h.Repintar();
}

} // namespace

// Iterations are a twentieth of the size, so the series barely grow while timed; the small
// case is repeated to steady its figure.
BENCHMARK(BM_MostrarMedidasYRepintar)
    ->Arg(100)
    ->Iterations(5)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MostrarMedidasYRepintar)->Arg(1000)->Iterations(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MostrarMedidasYRepintar)->Arg(10000)->Iterations(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MostrarMedidas)
    ->Arg(100)
    ->Iterations(5)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MostrarMedidas)->Arg(10000)->Iterations(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repintar)
    ->ArgsProduct({{100, 1000, 10000}, {1, 20}})
    ->ArgNames({"puntos", "ruido"})
    ->Unit(benchmark::kMicrosecond);
