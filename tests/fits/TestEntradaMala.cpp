// SPDX-License-Identifier: GPL-3.0-or-later
// Malformed files: each is refused with a message or raises, and never crashes (the sanitizer
// build runs these too).
#include "Auxiliar.h"
#include "Errores.h"
#include "UTPlaca.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

// Incompleto: shorter than its header says, so possibly still being written; Conversion: any
// other unreadable or inconsistent file, never taken for an incomplete one.
enum class Error { Incompleto, Conversion, Rango };

struct CasoMalo {
    const char* caso;
    std::string bytes;
    Error error;
};

std::string Con(const std::string& clave, const std::optional<std::string>& valor,
                int64_t ancho = 2, int64_t alto = 2) {
    return BloqueCabecera(Cambiar(TarjetasBasicas(ancho, alto), clave, valor)) +
           BloqueDatos(std::vector<int16_t>(static_cast<size_t>(ancho * alto), 1));
}

std::vector<CasoMalo> CasosMalos() {
    const std::string bueno = FitsDeCuentas(40, 100, std::vector<uint16_t>(4000, 9));
    std::vector<CasoMalo> c = {
        {"fichero vacio", "", Error::Incompleto},
        {"registro de cabecera a medias", bueno.substr(0, 2000), Error::Incompleto},
        {"sin END", BloqueCabecera(TarjetasBasicas(2, 2), false), Error::Incompleto},
        {"sin END con datos", BloqueCabecera(TarjetasBasicas(1, 1), false) + std::string(5000, 'x'),
         Error::Incompleto},
        {"datos truncados un byte", bueno.substr(0, 2880 + 7999), Error::Incompleto},
        {"datos truncados a la mitad", bueno.substr(0, 2880 + 4000), Error::Incompleto},
        {"solo cabecera", bueno.substr(0, 2880), Error::Incompleto},
        {"BZERO no numerico", Con("BZERO", "abc"), Error::Conversion},
        {"BZERO con coma", Con("BZERO", "1,5"), Error::Conversion},
        {"BZERO con exponente D", Con("BZERO", "1.0D3"), Error::Conversion},
        {"BZERO logico", Con("BZERO", "T"), Error::Conversion},
        {"BZERO desbordado", Con("BZERO", "1E400"), Error::Conversion},
        {"BSCALE no numerico", Con("BSCALE", "'uno'"), Error::Conversion},
        {"NAXIS1 ausente", Con("NAXIS1", std::nullopt), Error::Conversion},
        {"NAXIS2 ausente", Con("NAXIS2", std::nullopt), Error::Conversion},
        {"NAXIS1 real", Con("NAXIS1", "2.0"), Error::Conversion},
        {"NAXIS2 texto", Con("NAXIS2", "'dos'"), Error::Conversion},
        {"BZERO antes que los ejes", Con("BZERO", "x", 0, 2), Error::Conversion},
        {"NAXIS1 antes que NAXIS2 (conversion)",
         BloqueCabecera(Cambiar(Cambiar(TarjetasBasicas(2, 2), "NAXIS1", "x"), "NAXIS2", "")),
         Error::Conversion},
        {"NAXIS1 antes que NAXIS2 (rango)",
         BloqueCabecera(Cambiar(Cambiar(TarjetasBasicas(2, 2), "NAXIS1", ""), "NAXIS2", "x")),
         Error::Rango},
    };
    std::vector<std::string> soloComentario = Cambiar(TarjetasBasicas(2, 2), "BZERO", std::nullopt);
    soloComentario.push_back("BZERO   = / sin valor");
    c.push_back({"BZERO solo comentario", BloqueCabecera(soloComentario), Error::Rango});
    // A blank value field of every key the load looks up.
    for (const char* clave : {"SIMPLE", "NAXIS", "BITPIX", "BSCALE", "BZERO", "NAXIS1", "NAXIS2"})
        c.push_back({clave, Con(clave, ""), Error::Rango});
    // Claims far more data than the file holds: refused before the matrix is allocated. (A
    // size beyond the program's bound is refused by its header alone: TestLeerFits.)
    c.push_back({"4000 x 4000 en un registro", BloqueCabecera(TarjetasBasicas(4000, 4000)),
                 Error::Incompleto});
    c.push_back({"4000 x 4000 con algo de datos",
                 BloqueCabecera(TarjetasBasicas(4000, 4000)) + std::string(2880 * 50, '\0'),
                 Error::Incompleto});
    // A header that never ends is refused after a thousand records, not read to the end.
    c.push_back({"mil y un registros sin END", std::string(1001 * 2880, ' '), Error::Conversion});
    c.push_back({"mil registros sin END y mas datos", std::string(1000 * 2880 + 100, ' '),
                 Error::Conversion});
    return c;
}

class EntradaMala : public ConCarpeta {};

TEST_F(EntradaMala, LevantaErrorSinTocarMensaje) {
    for (const CasoMalo& c : CasosMalos()) {
        SCOPED_TRACE(c.caso);
        const std::string ruta = Fichero("malo.fits", c.bytes);
        TPlaca placa;
        try {
            placa.LeerFits(ruta);
            ADD_FAILURE() << "no levanta error";
        } catch (const ErrorIncompleto&) {
            EXPECT_EQ(c.error, Error::Incompleto);
        } catch (const ErrorConversion&) {
            EXPECT_EQ(c.error, Error::Conversion);
        } catch (const ErrorRango&) {
            EXPECT_EQ(c.error, Error::Rango);
        }
        EXPECT_EQ(Mensaje, "UTPlaca BETA");
        EXPECT_TRUE(Imagen.empty());
        EXPECT_EQ(placa.Pixel(0, 0), 0);
    }
}

// The last record a header may take: END as the last card of record 1000 still loads.
TEST_F(EntradaMala, CabeceraDeMilRegistrosSeAdmite) {
    std::vector<std::string> t = TarjetasBasicas(2, 2);
    t.resize(1000 * 36 - 1, std::string(80, ' '));
    const std::string ruta =
        Fichero("largo.fits", BloqueCabecera(t) + BloqueDatos(std::vector<int16_t>(4, 5)));
    TPlaca placa;
    ASSERT_TRUE(placa.LeerFits(ruta));
    EXPECT_EQ(placa.Pixel(1, 1), 5 + 32768);
}

// Whatever the bytes, the load ends in one of three ways; after a success the matrix and the
// axis lengths agree.
void CargarSinFallo(const std::string& ruta) {
    TPlaca placa;
    try {
        if (placa.LeerFits(ruta)) {
            ASSERT_EQ(Mensaje, "UTPlaca BETA");
            ASSERT_EQ(Imagen.Columnas(), placa.Ancho());
            ASSERT_EQ(Imagen.Alto(), placa.Alto());
            ASSERT_GT(size_t{placa.Ancho()} * placa.Alto(), 0u);
            placa.Pixel(placa.Ancho() - 1, placa.Alto() - 1);
        } else {
            ASSERT_NE(Mensaje, "UTPlaca BETA");
            ASSERT_EQ(placa.Ancho(), 0);
            ASSERT_TRUE(Imagen.empty());
        }
    } catch (const std::runtime_error&) {
    } catch (...) {
        FAIL() << "error que no deriva de std::runtime_error";
    }
}

TEST_F(EntradaMala, BytesAlAzar) {
    std::mt19937 azar(20240517);
    const auto entre = [&](size_t a, size_t b) {
        return std::uniform_int_distribution<size_t>(a, b)(azar);
    };
    const auto bytes = [&](size_t n) {
        std::string b(n, '\0');
        for (char& c : b) c = static_cast<char>(entre(0, 255));
        return b;
    };
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        std::string b;
        switch (i % 3) {
        case 0: // noise only
            b = bytes(entre(0, 3 * 2880 + 100));
            break;
        case 1: // a valid header, then noise of any length
            b = BloqueCabecera(TarjetasBasicas(static_cast<int64_t>(entre(1, 70)),
                                               static_cast<int64_t>(entre(1, 70)))) +
                bytes(entre(0, 4 * 2880));
            break;
        default: { // a valid frame with some header bytes overwritten
            b = FitsDeCuentas(7, 5, std::vector<uint16_t>(35, 3));
            for (size_t k = entre(1, 12); k > 0; --k) {
                const size_t p = entre(0, 7 * 80 - 1);
                b[p] = static_cast<char>(entre(0, 3) == 0 ? entre(0, 255)
                                                          : " =/'0123456789TF-+."[entre(0, 18)]);
            }
            break;
        }
        }
        CargarSinFallo(Fichero("azar.fits", b));
    }
}

} // namespace
