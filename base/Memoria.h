// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much memory the program may use, for refusing what cannot fit before asking for it.
#include <cstdint>

// The machine's physical memory, lowered by the process's address-space and data limits
// (ulimit -v, -d) and by the memory limit of its control group or of any group above it.
uint64_t MemoriaUtilizable();
