// SPDX-License-Identifier: GPL-3.0-or-later
// The folder listing: which entries become frames, and in which order.
#include "Comun.h"
#include "UQuorvel.h"

#include <gtest/gtest.h>

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
