// SPDX-License-Identifier: GPL-3.0-or-later
// The folder listing: which entries become frames, and in which order.
#include "Comun.h"
#include "Listado.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::vector<std::string> Nombres(const std::vector<std::string>& rutas) {
    std::vector<std::string> n;
    for (const auto& r : rutas) n.push_back(r.substr(r.rfind('/') + 1));
    return n;
}
} // namespace

TEST(Listado, ExtensionesFits) {
    const struct {
        const char* ruta;
        bool fits;
    } casos[] = {
        {"/d/A.FIT", true},      {"/d/b.Fts", true},
        {"/d/c.FITS", true},     {"/d/f.fitsx", true},
        {"/d/d.fit.bak", false}, {"/d/e.fitz", false},
        {"/d/sinpunto", false},  {"/d/datos.fit/imagen", false},
        {"/d/x.FÍT", false},     {"/d/.fits", true},
        {"/a.fits", true},       {"/B.FIT", true}, // directly under the root
        {"/sinpunto", false},
    };
    for (const auto& c : casos) EXPECT_EQ(EsExtensionFits(c.ruta), c.fits) << c.ruta;
}

TEST(Listado, SoloFicherosVisiblesEnOrdenFijo) {
    CarpetaTemporal d;
    for (const char* n : {"c.FITS", "A.FIT", "b.Fts", "d.fit.bak", "e.fitz", "sinpunto", "f.fitsx",
                          ".h.fit", "B0.fit", "a0.fits"})
        GuardarFichero(d / n, "x");
    fs::create_directory(d.ruta / "g.fit");
    ::symlink((d / "A.FIT").c_str(), (d / "enlace.fit").c_str());
    ::symlink((d.ruta / "g.fit").c_str(), (d / "dir.fits").c_str());
    const auto lista = FotosDeCarpeta(d.ruta.string());
    EXPECT_EQ(Nombres(lista), (std::vector<std::string>{"A.FIT", "a0.fits", "b.Fts", "B0.fit",
                                                        "c.FITS", "enlace.fit", "f.fitsx"}));
    EXPECT_EQ(lista.front(), d.ruta.string() + "/A.FIT");
}

TEST(Listado, CarpetaInexistenteDaListaVacia) {
    EXPECT_TRUE(FotosDeCarpeta("/no/existe/esta/carpeta").empty());
    CarpetaTemporal d;
    GuardarFichero(d / "fichero.fits", "x");
    EXPECT_TRUE(FotosDeCarpeta(d / "fichero.fits").empty()); // a file, not a folder
}

TEST(Listado, PuntoEnElNombreDeLaCarpetaNoCuenta) {
    CarpetaTemporal d;
    fs::create_directory(d.ruta / "datos.fit");
    GuardarFichero(d / "datos.fit/imagen", "x");
    GuardarFichero(d / "datos.fit/imagen.fts", "x");
    EXPECT_EQ(Nombres(FotosDeCarpeta(d / "datos.fit")), std::vector<std::string>{"imagen.fts"});
}

// Counters that grow a digit, padded or not, and times of day: the listing follows the shots.
TEST(Listado, OrdenDeLaCamara) {
    const std::vector<std::vector<std::string>> series = {
        {"f_1.fits", "f_2.fits", "f_9.fits", "f_10.fits", "f_11.fits", "f_99.fits", "f_100.fits"},
        {"foco_0001.fits", "foco_0009.fits", "foco_0010.fits", "foco_0099.fits",
         "foco_0100.fits", "foco_1000.fits"},
        {"2026-12-08T21-03-07.fits", "2026-12-08T21-03-59.fits", "2026-12-08T21-10-00.fits",
         "2026-12-09T00-00-01.fits"},
        {"IMG_20261208_210307_7.fit", "IMG_20261208_210307_8.fit", "IMG_20261208_210307_10.fit"},
        {"M31_L_0.5s_9.fits", "M31_L_0.5s_10.fits", "m31_l_1s_1.fits"},
        {"a.fits", "A1.fits", "a2.fits", "A10.fits", "b.fits"},
        {"f_01.fits", "f_1.fits", "f_001b.fits", "f_2.fits"}, // level by value: bytes decide
    };
    std::mt19937 azar(7);
    for (const auto& orden : series) {
        CarpetaTemporal d;
        auto mezcla = orden;
        std::shuffle(mezcla.begin(), mezcla.end(), azar);
        for (const auto& n : mezcla) GuardarFichero(d / n, "x");
        EXPECT_EQ(Nombres(FotosDeCarpeta(d.ruta.string())), orden);
    }
}

// A folder box left empty lists nothing, not the root folder: run where "/" holds a frame.
TEST(Listado, TextoVacioNoListaLaRaiz) {
    CarpetaTemporal raiz;
    GuardarFichero(raiz / "en-la-raiz.fits", "x");
    const pid_t hijo = ::fork();
    ASSERT_GE(hijo, 0);
    if (hijo == 0) {
        // Only a user namespace lets an ordinary user change the root folder.
        if (::chroot(raiz.ruta.c_str()) != 0 &&
            (::unshare(CLONE_NEWUSER) != 0 || ::chroot(raiz.ruta.c_str()) != 0))
            ::_exit(77);
        if (::chdir("/") != 0) ::_exit(77);
        if (FotosDeCarpeta("/") != std::vector<std::string>{"//en-la-raiz.fits"}) ::_exit(2);
        ::_exit(FotosDeCarpeta("").empty() ? 0 : 1);
    }
    int estado = 0;
    ASSERT_EQ(::waitpid(hijo, &estado, 0), hijo);
    ASSERT_TRUE(WIFEXITED(estado));
    if (WEXITSTATUS(estado) == 77) GTEST_SKIP() << "no se puede cambiar la carpeta raíz";
    EXPECT_NE(WEXITSTATUS(estado), 2) << "the root, named, is listed";
    EXPECT_EQ(WEXITSTATUS(estado), 0) << "an empty text listed the root";
}

// A relative folder would depend on where the program was started: it lists nothing, even run
// from the folder that holds one of that name with frames in it.
TEST(Listado, CarpetaRelativaNoListaNada) {
    CarpetaTemporal d;
    fs::create_directories(d.ruta / "rel/sub");
    GuardarFichero(d / "rel/a.fits", "x");
    GuardarFichero(d / "rel/sub/b.fits", "x");
    const fs::path antes = fs::current_path();
    fs::current_path(d.ruta);
    for (const char* carpeta : {"rel", "./rel", "rel/sub", "../" , "~"})
        EXPECT_TRUE(FotosDeCarpeta(carpeta).empty()) << carpeta;
    EXPECT_EQ(FotosDeCarpeta((d.ruta / "rel").string()).size(), 1u) << "absolute, it lists";
    fs::current_path(antes);
}
