// SPDX-License-Identifier: GPL-3.0-or-later
// The field measurement's cost on sparse and dense fields: 200 and 1800 Moffat stars (beta 3.5,
// FWHM 3 px) over the same frame, loaded once. A dense field should cost little more than a
// sparse one: the medians need a bounded sample of its stars, not all of them.
#include "Campo.h"
#include "FotosEnDisco.h"
#include "Simulacion.h"
#include "UTPlaca.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

namespace {

TFotosEnDisco::TGenerador Campo(int estrellas) {
    return [estrellas](int64_t ancho, int64_t alto) {
        std::mt19937_64 azar(1);
        TEscena escena = CrearEscena(int(ancho), int(alto), estrellas, 1.274, azar);
        escena.perfil = TPerfil::Moffat;
        escena.beta = 3.5;
        return ExponerCampo(escena, TFoco{1.274, 1.274, 0}, azar);
    };
}
TFotosEnDisco ralo(Campo(200)), denso(Campo(1800));

void BM_MedirCampo(benchmark::State& state, TFotosEnDisco* fotos, int64_t ancho, int64_t alto) {
    TPlaca placa;
    if (!placa.LeerFits(fotos->Ruta(ancho, alto))) {
        state.SkipWithError(Mensaje.c_str());
        return;
    }
    size_t usadas = 0;
    for (auto _ : state) {
        usadas = MedirCampo(placa).Estrellas.size();
        benchmark::DoNotOptimize(usadas);
    }
    state.counters["estrellas"] = static_cast<double>(usadas);
}

BENCHMARK_CAPTURE(BM_MedirCampo, 1920x1080/200, &ralo, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MedirCampo, 1920x1080/1800, &denso, 1920, 1080)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MedirCampo, 6000x4000/200, &ralo, 6000, 4000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MedirCampo, 6000x4000/1800, &denso, 6000, 4000)->Unit(benchmark::kMillisecond);

} // namespace
