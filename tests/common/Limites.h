// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a hostile machine does to a program, made on purpose: a write that fails for want of
// room, and a frame whose header claims more pixels than memory holds.
#include "EscritorFits.h"

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

// AddressSanitizer reserves terabytes of address space: a limit on it breaks the sanitizer
// itself, so the tests that set one skip under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool ConSanitizador = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool ConSanitizador = true;
#else
constexpr bool ConSanitizador = false;
#endif
#else
constexpr bool ConSanitizador = false;
#endif

// qemu-user accepts a limit on the process's address space or data and applies none (it would
// bind the emulator's own memory): set and read back, a limit that does not hold shows, and the
// tests that rely on one skip there. The limit in force before is restored.
inline bool LimiteDeMemoriaEnVigor(int recurso) {
    rlimit antes{};
    if (::getrlimit(recurso, &antes) != 0) return false;
    rlimit prueba = antes;
    prueba.rlim_cur = antes.rlim_cur == RLIM_INFINITY ? rlim_t{1} << 42 : antes.rlim_cur - 4096;
    rlimit leido{};
    const bool puesto = ::setrlimit(recurso, &prueba) == 0 && ::getrlimit(recurso, &leido) == 0;
    ::setrlimit(recurso, &antes);
    return puesto && leido.rlim_cur == prueba.rlim_cur;
}

// While it lives, no file of this process or of the programs it starts grows beyond `bytes`:
// a longer write fails (EFBIG) as on a full disc, and the signal that would end the writer is
// ignored, so the write returns its error.
class LimiteEscritura {
public:
    explicit LimiteEscritura(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &antes_);
        senal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit nuevo = antes_;
        nuevo.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &nuevo);
    }
    ~LimiteEscritura() {
        ::setrlimit(RLIMIT_FSIZE, &antes_);
        std::signal(SIGXFSZ, senal_);
    }
    LimiteEscritura(const LimiteEscritura&) = delete;
    LimiteEscritura& operator=(const LimiteEscritura&) = delete;

private:
    rlimit antes_{};
    void (*senal_)(int) = SIG_DFL;
};

// A frame file whose header claims ancho x alto 16-bit pixels, at the size the header asks for
// but sparse: it takes no room on the disc, and its data read as zeros.
inline bool FotoEnorme(const std::string& ruta, int64_t ancho, int64_t alto) {
    const std::string cabecera = BloqueCabecera(TarjetasBasicas(ancho, alto));
    const int fd = ::open(ruta.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool bien =
        ::write(fd, cabecera.data(), cabecera.size()) == static_cast<ssize_t>(cabecera.size()) &&
        ::ftruncate(fd, static_cast<off_t>(cabecera.size()) + ancho * alto * 2) == 0;
    return ::close(fd) == 0 && bien;
}
