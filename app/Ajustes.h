// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file "quorvel.ini": one line, the watched folder, ended by CR LF.
#include <string>

// The first line, carriage returns left out. A FIFO or a device of that name is refused, not
// waited on; raises std::runtime_error with a Spanish message when it cannot be read.
std::string LeerPrimeraLinea(const std::string& ruta);
// Replaces the file by the line and CR LF, whole or not at all (EscribirEntero): a failed write
// never leaves a truncated setting behind. Raises std::runtime_error naming the file and cause.
void EscribirLinea(const std::string& ruta, const std::string& linea);
