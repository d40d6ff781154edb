// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every program of the project prints for --version: its name, the version and the
// licence.
#include <string>

std::string TextoVersion(const std::string& programa);
