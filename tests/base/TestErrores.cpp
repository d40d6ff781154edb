// SPDX-License-Identifier: GPL-3.0-or-later
// The texts a user reads when memory runs out or a pipe closes, and how much memory the
// program counts on.
#include "Errores.h"
#include "Limites.h"
#include "Memoria.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

TEST(TextoError, MemoriaAgotadaEnCastellano) {
    const std::string memoria =
        "Memoria insuficiente: la foto o la operación no caben en la memoria disponible";
    EXPECT_EQ(TextoError(std::bad_alloc()), memoria);
    EXPECT_EQ(TextoError(std::bad_array_new_length()), memoria);
    // What the library raises for a size it cannot even ask for.
    try {
        std::vector<uint16_t> v;
        v.resize(v.max_size() + 1);
        ADD_FAILURE();
    } catch (const std::exception& e) {
        EXPECT_EQ(TextoError(e), memoria) << e.what();
    }
    EXPECT_EQ(TextoError(ErrorAritmetico("División por cero")), "División por cero");
    EXPECT_EQ(TextoError(std::runtime_error("No se puede escribir x")), "No se puede escribir x");
}

TEST(TextoError, TuberiaCerradaEnCastellano) {
    EXPECT_EQ(DescripcionError(EPIPE), "Tubería cerrada: el programa que leía la salida ya terminó");
}

TEST(Memoria, NoMasQueLaDeLaMaquina) {
    const uint64_t fisica = static_cast<uint64_t>(::sysconf(_SC_PHYS_PAGES)) *
                            static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    EXPECT_GT(MemoriaUtilizable(), 0u);
    EXPECT_LE(MemoriaUtilizable(), fisica);
}

// The process's own limits count: in a child, so that the test program keeps its memory.
TEST(Memoria, SigueLosLimitesDelProceso) {
    if (ConSanitizador) GTEST_SKIP() << "a memory limit breaks the sanitizer";
    for (const int recurso : {RLIMIT_AS, RLIMIT_DATA})
        if (!LimiteDeMemoriaEnVigor(recurso))
            GTEST_SKIP() << "memory limits are accepted but not applied here (qemu-user)";
    for (const int recurso : {RLIMIT_AS, RLIMIT_DATA}) {
        EXPECT_EXIT(
            {
                rlimit r{};
                ::getrlimit(recurso, &r);
                r.rlim_cur = rlim_t{3} << 30;
                if (r.rlim_max != RLIM_INFINITY && r.rlim_max < r.rlim_cur) r.rlim_cur = r.rlim_max;
                if (::setrlimit(recurso, &r) != 0) std::_Exit(2);
                std::_Exit(MemoriaUtilizable() <= r.rlim_cur ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << recurso;
    }
}
