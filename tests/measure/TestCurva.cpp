// SPDX-License-Identifier: GPL-3.0-or-later
// The focus curve: runs through focus with a known best position, measured as the tool
// measures them, and runs made to fail each check.
#include "Campo.h"
#include "Curva.h"
#include "Fotos.h"
#include "Medida.h"
#include "Simulacion.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

// A run of frames at positions 0, 1, 2, ... (focuser steps): the star's FWHM follows the
// hyperbola through best focus at `mejor`, from `fwhmMin` there to `fwhmMax` at the farther end.
struct TCasoRun {
    const char* nombre;
    int fotos;
    double mejor;
    double beta; // 0 for Gaussian stars, else Moffat
    bool campo;
};

void PrintTo(const TCasoRun& caso, std::ostream* os) {
    *os << caso.nombre;
}

class Curva : public ConFotos, public ::testing::WithParamInterface<TCasoRun> {
protected:
    static constexpr double FwhmMin = 3.0, FwhmMax = 8.0;

    // The frame's HFD, measured as quorvel-medir measures it.
    double Medir(const Cuentas& c, bool campo) {
        TPlaca placa;
        EXPECT_TRUE(placa.LeerFits(Guardar(c)));
        if (campo) return MedirCampo(placa).HFD;
        TListaOrdenada o;
        TListaAcumulada a;
        return MedirEstrella(placa, o, a).HFD;
    }
};

TEST_P(Curva, BestPositionWithinAQuarterStep) {
    const TCasoRun& caso = GetParam();
    const double lejos = std::max(caso.mejor, caso.fotos - 1 - caso.mejor);
    const double b = lejos / std::sqrt(std::pow(FwhmMax / FwhmMin, 2) - 1);
    std::mt19937_64 azar(20261208 + caso.fotos);
    // The field: 30 stars away from the edges, fluxes over a decade, none saturating.
    const int w = caso.campo ? 360 : 64, h = caso.campo ? 270 : 64;
    std::vector<TEstrellaPerfil> estrellas;
    std::uniform_real_distribution<double> u(0, 1);
    for (int k = 0; k < (caso.campo ? 30 : 1); ++k)
        estrellas.push_back(caso.campo
                                ? TEstrellaPerfil{20 + u(azar) * (w - 40), 20 + u(azar) * (h - 40),
                                                  3e4 * std::pow(10.0, u(azar)), 0}
                                : TEstrellaPerfil{31.7, 32.4, 2.5e5, 0});
    std::vector<double> x, hfd;
    for (int i = 0; i < caso.fotos; ++i) {
        for (TEstrellaPerfil& e : estrellas)
            e.fwhm = 2.35482 * SigmaHiperbola(i, caso.mejor, b, FwhmMin / 2.35482);
        x.push_back(i);
        hfd.push_back(
            Medir(Cuentas(w, h, ExponerPerfiles(w, h, estrellas, caso.beta, azar)), caso.campo));
    }
    const TAjusteCurva a = AjustarCurva(x, hfd);
    EXPECT_TRUE(a.Bien());
    EXPECT_NEAR(a.P, caso.mejor, 0.25);
    EXPECT_GT(a.R2, 0.95);
    std::printf("[ curva    ] %-22s error %.3f pasos, R2 %.4f, %d puntos\n", caso.nombre,
                a.P - caso.mejor, a.R2, a.Puntos);
}

INSTANTIATE_TEST_SUITE_P(Runs, Curva,
                         ::testing::Values(TCasoRun{"Gauss9Izquierda", 9, 2.3, 0, false},
                                           TCasoRun{"Moffat13Derecha", 13, 8.6, 2.5, false},
                                           TCasoRun{"Gauss21Campo", 21, 6.4, 0, true},
                                           TCasoRun{"Moffat15Campo", 15, 9.2, 3.0, true},
                                           TCasoRun{"Moffat11Centro", 11, 5.5, 4.0, false},
                                           TCasoRun{"Gauss17Campo", 17, 10.85, 0, true}),
                         [](const auto& info) { return std::string(info.param.nombre); });

// Widths a · sqrt(1 + ((x − p) / b)²) at x = 0 .. n − 1, with a relative scatter.
std::vector<double> Anchuras(int n, double a, double b, double p, double ruido, unsigned semilla) {
    std::mt19937_64 azar(semilla);
    std::normal_distribution<double> normal(0, ruido);
    std::vector<double> w;
    for (int i = 0; i < n; ++i) w.push_back(Hiperbola(i, a, b, p) * (1 + normal(azar)));
    return w;
}

std::vector<double> Posiciones(int n) {
    std::vector<double> x;
    for (int i = 0; i < n; ++i) x.push_back(i);
    return x;
}

TEST(CurvaEstado, EachCheckFailsOnARunMadeToFailIt) {
    struct Caso {
        const char* que;
        std::vector<double> w;
        const char* estado;
    };
    std::vector<double> dispersas = Anchuras(11, 3, 2, 5, 0, 1);
    for (size_t i = 0; i < dispersas.size(); ++i) dispersas[i] *= i % 2 ? 1.5 : 0.7;
    const Caso casos[] = {
        {"a clean V", Anchuras(11, 3, 2, 4.6, 0.02, 2), "bien"},
        {"the run stops short of focus", Anchuras(9, 3, 2, 12, 0.01, 3),
         "el mínimo cae fuera de lo medido"},
        {"one frame before focus", Anchuras(11, 3, 1.5, 0.6, 0.01, 4), "pocos puntos a un lado"},
        {"a run too short to leave the waist", Anchuras(9, 3, 20, 4, 0.001, 5),
         "la anchura no cambia en la serie"},
        {"a run rising on one side only", Anchuras(9, 3, 4, 1.5, 0.001, 5), "la curva no sube"},
        {"widths scattered by seeing", dispersas, "R2 bajo"},
        {"three points", Anchuras(3, 3, 1, 1, 0, 6), "pocos puntos a un lado"},
        // The same focus throughout: only the seeing's scatter of 2 %.
        {"a run that never changed focus", Anchuras(11, 3, 1e6, 5, 0.02, 8),
         "la anchura no cambia en la serie"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        const TAjusteCurva a = AjustarCurva(Posiciones(static_cast<int>(c.w.size())), c.w);
        EXPECT_STREQ(TextoEstado(a.Estado), c.estado) << "P " << a.P << " R2 " << a.R2;
    }
}

TEST(CurvaEstado, OneWildPointIsDroppedAndTheFitIsTheSame) {
    const std::vector<double> x = Posiciones(13);
    std::vector<double> w = Anchuras(13, 2.5, 2, 7.3, 0.02, 7);
    const TAjusteCurva limpio = AjustarCurva(x, w);
    EXPECT_EQ(limpio.Puntos, 13); // scatter alone rejects nothing
    w[3] *= 1.8;                  // a passing cloud, a gust
    const TAjusteCurva a = AjustarCurva(x, w);
    EXPECT_TRUE(a.Bien());
    EXPECT_EQ(a.Puntos, 12);
    EXPECT_FALSE(a.Usados[3]);
    EXPECT_NEAR(a.P, limpio.P, 0.05);
    EXPECT_NEAR(a.A, limpio.A, 0.02);
}

TEST(CurvaEstado, WidthsThatAreNoNumbersAreLeftOut) {
    std::vector<double> w = Anchuras(9, 3, 2, 4, 0, 8);
    const std::vector<double> exacta = w;
    w[0] = NAN;
    w[8] = 0;
    w[5] = -1;
    const TAjusteCurva a = AjustarCurva(Posiciones(9), w);
    EXPECT_EQ(a.Puntos, 6);
    EXPECT_FALSE(a.Usados[0] || a.Usados[5] || a.Usados[8]);
    EXPECT_NEAR(a.P, 4, 1e-6);
    EXPECT_NEAR(a.A, 3, 1e-6);
    EXPECT_NEAR(a.B, 2, 1e-6);
    EXPECT_EQ(a.Izquierda, 3); // 1, 2, 3; the point at 4 is on neither side
    EXPECT_EQ(a.Derecha, 2);
    // Large focuser positions fit as well as small ones.
    std::vector<double> lejanas;
    for (double v : Posiciones(9)) lejanas.push_back(31000 + 50 * v);
    const TAjusteCurva l = AjustarCurva(lejanas, exacta);
    EXPECT_NEAR(l.P, 31200, 1e-3);
    EXPECT_NEAR(l.B, 100, 1e-3);
}

} // namespace
