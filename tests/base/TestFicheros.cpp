// SPDX-License-Identifier: GPL-3.0-or-later
// The file helpers on every kind of entry a watched folder can hold.
#include "CarpetaTemporal.h"
#include "Ficheros.h"
#include "Limites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

namespace {

std::string Contenido(const std::string& ruta) {
    std::string s;
    if (FILE* f = std::fopen(ruta.c_str(), "rb")) {
        char b[4096];
        for (size_t n; (n = std::fread(b, 1, sizeof b, f)) > 0;) s.append(b, n);
        std::fclose(f);
    }
    return s;
}

std::vector<std::string> Nombres(const CarpetaTemporal& c) {
    std::vector<std::string> r;
    for (const auto& e : std::filesystem::directory_iterator(c.ruta))
        r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

} // namespace

TEST(EscribirEntero, ReemplazaSinDejarTemporal) {
    CarpetaTemporal c;
    const std::string ruta = c / "grafico.png";
    EscribirEntero(ruta, "primero");
    EscribirEntero(ruta, std::string(100000, 'x'));
    EXPECT_EQ(Contenido(ruta), std::string(100000, 'x'));
    EscribirEntero(ruta, "");
    EXPECT_EQ(Contenido(ruta), "");
    EXPECT_EQ(Nombres(c), std::vector<std::string>{"grafico.png"});
}

// A write that fails half way (the room runs out) keeps the old file and leaves nothing behind.
TEST(EscribirEntero, FalloAMitadConservaElAnterior) {
    CarpetaTemporal c;
    const std::string ruta = c / "curva.svg";
    EscribirEntero(ruta, "antiguo");
    for (const size_t largo : {size_t{5000}, size_t{1} << 20}) {
        SCOPED_TRACE(largo);
        try {
            LimiteEscritura limite(4096);
            EscribirEntero(ruta, std::string(largo, 'n'));
            ADD_FAILURE() << "the write should have failed";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "No se puede escribir " + ruta + ": Fichero demasiado grande");
        }
        EXPECT_EQ(Contenido(ruta), "antiguo");
        EXPECT_EQ(Nombres(c), std::vector<std::string>{"curva.svg"});
    }
}

// What may stand at the temporary's name: a stale one is replaced, a link is not followed, a
// folder is reported; a folder at the final name is reported too, and the temporary goes.
TEST(EscribirEntero, LoQueOcupaElNombreTemporal) {
    CarpetaTemporal c, fuera;
    const std::string ruta = c / "f.fits", temporal = c / ".f.fits.part";
    Escribir(temporal, "resto de un fallo");
    EscribirEntero(ruta, "nuevo");
    EXPECT_EQ(Contenido(ruta), "nuevo");

    Escribir(fuera / "ajeno", "intacto");
    ASSERT_EQ(::symlink((fuera / "ajeno").c_str(), temporal.c_str()), 0);
    EscribirEntero(ruta, "otro");
    EXPECT_EQ(Contenido(fuera / "ajeno"), "intacto");
    EXPECT_EQ(Contenido(ruta), "otro");

    ASSERT_EQ(::mkdir(temporal.c_str(), 0700), 0);
    EXPECT_THROW(EscribirEntero(ruta, "x"), std::runtime_error);
    EXPECT_EQ(Contenido(ruta), "otro");
    ASSERT_EQ(::rmdir(temporal.c_str()), 0);

    ASSERT_EQ(::mkdir((c / "carpeta").c_str(), 0700), 0);
    try {
        EscribirEntero(c / "carpeta", "x");
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "No se puede escribir " + (c / "carpeta") + ": Es una carpeta");
    }
    EXPECT_EQ(Nombres(c), (std::vector<std::string>{"carpeta", "f.fits"}));
}
