// SPDX-License-Identifier: GPL-3.0-or-later
// The loader against an independent FITS reader: the same files, every pixel equal modulo
// 65536 (what the frame stores for both signed and unsigned data).
#include "Auxiliar.h"
#include "UTPlaca.h"

#include <fitsio.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Oraculo {
    long ancho = 0, alto = 0;
    std::vector<int> valores; // physical values, first axis fastest
};

Oraculo LeerConCfitsio(const std::string& ruta) {
    Oraculo o;
    fitsfile* f = nullptr;
    int estado = 0;
    fits_open_file(&f, ruta.c_str(), READONLY, &estado);
    long ejes[2] = {0, 0};
    fits_get_img_size(f, 2, ejes, &estado);
    o.ancho = ejes[0];
    o.alto = ejes[1];
    o.valores.resize(static_cast<size_t>(o.ancho * o.alto));
    int nulos = 0;
    fits_read_img(f, TINT, 1, o.ancho * o.alto, nullptr, o.valores.data(), &nulos, &estado);
    int cierre = 0;
    fits_close_file(f, &cierre);
    if (estado != 0) {
        char texto[FLEN_STATUS];
        fits_get_errstatus(estado, texto);
        ADD_FAILURE() << ruta << ": " << texto;
        o.valores.clear();
    }
    return o;
}

class Diferencial : public ConCarpeta {};

TEST_F(Diferencial, CadaPixelComoCfitsio) {
    const std::optional<double> bzeros[] = {32768.0, 0.0, std::nullopt};
    // Rows crossing records; several blocks of rows with a partial last one and partial tiles.
    const std::pair<int64_t, int64_t> tamanos[] = {{1, 1}, {3, 7}, {1441, 3}, {2000, 5}, {37, 150}};
    // Cards before END: one record; END last in the first record; END first in the second;
    // two records; END first in the third; three records.
    const size_t tarjetas[] = {0, 35, 36, 60, 72, 100};
    std::mt19937 azar(7);
    int ficheros = 0;
    for (const auto& bzero : bzeros)
        for (const auto& [ancho, alto] : tamanos)
            for (size_t total : tarjetas)
                for (size_t registrosDeMas : {0, 2}) {
                    std::vector<std::string> t = TarjetasBasicas(ancho, alto, bzero);
                    while (t.size() < total) t.push_back(A80("COMMENT relleno de cabecera"));
                    std::vector<int16_t> crudos(static_cast<size_t>(ancho * alto));
                    for (int16_t& v : crudos) v = static_cast<int16_t>(azar());
                    const std::string ruta =
                        Fichero("d" + std::to_string(ficheros++) + ".fits",
                                BloqueCabecera(t) + BloqueDatos(crudos) +
                                    std::string(2880 * registrosDeMas, '\x55'));
                    SCOPED_TRACE(ruta + " tarjetas " + std::to_string(t.size()));

                    const Oraculo o = LeerConCfitsio(ruta);
                    TPlaca placa;
                    ASSERT_TRUE(placa.LeerFits(ruta));
                    ASSERT_EQ(placa.Ancho(), o.ancho);
                    ASSERT_EQ(placa.Alto(), o.alto);
                    ASSERT_EQ(o.valores.size(), crudos.size());
                    size_t distintos = 0;
                    for (size_t i = 0; i < o.valores.size(); ++i) {
                        const auto x = static_cast<int64_t>(i % static_cast<size_t>(ancho));
                        const auto y = static_cast<int64_t>(i / static_cast<size_t>(ancho));
                        distintos += placa.Pixel(x, y) != static_cast<uint16_t>(o.valores[i]);
                    }
                    EXPECT_EQ(distintos, 0u);
                }
    EXPECT_EQ(ficheros, 180);
}

} // namespace
