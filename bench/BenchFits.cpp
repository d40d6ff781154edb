// Frame loading speed: LeerFits next to cfitsio reading the same files from the page cache.
#include "EscritorFits.h"
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

// The frames, written once on first use into a private folder that goes away at exit.
class Fotos {
public:
    ~Fotos() {
        std::error_code ec;
        if (!carpeta_.empty()) std::filesystem::remove_all(carpeta_, ec);
    }
    const std::string& Ruta(int64_t ancho, int64_t alto) {
        auto& ruta = rutas_[{ancho, alto}];
        if (ruta.empty()) {
            if (carpeta_.empty()) {
                std::string plantilla =
                    (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
                if (!::mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp");
                carpeta_ = plantilla;
            }
            // A star-free sky with noise is all the loader cares about: every value differs.
            std::mt19937 azar(1);
            std::vector<uint16_t> cuentas(static_cast<size_t>(ancho * alto));
            for (uint16_t& v : cuentas) v = static_cast<uint16_t>(1000 + azar() % 4096);
            ruta = (carpeta_ / (std::to_string(ancho) + "x" + std::to_string(alto) + ".fits"))
                       .string();
            GuardarFichero(ruta, FitsDeCuentas(ancho, alto, cuentas));
        }
        return ruta;
    }

private:
    std::filesystem::path carpeta_;
    std::map<std::pair<int64_t, int64_t>, std::string> rutas_;
};

Fotos fotos;

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
