// SPDX-License-Identifier: GPL-3.0-or-later
#include "Rutas.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

bool EstaBajo(const QByteArray& ruta, const QByteArray& raiz) {
    if (raiz.isEmpty() || !ruta.startsWith(raiz)) return false;
    return ruta.size() == raiz.size() || raiz.endsWith('/') || ruta[raiz.size()] == '/';
}

QByteArray SinSeparadorFinal(QByteArray ruta) {
    while (ruta.size() > 1 && ruta.endsWith('/')) ruta.chop(1);
    return ruta;
}

QByteArray DirectorioProceso() {
    std::vector<char> b(4096);
    while (!getcwd(b.data(), b.size())) {
        if (errno != ERANGE) return "/";
        b.resize(b.size() * 2);
    }
    // Linux answers "(unreachable)..." for a directory outside this process's root.
    return b[0] == '/' ? SinSeparadorFinal(b.data()) : QByteArray("/");
}
