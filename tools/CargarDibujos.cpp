// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the pictures' module on demand: Qt and its libraries are loaded only by a call that
// draws, and every other call of quorvel-medir starts without them.
#include "DibujoAnalisis.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <stdexcept>
#include <string>

namespace {

// The folder of the running program.
std::string CarpetaPrograma() {
    char ruta[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", ruta, sizeof ruta - 1);
    if (n <= 0) return ".";
    const std::string r(ruta, static_cast<size_t>(n));
    const size_t barra = r.rfind('/');
    return barra == std::string::npos ? "." : r.substr(0, barra);
}

} // namespace

const TDibujos& Dibujos() {
    static const TDibujos* tabla = nullptr;
    if (tabla) return *tabla;
    // Beside the program in the build tree; where it is installed, relative to the program.
    const std::string carpeta = CarpetaPrograma();
    const std::string instalado = carpeta + "/" QUORVEL_DIR_MODULOS "/" QUORVEL_MODULO_DIBUJO;
    std::string error = "falta " + instalado;
    for (const std::string& ruta : {carpeta + "/" QUORVEL_MODULO_DIBUJO, instalado}) {
        if (::access(ruta.c_str(), F_OK) != 0) continue;
        void* modulo = ::dlopen(ruta.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!modulo) {
            error = ::dlerror();
            continue;
        }
        using TEntrada = const TDibujos* (*)();
        const auto entrada = reinterpret_cast<TEntrada>(::dlsym(modulo, QUORVEL_DIBUJOS));
        if (entrada && (tabla = entrada())) return *tabla;
        error = ruta + " no es el módulo de los dibujos";
    }
    throw std::runtime_error("no se pueden dibujar gráficos: " + error);
}
