// SPDX-License-Identifier: GPL-3.0-or-later
// The field measurement on the cameras amateurs bring: colour mosaics, with and without the
// keywords that name them, and cameras that clip below the window's saturation level.
#include "Camara.h"
#include "Campo.h"
#include "EscritorFits.h"
#include "Fotos.h"
#include "Simulacion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// The true half-light diameter of a circular Gaussian of this sigma integrated over square
// pixels, by integration over the plane: the image is separable, each axis the Gaussian
// spread over one pixel, g(x) = Phi((x + 1/2) / sigma) - Phi((x - 1/2) / sigma).
double DiametroGauss(double sigma) {
    const auto g = [sigma](double x) {
        const double k = 1 / (sigma * std::sqrt(2.0));
        return 0.5 * (std::erf((x + 0.5) * k) - std::erf((x - 0.5) * k));
    };
    const double borde = 8 * sigma + 1, paso = borde / 1600;
    // Encircled light on rings of width paso, summed over 720 directions each.
    std::vector<double> anillos;
    for (double r = paso / 2; r < borde; r += paso) {
        double s = 0;
        for (int k = 0; k < 720; ++k) {
            const double a = (k + 0.5) * M_PI / 360;
            s += g(r * std::cos(a)) * g(r * std::sin(a));
        }
        anillos.push_back(s * 2 * M_PI / 720 * r * paso);
    }
    double total = 0;
    for (const double a : anillos) total += a;
    double acumulada = 0;
    for (size_t i = 0; i < anillos.size(); ++i) {
        if (acumulada + anillos[i] >= total / 2)
            return 2 * paso * (double(i) + (total / 2 - acumulada) / anillos[i]);
        acumulada += anillos[i];
    }
    return 0;
}

std::vector<std::string> Tarjetas(std::initializer_list<std::pair<const char*, const char*>> l) {
    std::vector<std::string> t;
    for (const auto& [clave, valor] : l) t.push_back(TarjetaFits(clave, valor));
    return t;
}

class Camara : public ConFotos {
protected:
    void Cargar(TPlaca& placa, int w, int h, const std::vector<uint16_t>& cuentas,
                const std::vector<std::string>& tarjetas = {}) {
        const std::string ruta = (carpeta_ / "foto.fits").string();
        GuardarFichero(ruta, FitsDeCuentas(w, h, cuentas, tarjetas));
        ASSERT_TRUE(placa.LeerFits(ruta));
    }
    TMedidaCampo Medir(int w, int h, const std::vector<uint16_t>& cuentas,
                       const std::vector<std::string>& tarjetas = {}) {
        TPlaca placa;
        Cargar(placa, w, h, cuentas, tarjetas);
        return MedirCampo(placa);
    }
};

TEST_F(Camara, TheKnownGaussianDiameter) {
    // The integration itself: a wide Gaussian is barely changed by its pixels (1.1774 sigma
    // the half-light radius, the pixel adding 1/12 px^2 to sigma^2), and the narrowest stays
    // above the pixel's own half-light diameter.
    EXPECT_NEAR(DiametroGauss(10), 2.35482 * std::sqrt(100 + 1.0 / 12), 0.002);
    EXPECT_NEAR(DiametroGauss(2), 2.35482 * std::sqrt(4 + 1.0 / 12), 0.01);
    EXPECT_GT(DiametroGauss(0.05), 0.7);
}

// Frames of sky alone, 64 x 48, from each kind of camera.
std::vector<uint16_t> Cielo(const TEscena& base) {
    TEscena e = base;
    e.ancho = 64, e.alto = 48;
    std::mt19937_64 azar(5);
    return ExponerCampo(e, TFoco{2, 2, 0}, azar);
}

TEST_F(Camara, ColourMosaicsAreRecognised) {
    struct TCaso {
        const char* nombre;
        std::string mosaico;
        double respuesta[3];
        double cielo; // the sky's share of the usual 200 counts
        std::vector<std::string> tarjetas;
        bool porCabecera, porCielo;
    };
    const std::vector<TCaso> casos = {
        // A mono sensor is a mosaic whose filters pass the same light.
        {"mono", "RGGB", {1, 1, 1}, 1, {}, false, false},
        {"mono, dark sky", "RGGB", {1, 1, 1}, 0.05, {}, false, false},
        {"RGGB, BAYERPAT", "RGGB", {0.6, 1, 0.45}, 1, Tarjetas({{"BAYERPAT", "'RGGB'"}}), true, true},
        {"GRBG, lower case", "GRBG", {0.6, 1, 0.45}, 1, Tarjetas({{"BAYERPAT", "'grbg    '"}}), true, true},
        {"GBRG, COLORTYP", "GBRG", {0.5, 1, 0.7}, 1, Tarjetas({{"COLORTYP", "'GBRG'"}}), true, true},
        // The tile named with an offset of one column: the data read GRBG from the first pixel.
        {"RGGB with XBAYROFF 1", "GRBG", {0.6, 1, 0.45}, 1,
         Tarjetas({{"BAYERPAT", "'RGGB'"}, {"XBAYROFF", "1"}, {"YBAYROFF", "0"}}), true, true},
        {"BGGR, no keyword", "BGGR", {0.6, 1, 0.45}, 1, {}, false, true},
        {"RGGB, dark sky, no keyword", "RGGB", {0.6, 1, 0.45}, 0.1, {}, false, true},
        {"RGGB, a red sky, no keyword", "RGGB", {1, 0.7, 0.4}, 1, {}, false, true},
        {"mono with BAYERPAT blank", "RGGB", {1, 1, 1}, 1, Tarjetas({{"BAYERPAT", "''"}}), false, false},
        {"mono, COLORTYP MONO", "RGGB", {1, 1, 1}, 1, Tarjetas({{"COLORTYP", "'MONO'"}}), false, false},
    };
    for (const TCaso& c : casos) {
        SCOPED_TRACE(c.nombre);
        TEscena e;
        e.mosaico = c.mosaico;
        std::copy(c.respuesta, c.respuesta + 3, e.respuesta);
        // The sky's share as the filters' own: a dark sky is a faint one in every colour.
        for (double& r : e.respuesta) r *= c.cielo;
        const std::vector<uint16_t> v = Cielo(e);
        TPlaca placa;
        Cargar(placa, 64, 48, v, c.tarjetas);
        EXPECT_EQ(MosaicoEnCabecera(placa), c.porCabecera);
        EXPECT_EQ(MosaicoEnCielo(v.data(), 64, 48), c.porCielo);
    }
}

TEST_F(Camara, MonoSensorsWithUnevenColumnsOrRowsAreNoMosaic) {
    // Odd and even columns (or rows) a few noise sigmas apart: both diagonals of the tile
    // differ, which no mosaic does, whose greens lie on one diagonal.
    TEscena e;
    const std::vector<uint16_t> cielo = Cielo(e);
    for (const bool columnas : {true, false}) {
        std::vector<uint16_t> v = cielo;
        for (size_t i = 0; i < v.size(); ++i)
            if ((columnas ? i % 64 : i / 64) % 2) v[i] = uint16_t(v[i] + 40);
        EXPECT_FALSE(MosaicoEnCielo(v.data(), 64, 48)) << columnas;
    }
}

TEST_F(Camara, ClipLevelFromKeywordsOrAPlateau) {
    // A field whose brightest stars clip at the camera's level.
    std::mt19937_64 azar(3);
    TEscena base = CrearEscena(400, 300, 40, 1.0, azar);
    struct TCaso {
        const char* nombre;
        double pedestal, saturacion, brillo;
        std::vector<std::string> tarjetas;
        int32_t nivel;
    };
    const std::vector<TCaso> casos = {
        {"16 bits, clipped at 65535", 0, 65535, 1, {}, 60001},
        {"14 bits with a black level of 600", 600, 15800, 1, {}, 15800},
        {"12 bits, raw counts", 128, 4095, 0.3, {}, 4095},
        {"12 bits, SATURATE", 128, 4095, 0.3, Tarjetas({{"SATURATE", "4000"}}), 4000},
        {"DATAMAX, fractional", 0, 65535, 1, Tarjetas({{"DATAMAX", "30000.5"}}), 30001},
        {"SATURATE above the window's level", 0, 65535, 1, Tarjetas({{"SATURATE", "65535"}}), 60001},
        {"SATURATE not a number", 600, 15800, 1, Tarjetas({{"SATURATE", "'alto'"}}), 15800},
        // Faint stars: only the warm pixels clip, at the same level.
        {"14 bits, warm pixels clip", 600, 15800, 0.01, {}, 15800},
    };
    for (const TCaso& c : casos) {
        SCOPED_TRACE(c.nombre);
        TEscena e = base;
        e.pedestal = c.pedestal, e.saturacion = c.saturacion;
        for (TEstrellaSimulada& s : e.estrellas) s.amplitud *= c.brillo;
        const std::vector<uint16_t> v = ExponerCampo(e, TFoco{1, 1, 0}, azar);
        TPlaca placa;
        Cargar(placa, 400, 300, v, c.tarjetas);
        EXPECT_EQ(NivelSaturacion(placa, v.data(), 400, 300), c.nivel);
    }
    // Nothing reaches the clip: the window's level stays.
    TEscena e = base;
    e.pedestal = 600, e.saturacion = 15800, e.calientes.clear();
    for (TEstrellaSimulada& s : e.estrellas) s.amplitud *= 0.01;
    const std::vector<uint16_t> v = ExponerCampo(e, TFoco{1, 1, 0}, azar);
    TPlaca placa;
    Cargar(placa, 400, 300, v);
    EXPECT_EQ(NivelSaturacion(placa, v.data(), 400, 300), 60001);
    // Nor is a flat frame a clipped camera.
    const std::vector<uint16_t> plano(400 * 300, 1000);
    Cargar(placa, 400, 300, plano);
    EXPECT_EQ(NivelSaturacion(placa, plano.data(), 400, 300), 60001);
}

// A focus run of a colour or clipping camera, as the field tests run mono ones.
struct TCamara {
    const char* nombre;
    std::function<void(TEscena&)> preparar;
    std::vector<std::string> tarjetas;
    double sigmaMin, sigmaMax;
    double tolerancia; // of the HFD against the true half-light diameter
    size_t minimo;     // the fewest stars a frame may keep
};

std::vector<TCamara> TiposDeCamara() {
    const auto color = [](const char* mosaico, double pedestal = 0, double saturacion = 65535) {
        return [=](TEscena& e) { e.mosaico = mosaico, e.pedestal = pedestal, e.saturacion = saturacion; };
    };
    const auto bayer = Tarjetas({{"BAYERPAT", "'RGGB'"}, {"XBAYROFF", "0"}, {"YBAYROFF", "0"}});
    return {
        {"RGGB, BAYERPAT", color("RGGB"), bayer, 1.0, 3.2, 0.05, 40},
        {"GBRG, no keyword", color("GBRG"), {}, 1.0, 3.2, 0.05, 40},
        {"BGGR named RGGB with offsets 1, 1", color("BGGR"),
         Tarjetas({{"BAYERPAT", "'RGGB'"}, {"XBAYROFF", "1"}, {"YBAYROFF", "1"}}), 1.0, 3.2, 0.05, 40},
        {"RGGB, Moffat beta 2.5", [](TEscena& e) { e.mosaico = "RGGB", e.perfil = TPerfil::Moffat, e.beta = 2.5; },
         bayer, 1.0, 3.2, 0.05, 40},
        {"RGGB, narrow stars (FWHM 2 at best)", color("RGGB"), bayer, 0.85, 2.5, 0.05, 30},
        {"RGGB, 1000 warm pixels, alone, in pairs and clusters",
         [](TEscena& e) {
             std::mt19937_64 azar(31);
             e.mosaico = "RGGB";
             AnadirCalientes(e, 1000, azar);
         },
         bayer, 1.0, 3.2, 0.05, 40},
        {"mono, 14 bits, black level 600, clips at 15800", color("", 600, 15800), {}, 1.0, 3.2,
         0.04, 30},
        {"RGGB, 12 bits, black level 128, clips at 4095 (DSLR-like)",
         [](TEscena& e) {
             e.mosaico = "RGGB", e.pedestal = 128, e.saturacion = 4095;
             for (TEstrellaSimulada& s : e.estrellas) s.amplitud *= 0.3;
         },
         {}, 1.0, 3.2, 0.05, 25},
    };
}

class Camaras : public Camara, public ::testing::WithParamInterface<size_t> {};

TEST_P(Camaras, FocusRunKeepsItsV) {
    const TCamara k = TiposDeCamara()[GetParam()];
    SCOPED_TRACE(k.nombre);
    constexpr int W = 1024, H = 768, Fotos = 15;
    std::mt19937_64 azar(20261209);
    TEscena escena = CrearEscena(W, H, 150, 1.0, azar);
    k.preparar(escena);
    std::vector<double> hfd;
    double peor = 0;
    size_t menos = 1000;
    for (int i = 0; i < Fotos; ++i) {
        const double s = k.sigmaMin + (k.sigmaMax - k.sigmaMin) * std::fabs(2.0 * i / (Fotos - 1) - 1);
        const TFoco foco{s, s, 0};
        const std::vector<uint16_t> v = ExponerCampo(escena, foco, azar);
        const TMedidaCampo m = Medir(W, H, v, k.tarjetas);
        const double verdad = escena.perfil == TPerfil::Gauss ? DiametroGauss(s)
                                                               : DiametroMediaLuz(escena, foco);
        const double error = m.HFD / verdad - 1;
        if (std::fabs(error) > std::fabs(peor)) peor = error;
        menos = std::min(menos, m.Estrellas.size());
        EXPECT_GE(m.Estrellas.size(), k.minimo) << "frame " << i;
        EXPECT_LE(std::fabs(error), k.tolerancia) << "frame " << i;
        size_t centradas = 0;
        for (const TEstrellaCampo& e : m.Estrellas) {
            // The stars used are the scene's, centred on them (a few may be a pair too close to
            // be told apart), and no pixel of them reached the clip.
            double d = 1e9;
            for (const TEstrellaSimulada& t : escena.estrellas) d = std::min(d, std::hypot(t.x - e.X, t.y - e.Y));
            centradas += d < std::max(1.0, e.HFD / 6);
            int tope = 0;
            for (int y = int(e.Y) - 1; y <= int(e.Y) + 1; ++y)
                for (int x = int(e.X) - 1; x <= int(e.X) + 1; ++x)
                    if (x >= 0 && y >= 0 && x < W && y < H) tope = std::max<int>(tope, v[size_t(y) * W + x]);
            EXPECT_LT(tope, std::min(escena.saturacion, 60001.0)) << e.X << ", " << e.Y;
        }
        EXPECT_GE(centradas, 0.9 * m.Estrellas.size()) << "frame " << i;
        if (m.HFD < 10 && m.Ajustadas > 0) {
            // The fits give the FWHM in the frame's pixels too.
            const double fwhm = 2.35482 * std::sqrt(s * s + 1.0 / 12);
            if (escena.perfil == TPerfil::Gauss) {
                EXPECT_NEAR(m.FWHM / fwhm, 1, 0.06) << "frame " << i;
            }
        }
        hfd.push_back(m.HFD);
    }
    for (int i = 0; i + 1 < Fotos; ++i) {
        if (i < Fotos / 2) EXPECT_GT(hfd[size_t(i)], hfd[size_t(i + 1)]) << "frame " << i;
        else EXPECT_LT(hfd[size_t(i)], hfd[size_t(i + 1)]) << "frame " << i;
    }
    std::printf("%-58s peor error HFD %+5.1f %%  estrellas >= %3zu\n", k.nombre, 100 * peor, menos);
}

INSTANTIATE_TEST_SUITE_P(Tipos, Camaras, ::testing::Range<size_t>(0, TiposDeCamara().size()));

TEST_F(Camara, SparseColourFieldFindsItsBestFrame) {
    // 12 bright stars on an RGGB mosaic without keywords, most of them saturating the green
    // pixels near best focus: the V's minimum lands on the true best frame.
    constexpr int W = 1280, H = 960, Fotos = 15;
    std::mt19937_64 azar(77);
    TEscena escena = CrearEscena(W, H, 12, 1.0, azar);
    escena.mosaico = "RGGB";
    for (TEstrellaSimulada& s : escena.estrellas) s.amplitud = 20000 + 6000 * (&s - &escena.estrellas[0]);
    std::vector<double> hfd;
    for (int i = 0; i < Fotos; ++i) {
        const double s = 1.2 + 2.0 * std::fabs(2.0 * i / (Fotos - 1) - 1);
        const TMedidaCampo m = Medir(W, H, ExponerCampo(escena, TFoco{s, s, 0}, azar));
        EXPECT_GE(m.Estrellas.size(), 3u) << "frame " << i;
        EXPECT_NEAR(m.HFD / DiametroGauss(s), 1, 0.05) << "frame " << i;
        hfd.push_back(m.HFD > 0 ? m.HFD : 1e9);
    }
    EXPECT_EQ(std::min_element(hfd.begin(), hfd.end()) - hfd.begin(), Fotos / 2);
}

TEST_F(Camara, TheWindowsPauseRunsWhileAMosaicIsPrepared) {
    // The block means and the warm pixels of a large colour frame are a whole-frame pass each:
    // the window's pause runs within them, every 256 rows.
    TEscena e;
    e.ancho = 1200, e.alto = 1100, e.mosaico = "RGGB";
    std::mt19937_64 azar(1);
    TPlaca placa;
    Cargar(placa, 1200, 1100, ExponerCampo(e, TFoco{2, 2, 0}, azar));
    int pausas = 0;
    const TFotoMedible f = FotoMedible(placa, [&] { ++pausas; });
    EXPECT_TRUE(f.mosaico);
    EXPECT_EQ(f.ancho, 1199);
    EXPECT_GE(pausas, 2 * (1100 / 256));
}

TEST_F(Camara, MonoFramesAreMeasuredAsTheyAre) {
    // Nothing of a mono frame changes: the measurement is the frame's own pixels; a frame that
    // holds a mosaic gives its stars where they are in the frame, though it is measured on the
    // means of its 2 x 2 blocks.
    std::mt19937_64 azar(9);
    TEscena escena = CrearEscena(800, 600, 60, 1.0, azar);
    for (TEstrellaSimulada& s : escena.estrellas) s.amplitud = std::min(s.amplitud, 30000.0);
    const std::vector<uint16_t> mono = ExponerCampo(escena, TFoco{1.5, 1.5, 0}, azar);
    TPlaca placa;
    Cargar(placa, 800, 600, mono);
    const TFotoMedible f = FotoMedible(placa);
    EXPECT_FALSE(f.mosaico);
    EXPECT_EQ(f.datos, Imagen.Datos());
    EXPECT_EQ(f.saturada, 60001);
    escena.mosaico = "GRBG";
    const TMedidaCampo m = Medir(800, 600, ExponerCampo(escena, TFoco{1.5, 1.5, 0}, azar));
    ASSERT_GE(m.Estrellas.size(), 30u);
    size_t centradas = 0; // a pair too close to be told apart may be one star
    for (const TEstrellaCampo& e : m.Estrellas) {
        double d = 1e9;
        for (const TEstrellaSimulada& t : escena.estrellas) d = std::min(d, std::hypot(t.x - e.X, t.y - e.Y));
        centradas += d < 0.5;
    }
    EXPECT_GE(centradas, 0.9 * m.Estrellas.size());
}

} // namespace
