// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into the cross-built window tests only, which run on the build machine under qemu-user.
// Debian 12's qemu-user (7.2) passes waitid(P_PIDFD) through to the kernel but rejects clone()
// with CLONE_PIDFD: Qt then believes in process file descriptors, and every QProcess::start
// fails with "fork failure: Invalid argument". Answering that waitid(P_PIDFD) is unknown, as a
// kernel older than 5.4 would, makes Qt start its children with a plain fork, which qemu-user
// emulates; the tests that start quorvel, quorvel-medir and the simulated camera then run.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/syscall.h>

namespace {
constexpr long kPidfd = 3; // P_PIDFD, missing from Debian 12's <sys/wait.h>
}

extern "C" long syscall(long numero, ...) {
    va_list lista;
    va_start(lista, numero);
    long a[6];
    for (long& x : a) x = va_arg(lista, long); // as many as the kernel takes, as glibc reads them
    va_end(lista);
    if (numero == SYS_waitid && a[0] == kPidfd) {
        errno = ENOSYS;
        return -1;
    }
    using Llamada = long (*)(long, ...);
    static const auto original = reinterpret_cast<Llamada>(dlsym(RTLD_NEXT, "syscall"));
    return original(numero, a[0], a[1], a[2], a[3], a[4], a[5]);
}
