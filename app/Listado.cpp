// SPDX-License-Identifier: GPL-3.0-or-later
#include "Listado.h"

#include "Ficheros.h"

#include <algorithm>
#include <cstddef>
#include <dirent.h>
#include <utility>

namespace {

char MinusculaLatin1(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<char>(u + 32);
    return c;
}

// The name with ASCII letters folded to upper case: the listing's first sort key.
std::string Plegado(std::string nombre) {
    for (char& c : nombre)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return nombre;
}

bool EsDigito(char c) {
    return c >= '0' && c <= '9';
}

// Negative, zero or positive as a comes before, level with or after b, runs of digits compared
// by their value: the camera's counter, padded or not, keeps the listing in shooting order.
int CompararNatural(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (EsDigito(a[i]) && EsDigito(b[j])) {
            while (i < a.size() && a[i] == '0') ++i; // leading zeros do not count
            while (j < b.size() && b[j] == '0') ++j;
            size_t fa = i, fb = j;
            while (fa < a.size() && EsDigito(a[fa])) ++fa;
            while (fb < b.size() && EsDigito(b[fb])) ++fb;
            if (fa - i != fb - j) return fa - i < fb - j ? -1 : 1; // more digits, larger
            if (const int c = a.compare(i, fa - i, b, j, fb - j); c != 0) return c;
            i = fa;
            j = fb;
        } else {
            const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
            if (ca != cb) return ca < cb ? -1 : 1;
            ++i;
            ++j;
        }
    }
    return (i < a.size()) - (j < b.size());
}

} // namespace

bool EsExtensionFits(const std::string& ruta) {
    std::string texto(ruta);
    std::transform(texto.begin(), texto.end(), texto.begin(), MinusculaLatin1);
    const size_t barra = texto.rfind('/');
    const size_t punto = texto.rfind('.');
    if (punto == std::string::npos || (barra != std::string::npos && punto < barra)) return false;
    const std::string extension = texto.substr(punto, 5);
    return extension == ".fit" || extension == ".fts" || extension == ".fits";
}

std::vector<std::string> FotosDeCarpeta(const std::string& carpeta) {
    // An empty text is no folder: listing the root would let "Puesta a cero" delete there. A
    // relative one would be read from wherever the program was started, a different folder
    // from one start to the next.
    if (carpeta.empty() || carpeta[0] != '/') return {};
    // (folded name, name): the same order from one tick to the next, whatever the file system.
    std::vector<std::pair<std::string, std::string>> nombres;
    if (DIR* d = ::opendir(carpeta.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue; // hidden files, "." and ".."
            // The name first: a folder of other files costs no look-up of each.
            if (EsExtensionFits(e->d_name) && EsFicheroRegular(carpeta + "/" + e->d_name))
                nombres.emplace_back(Plegado(e->d_name), e->d_name);
        }
        ::closedir(d);
    }
    // Names level by value ("f_01", "f_1") keep a fixed order by their bytes.
    std::sort(nombres.begin(), nombres.end(), [](const auto& a, const auto& b) {
        const int c = CompararNatural(a.first, b.first);
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<std::string> lista;
    lista.reserve(nombres.size());
    for (const auto& n : nombres) lista.push_back(carpeta + "/" + n.second);
    return lista;
}
