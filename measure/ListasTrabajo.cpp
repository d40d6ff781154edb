// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListasTrabajo.h"

#include "Errores.h"

#include <algorithm>

namespace {
[[noreturn]] void FueraDeLista(int64_t i) {
    throw ErrorRango("Índice de lista fuera de los límites (" + std::to_string(i) + ")");
}
} // namespace

void TListaOrdenada::Add(std::string texto) {
    if (ordenada_ && !textos_.empty() && texto < textos_.back()) ordenada_ = false;
    textos_.push_back(std::move(texto));
}

const std::string& TListaOrdenada::operator[](int64_t i) const {
    if (i < 0 || i >= static_cast<int64_t>(textos_.size())) FueraDeLista(i);
    if (!ordenada_) {
        // Equal texts are indistinguishable, so an unstable sort gives the same list.
        std::sort(textos_.begin(), textos_.end());
        ordenada_ = true;
    }
    return textos_[static_cast<size_t>(i)];
}

void TListaOrdenada::Clear() {
    textos_.clear();
    ordenada_ = true;
}

const std::string& TListaAcumulada::operator[](int64_t i) const {
    if (i < 0 || i >= static_cast<int64_t>(textos_.size())) FueraDeLista(i);
    return textos_[static_cast<size_t>(i)];
}
