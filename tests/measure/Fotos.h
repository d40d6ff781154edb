// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic frames for the measurement tests, written to a private folder and loaded into the
// frame unit.
#include "CarpetaTemporal.h"
#include "EscritorFits.h"
#include "Estrella.h"
#include "UTPlaca.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// Counts of a frame, first axis fastest, as the writer wants them.
struct Cuentas {
    int64_t ancho, alto;
    std::vector<uint16_t> v;
    Cuentas(int64_t w, int64_t h, uint16_t fondo = 0)
        : ancho(w), alto(h), v(static_cast<size_t>(w * h), fondo) {}
    Cuentas(int64_t w, int64_t h, std::vector<uint16_t> valores)
        : ancho(w), alto(h), v(std::move(valores)) {}
    uint16_t& operator()(int64_t x, int64_t y) { return v[static_cast<size_t>(y * ancho + x)]; }
};

// A point-sampled circular Gaussian on a flat sky with Gaussian noise, rounded to counts.
inline Cuentas Estrella(int64_t w, int64_t h, double cx, double cy, double sigma, double amplitud,
                        double fondo, double ruido = 0, unsigned semilla = 1) {
    return Cuentas(w, h,
                   ExponerEstrellaEnCielo(w, h, {cx, cy, sigma, amplitud, fondo, ruido, semilla}));
}

// Each test gets its own folder, removed afterwards.
class ConFotos : public ::testing::Test {
protected:
    std::string Guardar(const Cuentas& c, const std::string& nombre = "foto.fits") {
        const std::string ruta = (carpeta_ / nombre).string();
        GuardarFichero(ruta, FitsDeCuentas(c.ancho, c.alto, c.v));
        return ruta;
    }
    // Loads the counts into the one frame of the unit.
    void Cargar(TPlaca& placa, const Cuentas& c) { ASSERT_TRUE(placa.LeerFits(Guardar(c))); }
    CarpetaTemporal temporal_;
    const std::filesystem::path& carpeta_ = temporal_.ruta;
};
