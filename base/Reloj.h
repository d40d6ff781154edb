// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

// Milliseconds of a steady clock, truncated to 32 bits: wraps like the platform's tick count.
uint32_t ContadorMs();
