// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the command-line programs share: the usage error and the check that standard output
// took everything written to it, so that a full disc or a closed terminal is not reported as
// success.
#include <string>

// "programa: motivo" and a pointer to --help on standard error; exit status 2.
[[noreturn]] void MalUso(const char* programa, const std::string& motivo);

// Writes texto to standard output. A failed write is reported on standard error and ends the
// program with status 1; so do the two below.
void Escribir(const char* programa, const std::string& texto);
// Flushes standard output.
void Vaciar(const char* programa);
// Closes standard output; returns estado when everything reached it.
int Terminar(const char* programa, int estado);

// "programa: motivo" on standard error, after what standard output holds, so that rows and
// reasons come in the order they were found.
void Avisar(const char* programa, const std::string& motivo);

// Makes an error that escapes main() (memory exhausted, say) end the program with
// "programa: motivo" in Spanish and status 1, instead of the runtime's English report.
void AvisarErroresNoCapturados(const char* programa);
