// SPDX-License-Identifier: GPL-3.0-or-later
// One listed frame's step, without a window: both measurements and the judgement of frames
// that fail or are still being written.
#include "Campos.h"
#include "Comun.h"
#include "MedidaFoto.h"
#include "Medida.h"
#include "UTPlaca.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

TResultadoFoto Medir(const std::string& ruta, TModoMedida modo) {
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
    return MedirFoto(ruta, modo, ordenada, acumulada);
}

void Envejecer(const std::string& ruta, std::chrono::seconds edad) {
    fs::last_write_time(ruta, fs::file_time_type::clock::now() - edad);
}

} // namespace

TEST(MedidaFoto, EstrellaComoMedirEstrella) {
    CarpetaTemporal d;
    GuardarFichero(d / "a.fits", FotoConEstrella(20000));
    TPlaca placa;
    ASSERT_TRUE(placa.LeerFits(d / "a.fits"));
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
    const TFigurasFoco f = MedirEstrella(placa, ordenada, acumulada);
    const TResultadoFoto r = Medir(d / "a.fits", TModoMedida::Estrella);
    EXPECT_EQ(r.Estado, TResultadoFoto::Medida);
    EXPECT_EQ(r.Maximo, f.Maximo);
    EXPECT_EQ(r.FWHM, f.FWHM);
    EXPECT_EQ(r.HFD, f.HFD);
}

// The window's single star on pure noise gives believable figures; the field gives none.
TEST(MedidaFoto, RuidoSinEstrellas) {
    CarpetaTemporal d;
    GuardarFichero(d / "n.fits", CampoSinEstrellas());
    const TResultadoFoto r = Medir(d / "n.fits", TModoMedida::Campo);
    EXPECT_EQ(r.Estado, TResultadoFoto::SinEstrellas);
    EXPECT_EQ(r.Estrellas, 0);
}

// What becomes of frames that fail, in both modes: only a short frame changed within the last
// ten seconds waits; everything else is skipped at once.
TEST(MedidaFoto, FotosQueFallan) {
    using namespace std::chrono_literals;
    CarpetaTemporal d;
    const std::string buena = FotoConEstrella(20000);
    std::string mala = buena;
    mala.replace(mala.find(TarjetaFits("NAXIS1", "64").substr(0, 30)), 80,
                 TarjetaFits("NAXIS1", "'abc'"));
    const struct {
        const char* caso;
        std::string contenido;
        std::chrono::seconds edad;
        TResultadoFoto::TEstado estado;
    } casos[] = {
        {"corta, recien escrita", buena.substr(0, 2880 + 4000), 0s, TResultadoFoto::Pendiente},
        {"cabecera a medias", buena.substr(0, 1000), 0s, TResultadoFoto::Pendiente},
        {"corta, de hace 11 s", buena.substr(0, 2880 + 4000), 11s, TResultadoFoto::Saltada},
        {"corta, reloj 11 s adelantado", buena.substr(0, 2880 + 4000), -11s,
         TResultadoFoto::Saltada},
        {"completa con NAXIS1 = 'abc'", mala, 0s, TResultadoFoto::Saltada},
        {"de 8 bits", BloqueCabecera({TarjetaFits("SIMPLE", "T"), TarjetaFits("BITPIX", "8"),
                                      TarjetaFits("NAXIS", "2")}),
         0s, TResultadoFoto::Saltada},
        {"sin END, de hace 11 s", std::string(2880 * 2, 'x'), 11s, TResultadoFoto::Saltada},
        {"vacia de datos", BloqueCabecera({TarjetaFits("SIMPLE", "T"), TarjetaFits("BITPIX", "16"),
                                           TarjetaFits("NAXIS", "2"), TarjetaFits("NAXIS1", "0"),
                                           TarjetaFits("NAXIS2", "0")}),
         0s, TResultadoFoto::Saltada},
    };
    for (const TModoMedida modo : {TModoMedida::Estrella, TModoMedida::Campo})
        for (const auto& c : casos) {
            SCOPED_TRACE(std::string(c.caso) + (modo == TModoMedida::Campo ? ", campo" : ""));
            GuardarFichero(d / "f.fits", c.contenido);
            Envejecer(d / "f.fits", c.edad);
            EXPECT_EQ(Medir(d / "f.fits", modo).Estado, c.estado);
        }
    EXPECT_EQ(Medir(d / "no-existe.fits", TModoMedida::Campo).Estado, TResultadoFoto::Saltada);
}

// Field mode reads the focuser's position as quorvel-medir --curva does; one that is not a
// number leaves the frame measured, with the reason. The single star never reads it.
TEST(MedidaFoto, PosicionDelEnfocador) {
    std::mt19937_64 azar(11);
    const TEscena escena = CrearEscena(AnchoCampo, AltoCampo, 30, 1.2, azar);
    const std::vector<uint16_t> cuentas = ExponerCampo(escena, 1.6, azar);
    const struct {
        std::vector<std::string> tarjetas;
        std::optional<double> posicion;
        const char* clave;
        const char* ilegible;
    } casos[] = {
        {{}, {}, "", ""},
        {{TarjetaFits("FOCUSPOS", "12680")}, 12680, "FOCUSPOS", ""},
        {{TarjetaFits("FOCPOS", "1.25D+03")}, 1250, "FOCPOS", ""},
        {{TarjetaFits("FOCPOS", "7"), TarjetaFits("FOCUSPOS", "9")}, 9, "FOCUSPOS", ""},
        {{TarjetaFits("FOCUSPOS", "'cerca'")}, {}, "", "FOCUSPOS no es un número: cerca"},
    };
    CarpetaTemporal d;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.clave);
        GuardarFichero(d / "f.fits", FitsDeCuentas(AnchoCampo, AltoCampo, cuentas, c.tarjetas));
        const TResultadoFoto r = Medir(d / "f.fits", TModoMedida::Campo);
        EXPECT_EQ(r.Estado, TResultadoFoto::Medida);
        EXPECT_GT(r.Estrellas, 10);
        ASSERT_EQ(r.Posicion.has_value(), c.posicion.has_value());
        if (c.posicion) {
            EXPECT_EQ(r.Posicion->Valor, *c.posicion);
            EXPECT_STREQ(r.Posicion->Clave, c.clave);
        }
        EXPECT_EQ(r.PosicionIlegible, c.ilegible);
        EXPECT_FALSE(Medir(d / "f.fits", TModoMedida::Estrella).Posicion);
    }
}
