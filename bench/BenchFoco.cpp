// SPDX-License-Identifier: GPL-3.0-or-later
// The field mode's live focus answer: what one more frame costs, its refit over the whole run
// included, as the run grows.
#include "FocoEnVivo.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

// A run of n frames at steps of 25 across the best focus, the HFD of a cone of light with a
// scatter of 3 %; frame n is the one measured.
void BM_FocoEnVivoOtraFoto(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::mt19937_64 azar(28);
    std::normal_distribution<double> ruido(0, 0.03);
    const auto hfd = [&](double x) {
        const double u = (x - 12680) / 300;
        return 2.6 * std::sqrt(1 + u * u) * (1 + ruido(azar));
    };
    const double primera = 12680 - 25.0 * n / 2;
    TFocoEnVivo antes;
    for (int i = 0; i + 1 < n; ++i) {
        const double x = primera + 25 * i, w = hfd(x);
        antes.Anotar(TPosicionFoco{x, "FOCUSPOS"}, w, static_cast<float>(0.85 * w));
    }
    const double x = primera + 25 * (n - 1), w = hfd(x);
    for (auto _ : state) {
        state.PauseTiming();
        TFocoEnVivo f = antes;
        state.ResumeTiming();
        f.Anotar(TPosicionFoco{x, "FOCUSPOS"}, w, static_cast<float>(0.85 * w));
        benchmark::DoNotOptimize(f.Linea());
        benchmark::DoNotOptimize(f.Titulo());
    }
}
BENCHMARK(BM_FocoEnVivoOtraFoto)->Arg(20)->Arg(100)->Arg(300)->Unit(benchmark::kMicrosecond);

} // namespace
