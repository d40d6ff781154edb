// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// quorvel-medir --noche: every focus run among a night's frames, each fitted as --curva fits
// one, and with --modelo the focus model they hold.
#include "AnalisisFoco.h"

#include <string>
#include <vector>

// Exit status: 0 when every frame was read, some run was found and, with modelo, the model was
// fitted; 1 otherwise.
int AnalizarNoche(const std::vector<std::string>& ficheros, bool campo, bool modelo,
                  const TSalidaAnalisis& s);
