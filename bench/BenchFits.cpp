// Frame loading speed: LeerFits next to cfitsio reading the same files from the page cache.
#include "FotosEnDisco.h"
#include "UTPlaca.h"

#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// A star-free sky with noise is all the loader cares about: every value differs.
TFotosEnDisco fotos([](int64_t ancho, int64_t alto) {
    std::mt19937 azar(1);
    std::vector<uint16_t> cuentas(static_cast<size_t>(ancho * alto));
    for (uint16_t& v : cuentas) v = static_cast<uint16_t>(1000 + azar() % 4096);
    return cuentas;
});

void BM_LeerFits(benchmark::State& state, int64_t ancho, int64_t alto) {
    const std::string& ruta = fotos.Ruta(ancho, alto);
    for (auto _ : state) {
        TPlaca placa;
        if (!placa.LeerFits(ruta)) state.SkipWithError(Mensaje.c_str());
        benchmark::DoNotOptimize(Imagen.Datos());
    }
    state.SetBytesProcessed(state.iterations() * ancho * alto * 2);
}

// The same file into a row-major buffer of unsigned values, allocated per load as LeerFits does.
void BM_Cfitsio(benchmark::State& state, int64_t ancho, int64_t alto) {
    const std::string& ruta = fotos.Ruta(ancho, alto);
    const auto n = static_cast<size_t>(ancho * alto);
    for (auto _ : state) {
        const auto buffer = std::make_unique_for_overwrite<uint16_t[]>(n);
        fitsfile* f = nullptr;
        int estado = 0, nulos = 0;
        fits_open_file(&f, ruta.c_str(), READONLY, &estado);
        fits_read_img(f, TUSHORT, 1, static_cast<LONGLONG>(n), nullptr, buffer.get(), &nulos,
                      &estado);
        int cierre = 0;
        if (f) fits_close_file(f, &cierre);
        if (estado != 0) state.SkipWithError("cfitsio");
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(state.iterations() * ancho * alto * 2);
}

BENCHMARK_CAPTURE(BM_LeerFits, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Cfitsio, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LeerFits, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Cfitsio, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
