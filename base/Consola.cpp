// SPDX-License-Identifier: GPL-3.0-or-later
#include "Consola.h"

#include "Errores.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

[[noreturn]] void FalloSalida(const char* programa) {
    const int codigo = errno ? errno : EIO; // a sticky error of an earlier write left no code
    std::fprintf(stderr, "%s: no se puede escribir en la salida estándar: %s\n", programa,
                 DescripcionError(codigo).c_str());
    std::_Exit(1); // nothing left to flush: stdout is what failed
}

const char* ProgramaActual = "quorvel";

[[noreturn]] void ErrorNoCapturado() {
    std::string motivo = "error inesperado";
    if (const std::exception_ptr e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            motivo = TextoError(x);
        } catch (...) {
        }
    }
    std::fflush(stdout); // the rows written so far come before the reason
    std::fprintf(stderr, "%s: %s\n", ProgramaActual, motivo.c_str());
    std::_Exit(1);
}

} // namespace

void MalUso(const char* programa, const std::string& motivo) {
    std::fprintf(stderr, "%s: %s\nPruebe '%s --help'.\n", programa, motivo.c_str(), programa);
    std::exit(2);
}

void Escribir(const char* programa, const std::string& texto) {
    errno = 0;
    if (std::fputs(texto.c_str(), stdout) == EOF) FalloSalida(programa);
}

void Vaciar(const char* programa) {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) FalloSalida(programa);
}

int Terminar(const char* programa, int estado) {
    Vaciar(programa);
    if (std::fclose(stdout) != 0) FalloSalida(programa);
    return estado;
}

void Avisar(const char* programa, const std::string& motivo) {
    Vaciar(programa);
    std::fprintf(stderr, "%s: %s\n", programa, motivo.c_str());
}

void AvisarErroresNoCapturados(const char* programa) {
    ProgramaActual = programa;
    std::set_terminate(ErrorNoCapturado);
}
