// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File helpers, one meaning per name. A symbolic link counts by what it points to.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A regular file: neither a folder nor a FIFO, a device or a socket.
bool EsFicheroRegular(const std::string& ruta);

// Anything that exists under that name except a folder (a FIFO or a device included).
bool ExisteNoCarpeta(const std::string& ruta);

// A read-only descriptor of a regular file, closed with the object. The open never blocks and
// the type is checked on the descriptor itself, so a FIFO or a device under that name (even
// one swapped in after a test of the name) is refused rather than waited on. Nothing here
// throws: the caller words the failure for its own reader.
class TFicheroRegular {
public:
    enum class TEstado { Abierto, NoSeAbre, NoEsRegular };

    explicit TFicheroRegular(const std::string& ruta);
    ~TFicheroRegular();
    TFicheroRegular(const TFicheroRegular&) = delete;
    TFicheroRegular& operator=(const TFicheroRegular&) = delete;

    TEstado Estado() const { return estado_; }
    // The errno of the failed open (NoSeAbre).
    int Error() const { return error_; }

    // Reads up to n bytes, fewer only at the end of the file; -1 with errno set on failure.
    int64_t Leer(char* destino, size_t n);
    // The file's size in bytes; -1 with errno set on failure.
    int64_t Tamano() const;

private:
    int fd_ = -1;
    TEstado estado_ = TEstado::NoSeAbre;
    int error_ = 0;
};

// Replaces the file at ruta by bytes, whole or not at all: they are written under a hidden name
// beside it (".name.part") and renamed over it once complete, so a reader never meets half a
// file. On failure (a full disc, a write refused) the temporary is removed, the old file stays,
// and std::runtime_error says in Spanish which file and why (the temporary's name only when
// something there cannot be removed).
void EscribirEntero(const std::string& ruta, std::string_view bytes);
