// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The median of a sample, shared by the measurements of a field, of a focus curve and of a tilt.
#include <algorithm>
#include <cstddef>
#include <vector>

// The middle value, or the mean of the two middle ones; 0 for none.
inline double Mediana(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto m = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), m, v.end());
    return v.size() % 2 ? *m : (*m + *std::max_element(v.begin(), m)) / 2;
}
