// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers shared by the frame unit's tests: a private scratch folder and card literals.
#include "CarpetaTemporal.h"
#include "EscritorFits.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

// A card padded with blanks (or cut) to 80 characters.
inline std::string A80(std::string t) {
    t.resize(80, ' ');
    return t;
}

// The cards with the keyword's card given a new value, dropped when there is no value, or
// appended when the keyword is absent.
inline std::vector<std::string> Cambiar(std::vector<std::string> tarjetas, const std::string& clave,
                                        const std::optional<std::string>& valor) {
    const std::string prefijo = A80(clave).substr(0, 8);
    for (auto i = tarjetas.begin(); i != tarjetas.end(); ++i) {
        if (i->compare(0, 8, prefijo) != 0) continue;
        if (valor)
            *i = TarjetaFits(clave, *valor);
        else
            tarjetas.erase(i);
        return tarjetas;
    }
    if (valor) tarjetas.push_back(TarjetaFits(clave, *valor));
    return tarjetas;
}

// A test name from a case's description: letters and digits kept, the rest "_".
inline std::string NombreCaso(std::string texto) {
    for (char& c : texto)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return texto;
}

// Each test gets its own folder, removed afterwards.
class ConCarpeta : public ::testing::Test {
protected:
    // Writes the bytes to a file of the folder and returns its path.
    std::string Fichero(const std::string& nombre, const std::string& bytes) {
        const std::string ruta = (carpeta_ / nombre).string();
        GuardarFichero(ruta, bytes);
        return ruta;
    }
    CarpetaTemporal temporal_;
    const std::filesystem::path& carpeta_ = temporal_.ruta;
};
