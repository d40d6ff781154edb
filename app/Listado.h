// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The watched folder's listing: which entries are frames, and in which order.
#include <string>
#include <vector>

// The folder's regular, non-hidden files as full paths, keeping only the FITS extensions, names
// in a fixed order: runs of digits by their value ("f_9" before "f_10"), otherwise bytes with
// ASCII letters folded to upper case. An empty or relative folder text lists nothing.
std::vector<std::string> FotosDeCarpeta(const std::string& carpeta);
// Whether a path's extension (lower-cased, cut to five characters) is ".fit", ".fts" or ".fits".
bool EsExtensionFits(const std::string& ruta);
