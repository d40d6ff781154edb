// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture of a night's focus: each run's best position against the focuser's temperature
// (against the run's number without temperatures), one colour per filter, and the model's
// lines.
#include "Noche.h"

#include <optional>
#include <string>
#include <vector>

struct TPuntoNoche {
    int Serie = 0;
    TPuntoModelo Punto;
    bool Bien = false; // drawn as a ring when not: left out of the model
};

// Raises std::runtime_error when the file cannot be written. Numbers are written with the
// decimal separator given.
void DibujarNoche(const std::string& fichero, const std::vector<TPuntoNoche>& puntos,
                  const std::optional<TModeloFoco>& modelo, char decimal);
