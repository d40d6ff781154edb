// SPDX-License-Identifier: GPL-3.0-or-later
#include "Version.h"

std::string TextoVersion(const std::string& programa) {
    return programa + " " + QUORVEL_VERSION +
           "\n"
           "Licencia GPL-3.0-or-later: GNU GPL versión 3 o posterior "
           "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
           "Es software libre: puede modificarlo y redistribuirlo. No hay NINGUNA GARANTÍA, en la "
           "medida en que lo permita la ley.\n";
}
