// SPDX-License-Identifier: GPL-3.0-or-later
// The file helpers on every kind of entry a watched folder can hold.
#include "CarpetaTemporal.h"
#include "Ficheros.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Escribir(const std::string& ruta, const std::string& contenido) {
    FILE* f = std::fopen(ruta.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(contenido.data(), 1, contenido.size(), f);
    std::fclose(f);
}

using TEstado = TFicheroRegular::TEstado;

struct CasoEntrada {
    const char* nombre;
    bool regular, noCarpeta;
    TEstado estado;
};

} // namespace

TEST(Ficheros, CadaNombreUnSignificado) {
    CarpetaTemporal c;
    Escribir(c / "foto.fits", "abc");
    ASSERT_EQ(::mkdir((c / "carpeta").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((c / "tubo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink((c / "foto.fits").c_str(), (c / "enlace_foto").c_str()), 0);
    ASSERT_EQ(::symlink((c / "carpeta").c_str(), (c / "enlace_carpeta").c_str()), 0);
    ASSERT_EQ(::symlink((c / "no_hay").c_str(), (c / "enlace_roto").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", (c / "enlace_dispositivo").c_str()), 0);

    const CasoEntrada casos[] = {
        {"foto.fits", true, true, TEstado::Abierto},
        {"enlace_foto", true, true, TEstado::Abierto}, // a link counts by what it points to
        {"carpeta", false, false, TEstado::NoEsRegular},
        {"enlace_carpeta", false, false, TEstado::NoEsRegular},
        {"tubo", false, true, TEstado::NoEsRegular}, // opened without waiting for a writer
        {"enlace_dispositivo", false, true, TEstado::NoEsRegular},
        {"enlace_roto", false, false, TEstado::NoSeAbre},
        {"no_hay", false, false, TEstado::NoSeAbre},
    };
    ::alarm(30); // an open that blocks ends the test program instead of hanging it
    for (const CasoEntrada& k : casos) {
        const std::string ruta = c / k.nombre;
        EXPECT_EQ(EsFicheroRegular(ruta), k.regular) << k.nombre;
        EXPECT_EQ(ExisteNoCarpeta(ruta), k.noCarpeta) << k.nombre;
        const TFicheroRegular f(ruta);
        EXPECT_EQ(f.Estado(), k.estado) << k.nombre;
        if (k.estado == TEstado::NoSeAbre) {
            EXPECT_EQ(f.Error(), ENOENT) << k.nombre;
        }
    }
    ::alarm(0);
}

TEST(Ficheros, LecturaHastaElFinal) {
    CarpetaTemporal c;
    std::string contenido;
    for (int i = 0; i < 10000; ++i) contenido += static_cast<char>('a' + i % 26);
    Escribir(c / "datos", contenido);
    TFicheroRegular f(c / "datos");
    ASSERT_EQ(f.Estado(), TEstado::Abierto);
    EXPECT_EQ(f.Tamano(), 10000);
    std::string leido;
    char bloque[4096];
    // Whole blocks, a short one at the end, then nothing.
    for (int64_t esperado : {4096, 4096, 1808, 0}) {
        const int64_t n = f.Leer(bloque, sizeof bloque);
        ASSERT_EQ(n, esperado);
        leido.append(bloque, static_cast<size_t>(n));
    }
    EXPECT_EQ(leido, contenido);

    TFicheroRegular vacio(c / "no_hay");
    EXPECT_EQ(vacio.Leer(bloque, sizeof bloque), -1); // a refused file reads nothing
    EXPECT_EQ(vacio.Tamano(), -1);
}
