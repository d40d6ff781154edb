// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program takes from the system it runs on: where its setting lives and the
// toolkit's own texts in Spanish.
#include <string>

// The folder of "quorvel.ini", ending in "/". A program run from the folder it was built in
// keeps it beside itself; an installed one (or any other copy, or a build folder it cannot
// write) in $XDG_CONFIG_HOME/quorvel/, by default ~/.config/quorvel/, created when missing.
std::string DirectorioDeAjustes(const std::string& dirEjecutable,
                                const std::string& dirConstruccion);
// The same for the running executable and the folder this program was built in.
std::string DirectorioDeAjustes();

// Installs Qt's Spanish translation of its base module, whatever the user's locale, so the
// toolkit's buttons read "Sí", "No", "Aceptar". False when the translation is not installed.
bool CargarTraduccionQt();
