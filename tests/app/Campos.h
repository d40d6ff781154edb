// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Simulated fields for the field mode's tests: a focus run over one scene, and pure sky.
#include "EscritorFits.h"
#include "Simulacion.h"

#include <random>
#include <string>
#include <vector>

constexpr int AnchoCampo = 480, AltoCampo = 360;

// Frame i of a run of n over a field of 30 stars (sigma 3.0 at the ends, 1.2 in the middle).
inline std::vector<std::string> SerieDeCampos(int n) {
    std::mt19937_64 azar(20261208);
    const TEscena escena = CrearEscena(AnchoCampo, AltoCampo, 30, 1.2, azar);
    std::vector<std::string> fotos;
    for (int i = 0; i < n; ++i)
        fotos.push_back(FitsDeCuentas(AnchoCampo, AltoCampo,
                                      ExponerCampo(escena, SigmaSerie(i, n, 1.2, 3.0), azar)));
    return fotos;
}

// Sky and noise only: no star, no hot pixel (a closed shutter, a cloud).
inline std::string CampoSinEstrellas() {
    std::mt19937_64 azar(3);
    TEscena vacia;
    vacia.ancho = AnchoCampo;
    vacia.alto = AltoCampo;
    return FitsDeCuentas(AnchoCampo, AltoCampo, ExponerCampo(vacia, 2.0, azar));
}
