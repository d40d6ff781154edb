// SPDX-License-Identifier: GPL-3.0-or-later
// Frame loading speed: LeerFits next to cfitsio reading the same files from the page cache, and
// the floor under both: the file read as the loader must read it, with nothing else done.
#include "FotosEnDisco.h"
#include "UTPlaca.h"

#include <benchmark/benchmark.h>
#include <fitsio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

// A fixed count over blocks declared apart is the loop the compiler turns into vector code.
inline void Intercambiar(const unsigned char* __restrict bytes, uint16_t* __restrict valores,
                         size_t n) {
    for (size_t j = 0; j < n; ++j)
        valores[j] = static_cast<uint16_t>((bytes[2 * j] << 8) | bytes[2 * j + 1]);
}

// Whole 2880-byte records, one read() each, into one reused record buffer; the header scanned for
// its END card and the values byte-swapped into a frame buffer allocated once, outside the timing.
void BM_Suelo(benchmark::State& state, int64_t ancho, int64_t alto) {
    constexpr size_t Registro = 2880;
    const std::string& ruta = fotos.Ruta(ancho, alto);
    const auto n = static_cast<size_t>(ancho * alto);
    std::vector<uint16_t> valores(n);
    unsigned char registro[Registro];
    const auto leer = [&](int fd) {
        return ::read(fd, registro, Registro) == static_cast<ssize_t>(Registro);
    };
    for (auto _ : state) {
        const int fd = ::open(ruta.c_str(), O_RDONLY);
        bool bien = fd >= 0;
        for (bool fin = false; bien && !fin;) {
            bien = leer(fd);
            for (size_t k = 0; bien && !fin && k < Registro; k += 80)
                fin = std::memcmp(registro + k, "END ", 4) == 0;
        }
        for (size_t i = 0; bien && i < n; i += Registro / 2) {
            bien = leer(fd);
            if (n - i >= Registro / 2)
                Intercambiar(registro, valores.data() + i, Registro / 2);
            else
                Intercambiar(registro, valores.data() + i, n - i);
        }
        if (fd >= 0) ::close(fd);
        if (!bien) state.SkipWithError("lectura");
        benchmark::DoNotOptimize(valores.data());
    }
    state.SetBytesProcessed(state.iterations() * ancho * alto * 2);
}

BENCHMARK_CAPTURE(BM_Suelo, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LeerFits, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Cfitsio, 1920x1080, 1920, 1080)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Suelo, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LeerFits, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Cfitsio, 6000x4000, 6000, 4000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Suelo, 9576x6388, 9576, 6388)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LeerFits, 9576x6388, 9576, 6388)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Cfitsio, 9576x6388, 9576, 6388)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
