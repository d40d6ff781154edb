// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scratch folder per test, removed with everything in it (made readable first). CTest runs
// tests in parallel processes, so each gets its own.
#include <cstdlib>
#include <filesystem>
#include <string>

struct CarpetaTemporal {
    std::filesystem::path ruta;
    CarpetaTemporal() {
        std::string plantilla =
            (std::filesystem::temp_directory_path() / "quorvel-XXXXXX").string();
        if (!::mkdtemp(plantilla.data())) std::abort();
        ruta = plantilla;
    }
    ~CarpetaTemporal() {
        std::error_code ec;
        std::filesystem::permissions(ruta, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(ruta, ec);
    }
    CarpetaTemporal(const CarpetaTemporal&) = delete;
    CarpetaTemporal& operator=(const CarpetaTemporal&) = delete;
    std::string operator/(const std::string& nombre) const { return (ruta / nombre).string(); }
};
