// SPDX-License-Identifier: GPL-3.0-or-later
// The figures of 1,200 random frames, regenerated from their seed, against a record of what the
// measurement gave for them: the speed work must leave every figure to the last bit.
//
// The record (registro_medidas.txt beside this file) has one line per frame. To write it anew
// from the current code, run the test with QUORVEL_GRABAR_REGISTRO=1:
//   QUORVEL_GRABAR_REGISTRO=1 build/tests/measure/test_measure --gtest_filter='Registro.*'
// It depends on the C library's exp, so a new one calls for a new record.
#include "AjusteGauss.h"
#include "CarpetaTemporal.h"
#include "Errores.h"
#include "EscritorFits.h"
#include "Medida.h"
#include "Numeros.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Fotos = 1200;
constexpr uint64_t Semilla = 20261208;

// Unoptimised under the sanitizers, every fourth frame keeps the test to seconds.
#if defined(__SANITIZE_ADDRESS__)
constexpr int Paso = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int Paso = 4;
#else
constexpr int Paso = 1;
#endif
#else
constexpr int Paso = 1;
#endif

// splitmix64: the same numbers on every platform, unlike the standard distributions.
class Azar {
public:
    explicit Azar(uint64_t semilla) : s_(semilla) {}
    uint64_t Siguiente() {
        uint64_t z = (s_ += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    double Uniforme() { return static_cast<double>(Siguiente() >> 11) * 0x1p-53; }
    double Entre(double a, double b) { return a + (b - a) * Uniforme(); }
    int64_t Entero(int64_t a, int64_t b) { // inclusive
        return a + static_cast<int64_t>(Siguiente() % static_cast<uint64_t>(b - a + 1));
    }
    // Near-normal, unit variance: four uniforms from one draw, cheap for whole frames.
    double Ruido() {
        const uint64_t z = Siguiente();
        double s = 0;
        for (int k = 0; k < 4; ++k) s += static_cast<double>((z >> (16 * k)) & 0xffff) / 65536.0;
        return (s - 2.0) * std::sqrt(3.0);
    }

private:
    uint64_t s_;
};

struct Foto {
    int64_t ancho = 0, alto = 0;
    std::vector<uint16_t> cuentas; // first axis fastest
    std::string descripcion;
};

// Frame k: a sky (flat, noisy, sloping) with up to three stars anywhere, edges and beyond
// included, some too wide to fit, some saturated; now and then a flat or a tiny frame, or hot
// pixels, for the failures.
Foto Generar(int k) {
    Azar azar(Semilla * 1000003 + static_cast<uint64_t>(k));
    Foto f;
    std::ostringstream d;
    const double tipo = azar.Uniforme();
    if (tipo < 0.03) { // flat: no flux above the background
        f.ancho = azar.Entero(4, 120), f.alto = azar.Entero(4, 120);
        const auto v = static_cast<uint16_t>(azar.Uniforme() < 0.3 ? 0 : azar.Entero(1, 65535));
        f.cuentas.assign(static_cast<size_t>(f.ancho * f.alto), v);
        d << "plana " << f.ancho << "x" << f.alto << " " << v;
        f.descripcion = d.str();
        return f;
    }
    const double tamano = azar.Uniforme();
    if (tipo < 0.07) {
        f.ancho = azar.Entero(1, 9), f.alto = azar.Entero(1, 9);
    } else if (tamano < 0.9) {
        f.ancho = azar.Entero(10, 160), f.alto = azar.Entero(24, 160);
    } else if (tamano < 0.98) {
        f.ancho = azar.Entero(160, 500), f.alto = azar.Entero(160, 500);
    } else {
        f.ancho = azar.Entero(800, 1300), f.alto = azar.Entero(600, 900);
    }
    const int64_t w = f.ancho, h = f.alto;
    const double fondo = azar.Entre(0, 3000);
    const double ruido = azar.Uniforme() < 0.15 ? 0 : azar.Entre(0.5, 40);
    const bool pendiente = azar.Uniforme() < 0.1;
    const double gx = pendiente ? azar.Entre(-2, 2) : 0, gy = pendiente ? azar.Entre(-2, 2) : 0;
    d << w << "x" << h << " fondo " << fondo << " ruido " << ruido << " pendiente " << gx << ","
      << gy;

    std::vector<double> v(static_cast<size_t>(w * h));
    for (int64_t y = 0; y < h; ++y)
        for (int64_t x = 0; x < w; ++x)
            v[static_cast<size_t>(y * w + x)] = fondo + gx * static_cast<double>(x) +
                                                gy * static_cast<double>(y) +
                                                (ruido > 0 ? ruido * azar.Ruido() : 0);

    const double estrellas = azar.Uniforme();
    const int n = estrellas < 0.08 ? 0 : estrellas < 0.9 ? 1 : static_cast<int>(azar.Entero(2, 3));
    for (int s = 0; s < n; ++s) {
        double cx = 0, cy = 0;
        if (azar.Uniforme() < 0.85) {
            cx = azar.Entre(0, static_cast<double>(w)), cy = azar.Entre(0, static_cast<double>(h));
        } else { // near an edge, or just beyond it
            const double borde = azar.Entre(-3, 15);
            cx = azar.Entre(0, static_cast<double>(w)), cy = azar.Entre(0, static_cast<double>(h));
            switch (azar.Entero(0, 3)) {
            case 0:
                cx = borde;
                break;
            case 1:
                cx = static_cast<double>(w) - 1 - borde;
                break;
            case 2:
                cy = borde;
                break;
            default:
                cy = static_cast<double>(h) - 1 - borde;
                break;
            }
        }
        const double ancho = azar.Uniforme();
        const double sigma = ancho < 0.1    ? azar.Entre(0.2, 0.45)
                             : ancho < 0.65 ? azar.Entre(0.45, 2.2)
                             : ancho < 0.8  ? azar.Entre(2.2, 3.5)
                                            : azar.Entre(3.5, 8);
        const double amplitud =
            azar.Uniforme() < 0.15 ? azar.Entre(60000, 120000) : azar.Entre(50, 50000);
        d << " estrella " << cx << "," << cy << " sigma " << sigma << " amplitud " << amplitud;
        const double alcance = 6 * sigma + 3;
        const auto x0 = std::max<int64_t>(0, static_cast<int64_t>(cx - alcance));
        const auto x1 = std::min<int64_t>(w - 1, static_cast<int64_t>(cx + alcance));
        const auto y0 = std::max<int64_t>(0, static_cast<int64_t>(cy - alcance));
        const auto y1 = std::min<int64_t>(h - 1, static_cast<int64_t>(cy + alcance));
        for (int64_t y = y0; y <= y1; ++y)
            for (int64_t x = x0; x <= x1; ++x) {
                const double dx = static_cast<double>(x) - cx, dy = static_cast<double>(y) - cy;
                v[static_cast<size_t>(y * w + x)] +=
                    amplitud * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
            }
    }
    if (azar.Uniforme() < 0.1) {
        const int64_t calientes = azar.Entero(1, 5);
        d << " calientes " << calientes;
        for (int64_t c = 0; c < calientes; ++c)
            v[static_cast<size_t>(azar.Entero(0, w * h - 1))] = 65535;
    }
    f.cuentas.resize(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        f.cuentas[i] = static_cast<uint16_t>(std::clamp(std::nearbyint(v[i]), 0.0, 65535.0));
    f.descripcion = d.str();
    return f;
}

std::string Exacto(double v) {
    char texto[40];
    std::snprintf(texto, sizeof texto, "%a", v);
    return texto;
}

// One letter per kind of failure; the messages may change, the kind may not.
template <typename F> std::string Fallo(F&& paso) {
    try {
        paso();
        return {};
    } catch (const ErrorRango&) {
        return "F R";
    } catch (const ErrorAritmetico&) {
        return "F A";
    } catch (const ErrorConversion&) {
        return "F C";
    } catch (const std::exception&) {
        return "F X";
    }
}

// The record line of a loaded frame: the second box, then the figures or the failure, then,
// when the fit ran, all its outputs.
//   XMin YMin Maximo HFD FWHM CentroideX CentroideY NivelFondo Calidad [PosX PosY Flujo
//   FondoAjustado SenalRuido SenalRuidoPico]
// with exact hexadecimal numbers and '_' for a blank Calidad. The box is the one the steps
// left, the first pass's when that failed.
std::string Medir(TPlaca& placa, TListaOrdenada& ordenada, TListaAcumulada& acumulada) {
    std::string linea;
    TMedida medida(placa, ordenada, acumulada);
    Fallo([&] { medida.LocalizarEstrella(); });
    linea = std::to_string(medida.XMin) + " " + std::to_string(medida.YMin);
    TFigurasFoco f{};
    const std::string fallo = Fallo([&] { f = MedirEstrella(placa, ordenada, acumulada); });
    if (!fallo.empty()) return linea + " " + fallo;
    linea += " " + std::to_string(f.Maximo) + " " + Exacto(f.HFD) + " " + Exacto(f.FWHM) + " " +
             Exacto(f.CentroideX) + " " + Exacto(f.CentroideY) + " " + Exacto(f.NivelFondo) + " " +
             std::string(1, f.Calidad == ' ' ? '_' : f.Calidad);
    if (f.HFD >= 10.0) return linea;
    float PosX = 0, PosY = 0, SenalRuido = 0, SenalRuidoPico = 0, FWHM = 0;
    int32_t Flujo = 0, FondoAjustado = 0;
    char Calidad = 0;
    placa.AjustarGauss(Redondear(f.CentroideX), Redondear(f.CentroideY), RadioAjuste(f.HFD), PosX,
                       PosY, Flujo, FondoAjustado, SenalRuido, SenalRuidoPico, FWHM, Calidad,
                       60000);
    return linea + " " + Exacto(PosX) + " " + Exacto(PosY) + " " + std::to_string(Flujo) + " " +
           std::to_string(FondoAjustado) + " " + Exacto(SenalRuido) + " " + Exacto(SenalRuidoPico);
}

std::vector<std::string> Palabras(const std::string& linea) {
    std::vector<std::string> r;
    std::istringstream s(linea);
    for (std::string p; s >> p;) r.push_back(p);
    return r;
}

// Equal word for word, except the centroids (words 5 and 6), which may move by 1e-9 px: the
// first pass's whole-frame sums may be taken exactly rather than in order.
bool Iguales(const std::string& grabada, const std::string& medida) {
    const auto a = Palabras(grabada), b = Palabras(medida);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == b[i]) continue;
        const bool centroide = (i == 5 || i == 6) && a[2] != "F";
        if (!centroide || std::fabs(std::strtod(a[i].c_str(), nullptr) -
                                    std::strtod(b[i].c_str(), nullptr)) > 1e-9)
            return false;
    }
    return true;
}

TEST(Registro, RandomFramesMeasureAsRecorded) {
    CarpetaTemporal carpeta;
    const std::string ruta = carpeta / "foto.fits";
    TListaOrdenada ordenada;
    TListaAcumulada acumulada;
    std::vector<std::string> lineas(Fotos);
    for (int k = 0; k < Fotos; k += Paso) {
        const Foto f = Generar(k);
        GuardarFichero(ruta, FitsDeCuentas(f.ancho, f.alto, f.cuentas));
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(ruta)) << k << ": " << Mensaje;
        lineas[static_cast<size_t>(k)] = Medir(placa, ordenada, acumulada);
    }

    if (std::getenv("QUORVEL_GRABAR_REGISTRO")) {
        ASSERT_EQ(Paso, 1) << "El registro se escribe desde la compilación normal";
        std::ofstream salida(REGISTRO, std::ios::binary | std::ios::trunc);
        for (int k = 0; k < Fotos; ++k)
            salida << k << " " << lineas[static_cast<size_t>(k)] << "\n";
        ASSERT_TRUE(salida.flush()) << REGISTRO;
        GTEST_SKIP() << "Registro escrito en " << REGISTRO;
    }

    std::ifstream entrada(REGISTRO);
    ASSERT_TRUE(entrada) << REGISTRO;
    int leidas = 0, distintas = 0;
    for (std::string linea; std::getline(entrada, linea); ++leidas) {
        const auto espacio = linea.find(' ');
        ASSERT_NE(espacio, std::string::npos);
        const int k = std::stoi(linea.substr(0, espacio));
        ASSERT_EQ(k, leidas);
        ASSERT_LT(k, Fotos);
        const std::string grabada = linea.substr(espacio + 1);
        const std::string& medida = lineas[static_cast<size_t>(k)];
        if (k % Paso == 0 && !Iguales(grabada, medida) && ++distintas <= 10)
            ADD_FAILURE() << "foto " << k << " (" << Generar(k).descripcion
                          << ")\n  grabada: " << grabada << "\n  medida:  " << medida;
    }
    EXPECT_EQ(leidas, Fotos);
    EXPECT_EQ(distintas, 0);
}

// The record covers what it must: fits of every flag, wide stars, and each kind of failure.
TEST(Registro, CoversFitsWideStarsAndFailures) {
    std::ifstream entrada(REGISTRO);
    ASSERT_TRUE(entrada) << REGISTRO;
    int ajustes = 0, anchas = 0, rango = 0, aritmetica = 0;
    std::string calidades;
    for (std::string linea; std::getline(entrada, linea);) {
        const auto p = Palabras(linea);
        ASSERT_GE(p.size(), 5u) << linea;
        if (p[3] == "F") {
            ASSERT_EQ(p.size(), 5u) << linea;
            rango += p[4] == "R";
            aritmetica += p[4] == "A";
            continue;
        }
        ASSERT_GE(p.size(), 10u) << linea;
        if (p.size() > 10) {
            ++ajustes;
            if (calidades.find(p[9]) == std::string::npos) calidades += p[9];
        } else {
            ++anchas;
        }
    }
    EXPECT_GE(ajustes, Fotos / 3);
    EXPECT_GE(anchas, Fotos / 20);
    EXPECT_GE(rango, Fotos / 20);      // mostly fit boxes beyond the frame
    EXPECT_GE(aritmetica, Fotos / 20); // mostly no flux above the background
    std::sort(calidades.begin(), calidades.end());
    EXPECT_EQ(calidades, "CFS_");
}

} // namespace
