// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The measurement's two work lists of fixed-layout number texts.
#include <cstdint>
#include <string>
#include <vector>

// Texts in ascending byte order, equal texts kept. Sorting is deferred to the first read: the
// contents are the same as inserting each text at its place, without the quadratic cost on
// the long border ring of a whole frame.
class TListaOrdenada {
public:
    void Add(std::string texto);
    const std::string& operator[](int64_t i) const; // ErrorRango outside the list
    int32_t Count() const { return static_cast<int32_t>(textos_.size()); }
    void Clear();

private:
    mutable std::vector<std::string> textos_;
    mutable bool ordenada_ = true;
};

// Texts in the order they were appended.
class TListaAcumulada {
public:
    void Add(std::string texto) { textos_.push_back(std::move(texto)); }
    const std::string& operator[](int64_t i) const; // ErrorRango outside the list
    int32_t Count() const { return static_cast<int32_t>(textos_.size()); }
    void Clear() { textos_.clear(); }

private:
    std::vector<std::string> textos_;
};
