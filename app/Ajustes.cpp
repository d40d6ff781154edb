// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ajustes.h"

#include "Errores.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

bool ExisteFichero(const std::string& ruta) {
    struct stat st {};
    return ::stat(ruta.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Opened without blocking and checked on the descriptor: a FIFO or a device of that name is a
// settings file that cannot be read, not one to wait on.
std::string LeerPrimeraLinea(const std::string& ruta) {
    const int fd = ::open(ruta.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("No se puede abrir " + ruta + ": " + DescripcionError(errno));
    const struct Cerrar {
        int fd;
        ~Cerrar() { ::close(fd); }
    } cerrar{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw std::runtime_error("No se puede leer " + ruta + ": no es un fichero regular");
    std::string linea;
    char bloque[4096];
    for (;;) {
        const ssize_t n = ::read(fd, bloque, sizeof bloque);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("No se puede leer " + ruta + ": " + DescripcionError(errno));
        const char* fin = std::find(bloque, bloque + n, '\n');
        linea.append(bloque, static_cast<size_t>(fin - bloque));
        if (n == 0 || fin != bloque + n) break;
    }
    linea.erase(std::remove(linea.begin(), linea.end(), '\r'), linea.end());
    return linea;
}

void EscribirLinea(const std::string& ruta, const std::string& linea) {
    const std::string temporal = ruta + ".tmp";
    FILE* f = std::fopen(temporal.c_str(), "wb");
    if (!f)
        throw std::runtime_error("No se puede escribir " + ruta + ": " + DescripcionError(errno));
    const std::string contenido = linea + "\r\n";
    const bool escrito = std::fwrite(contenido.data(), 1, contenido.size(), f) == contenido.size();
    const bool cerrado = std::fclose(f) == 0;
    if (!escrito || !cerrado || std::rename(temporal.c_str(), ruta.c_str()) != 0) {
        const std::string causa = DescripcionError(errno);
        std::remove(temporal.c_str());
        throw std::runtime_error("No se puede escribir " + ruta + ": " + causa);
    }
}
