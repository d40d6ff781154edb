// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Benchmark frames of a few sizes, written once on first use into a private folder that goes
// away at exit; the benchmarks then read them from the page cache.
#include "EscritorFits.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

class TFotosEnDisco {
public:
    // cuentas(ancho, alto): the frame's values, first axis fastest.
    using TGenerador = std::function<std::vector<uint16_t>(int64_t ancho, int64_t alto)>;
    explicit TFotosEnDisco(TGenerador cuentas) : cuentas_(std::move(cuentas)) {}
    ~TFotosEnDisco() {
        std::error_code ec;
        if (!carpeta_.empty()) std::filesystem::remove_all(carpeta_, ec);
    }
    const std::string& Ruta(int64_t ancho, int64_t alto) {
        std::string& ruta = rutas_[{ancho, alto}];
        if (!ruta.empty()) return ruta;
        if (carpeta_.empty()) {
            std::string plantilla =
                (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
            if (!::mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp");
            carpeta_ = plantilla;
        }
        ruta = (carpeta_ / (std::to_string(ancho) + "x" + std::to_string(alto) + ".fits")).string();
        GuardarFichero(ruta, FitsDeCuentas(ancho, alto, cuentas_(ancho, alto)));
        return ruta;
    }

private:
    TGenerador cuentas_;
    std::filesystem::path carpeta_;
    std::map<std::pair<int64_t, int64_t>, std::string> rutas_;
};
