// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ficheros.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool EsFicheroRegular(const std::string& ruta) {
    struct stat st {};
    return ::stat(ruta.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ExisteNoCarpeta(const std::string& ruta) {
    struct stat st {};
    return ::stat(ruta.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

TFicheroRegular::TFicheroRegular(const std::string& ruta)
    : fd_(::open(ruta.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        estado_ = TEstado::NoEsRegular;
        return;
    }
    estado_ = TEstado::Abierto;
}

TFicheroRegular::~TFicheroRegular() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFicheroRegular::Leer(char* destino, size_t n) {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    size_t leidos = 0;
    while (leidos < n) {
        const ssize_t r = ::read(fd_, destino + leidos, n - leidos);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        leidos += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(leidos);
}

int64_t TFicheroRegular::Tamano() const {
    struct stat st {};
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}
