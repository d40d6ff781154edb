// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file without a window: what is read back from what was written.
#include "Ajustes.h"
#include "Comun.h"
#include "Ficheros.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

TEST(FicheroAjustes, EscritaYLeida) {
    CarpetaTemporal d;
    const std::string ruta = d / "quorvel.ini";
    EXPECT_FALSE(ExisteNoCarpeta(ruta));
    for (const std::string linea : {"", "/datos/noche", "/con blanco/y ñ", "/no-utf8-\xff"}) {
        EscribirLinea(ruta, linea);
        std::ifstream f(ruta, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        EXPECT_EQ(s.str(), linea + "\r\n");
        EXPECT_EQ(LeerPrimeraLinea(ruta), linea);
        EXPECT_FALSE(fs::exists(d / ".quorvel.ini.part"));
    }
    EXPECT_TRUE(ExisteNoCarpeta(ruta));
    EXPECT_FALSE(ExisteNoCarpeta(d.ruta.string()));
}

TEST(FicheroAjustes, FallosConMensaje) {
    CarpetaTemporal d;
    ASSERT_EQ(::mkfifo((d / "tuberia").c_str(), 0600), 0);
    const struct {
        std::function<void()> accion;
        const char* texto;
    } casos[] = {
        {[&] { LeerPrimeraLinea(d / "no-existe"); }, "No se puede abrir"},
        {[&] { LeerPrimeraLinea(d / "tuberia"); }, "no es un fichero regular"},
        {[&] { LeerPrimeraLinea(d.ruta.string()); }, "no es un fichero regular"},
        {[&] { EscribirLinea(d / "no-existe/quorvel.ini", "/x"); }, "No se puede escribir"},
    };
    for (const auto& c : casos) {
        try {
            c.accion();
            ADD_FAILURE() << c.texto;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.texto), std::string::npos) << e.what();
        }
    }
}
