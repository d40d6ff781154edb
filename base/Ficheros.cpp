// SPDX-License-Identifier: GPL-3.0-or-later
#include "Ficheros.h"

#include "Errores.h"

#include <cerrno>
#include <stdexcept>
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

void EscribirEntero(const std::string& ruta, std::string_view bytes) {
    const size_t barra = ruta.rfind('/');
    const size_t nombre = barra == std::string::npos ? 0 : barra + 1;
    const std::string temporal = ruta.substr(0, nombre) + "." + ruta.substr(nombre) + ".part";
    // A stale temporary of an earlier failure goes first; created afresh, a link of that name
    // is never followed into another file. What cannot be removed there is named itself.
    if (::unlink(temporal.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("No se puede escribir " + temporal + ": " +
                                 DescripcionError(errno));
    const int fd = ::open(temporal.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    int codigo = fd < 0 ? errno : 0;
    for (size_t escritos = 0; codigo == 0 && escritos < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + escritos, bytes.size() - escritos);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) codigo = errno;
        else escritos += static_cast<size_t>(n);
    }
    // A network file system may report the failed write only when the file is closed.
    if (fd >= 0 && ::close(fd) != 0 && codigo == 0) codigo = errno;
    if (codigo == 0 && ::rename(temporal.c_str(), ruta.c_str()) != 0) codigo = errno;
    if (codigo == 0) return;
    if (fd >= 0) ::unlink(temporal.c_str());
    throw std::runtime_error("No se puede escribir " + ruta + ": " + DescripcionError(codigo));
}
