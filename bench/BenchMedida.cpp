// SPDX-License-Identifier: GPL-3.0-or-later
// Star measurement speed: the Gaussian fit alone, and the whole per-frame measurement next to
// the load it follows.
#include "AjusteGauss.h"
#include "Estrella.h"
#include "FotosEnDisco.h"
#include "Medida.h"
#include "UTPlaca.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// A sky with one star (sigma 2.2, off pixel centres, away from the middle). The large frames get a
// quiet sky: the first pass weighs every pixel's difference from the background, and over millions
// of pixels a noisy sky outweighs the star and the box misses it.
TFotosEnDisco estrellas([](int64_t ancho, int64_t alto) {
    return ExponerEstrellaEnCielo(ancho, alto,
                                  {ancho * 0.61 + 0.37, alto * 0.43 + 0.81, 2.2, 40000, 1200,
                                   ancho * alto > 100000 ? 1.0 : 15.0, 5});
});

void Cargar(TPlaca& placa, const std::string& ruta, benchmark::State& state) {
    if (!placa.LeerFits(ruta)) state.SkipWithError(Mensaje.c_str());
}

// The fit on the caller's largest box, 25 x 25, around the star of a small frame.
void BM_AjustarGauss(benchmark::State& state) {
    TPlaca placa;
    Cargar(placa, estrellas.Ruta(64, 48), state);
    const int32_t cx = 39, cy = 21; // nearest to the star's centre
    int64_t evaluaciones = 0, conExp = 0, barridos = 0;
    for (auto _ : state) {
        TAjusteGauss ajuste(cx, cy, 12, 60000);
        ajuste.Ajustar(Imagen);
        evaluaciones = ajuste.Evaluaciones;
        conExp = ajuste.ModelosConExp;
        barridos = ajuste.Barridos;
        benchmark::DoNotOptimize(ajuste.Actual);
    }
    state.counters["evaluaciones"] = static_cast<double>(evaluaciones);
    state.counters["con_exp"] = static_cast<double>(conExp);
    state.counters["barridos"] = static_cast<double>(barridos);
}
BENCHMARK(BM_AjustarGauss)->Unit(benchmark::kMicrosecond);

void BM_Cargar(benchmark::State& state, int64_t ancho, int64_t alto) {
    const std::string& ruta = estrellas.Ruta(ancho, alto);
    for (auto _ : state) {
        TPlaca placa;
        Cargar(placa, ruta, state);
        benchmark::DoNotOptimize(Imagen.Datos());
    }
}

// The measurement alone, on a frame loaded once.
void BM_Medir(benchmark::State& state, int64_t ancho, int64_t alto) {
    TPlaca placa;
    Cargar(placa, estrellas.Ruta(ancho, alto), state);
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
    for (auto _ : state) benchmark::DoNotOptimize(MedirEstrella(placa, ordenada, acumulada));
}

// What the processing loop does per frame.
void BM_CargarYMedir(benchmark::State& state, int64_t ancho, int64_t alto) {
    const std::string& ruta = estrellas.Ruta(ancho, alto);
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
    for (auto _ : state) {
        TPlaca placa;
        Cargar(placa, ruta, state);
        benchmark::DoNotOptimize(MedirEstrella(placa, ordenada, acumulada));
    }
}

BENCHMARK_CAPTURE(BM_Cargar, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Medir, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CargarYMedir, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Cargar, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Medir, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CargarYMedir, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Cargar, 9576x6388, 9576, 6388)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Medir, 9576x6388, 9576, 6388)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CargarYMedir, 9576x6388, 9576, 6388)->Unit(benchmark::kMillisecond);

} // namespace
