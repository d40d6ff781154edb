// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ajustes.h"

#include "Errores.h"
#include "Ficheros.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

// Opened without blocking and checked on the descriptor: a FIFO or a device of that name is a
// settings file that cannot be read, not one to wait on.
std::string LeerPrimeraLinea(const std::string& ruta) {
    TFicheroRegular f(ruta);
    if (f.Estado() == TFicheroRegular::TEstado::NoSeAbre)
        throw std::runtime_error("No se puede abrir " + ruta + ": " + DescripcionError(f.Error()));
    if (f.Estado() == TFicheroRegular::TEstado::NoEsRegular)
        throw std::runtime_error("No se puede leer " + ruta + ": no es un fichero regular");
    std::string linea;
    char bloque[4096];
    for (;;) {
        const int64_t n = f.Leer(bloque, sizeof bloque);
        if (n < 0)
            throw std::runtime_error("No se puede leer " + ruta + ": " + DescripcionError(errno));
        const char* fin = std::find(bloque, bloque + n, '\n');
        linea.append(bloque, static_cast<size_t>(fin - bloque));
        // A short block is the end of the file.
        if (fin != bloque + n || n < static_cast<int64_t>(sizeof bloque)) break;
    }
    linea.erase(std::remove(linea.begin(), linea.end(), '\r'), linea.end());
    return linea;
}

void EscribirLinea(const std::string& ruta, const std::string& linea) {
    EscribirEntero(ruta, linea + "\r\n");
}
