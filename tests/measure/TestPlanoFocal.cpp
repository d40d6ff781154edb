// SPDX-License-Identifier: GPL-3.0-or-later
// The focal plane from a focus run: each ninth's best position, the tilt and the curvature,
// apart, against planes of known lean and bend.
#include "Campo.h"
#include "Fotos.h"
#include "PlanoFocal.h"
#include "Simulacion.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int W = 900, H = 600;

// The best position at frame pixel (x, y): p0 at the centre, changing by tx from the left edge to
// the right and by ty from the bottom to the top, and c further at a corner than at the centre,
// growing with the squared distance from the centre.
struct Plano {
    double tx, ty, c;
    double En(double x, double y) const {
        const double u = x / W - 0.5, v = y / H - 0.5;
        return 1000 + tx * u + ty * v + c * (u * u * W * W + v * v * H * H) / (0.25 * (W * W + H * H));
    }
};

// Truths from the plane alone. A third's stars are spread evenly over it, so a linear term's
// mean over the outer thirds' centres differs by 2/3 of the change across the frame. The bend's
// mean over a ninth is c times the mean of (u² W² + v² H²) over it relative to a corner's:
// the mean of u² over [1/6, 1/2] is 13/108, over [-1/6, 1/6] it is 1/108.
double InclinacionVerdad(double t) {
    return 2.0 / 3 * t;
}
double CurvaturaVerdad(double c) {
    const double esquina = 13.0 / 108, centro = 1.0 / 108;
    return c * (esquina - centro) * (W * W + H * H) / (0.25 * (W * W + H * H));
}

// A run of 11 frames, 20 units apart around 1000, of 400 stars at even random positions whose
// HFD follows the light cone around their own best position, with 4 % scatter.
std::vector<TFotoPlano> Serie(const Plano& plano, unsigned semilla) {
    std::mt19937_64 azar(semilla);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> ruido(0, 0.04);
    std::vector<std::pair<double, double>> sitios;
    for (int k = 0; k < 400; ++k) sitios.push_back({u(azar) * W, u(azar) * H});
    std::vector<TFotoPlano> fotos;
    for (int i = 0; i < 11; ++i) {
        TFotoPlano f;
        f.Ancho = W;
        f.Alto = H;
        const double x = 900 + 20 * i;
        f.Punto.Posicion = TPosicionFoco{x, "FOCUSPOS"};
        f.Punto.Lugar = i + 1;
        for (const auto& [sx, sy] : sitios) {
            TEstrellaCampo e;
            e.X = sx;
            e.Y = sy;
            e.HFD = 2.5 * std::hypot(1, (x - plano.En(sx, sy)) / 35) * (1 + ruido(azar));
            f.Estrellas.push_back(e);
        }
        f.Punto.HFD = 3;
        fotos.push_back(std::move(f));
    }
    return fotos;
}

TEST(PlanoFocal, TiltAndCurvatureComeApartWithTheirSigns) {
    const Plano planos[] = {
        {0, 0, 0},   {60, 0, 0},  {-60, 0, 0},   {0, 45, 0},
        {0, 0, 40},  {0, 0, -40}, {50, -30, 25},
    };
    unsigned semilla = 1;
    for (const Plano& p : planos) {
        SCOPED_TRACE(::testing::Message() << p.tx << ", " << p.ty << ", " << p.c);
        const TPlanoFocal r = AjustarPlanoFocal(Serie(p, ++semilla));
        ASSERT_TRUE(r.InclinacionX && r.InclinacionY && r.Curvatura && r.Tolerancia);
        // A fifth of a step of 20, or 8 % of the figure.
        EXPECT_NEAR(*r.InclinacionX, InclinacionVerdad(p.tx), 4 + 0.08 * std::fabs(p.tx));
        EXPECT_NEAR(*r.InclinacionY, InclinacionVerdad(p.ty), 4 + 0.08 * std::fabs(p.ty));
        EXPECT_NEAR(*r.Curvatura, CurvaturaVerdad(p.c), 4 + 0.08 * std::fabs(p.c));
        ASSERT_TRUE(r.Mejor[1][1]);
        EXPECT_NEAR(*r.Mejor[1][1], p.En(W / 2.0, H / 2.0), 4);
        EXPECT_EQ(r.Estado, TEstadoCurva::Bien);
        // HFD(x) = 2.5 √(1 + (x/35)²) widens by 10 % at 35 √(1.1² − 1).
        EXPECT_NEAR(*r.Tolerancia, 35 * std::sqrt(0.21), 3);
    }
}

TEST(PlanoFocal, VerdictAgainstTheTolerance) {
    // The tolerance is about 16 units.
    const std::pair<Plano, const char*> casos[] = {
        {{0, 0, 0}, "dentro de tolerancia"},
        {{60, 0, 0}, "inclinado"},
        {{0, -60, 0}, "inclinado"},
        {{0, 0, 60}, "curvado"},
        {{60, 0, -60}, "inclinado y curvado"},
    };
    for (const auto& [p, veredicto] : casos)
        EXPECT_EQ(AjustarPlanoFocal(Serie(p, 9)).Veredicto, veredicto) << p.tx << p.ty << p.c;
}

TEST(PlanoFocal, AnEmptyNinthLeavesItsFiguresToTheOthers) {
    // No star in the top right ninth: the tilts use the rows and columns still whole, the
    // curvature the one whole diagonal.
    const Plano p{60, 30, 30};
    std::vector<TFotoPlano> fotos = Serie(p, 4);
    for (TFotoPlano& f : fotos)
        std::erase_if(f.Estrellas, [](const TEstrellaCampo& e) {
            return e.X > 2 * W / 3.0 && e.Y > 2 * H / 3.0;
        });
    const TPlanoFocal r = AjustarPlanoFocal(fotos);
    EXPECT_FALSE(r.Mejor[2][2]);
    ASSERT_TRUE(r.InclinacionX && r.InclinacionY && r.Curvatura);
    EXPECT_NEAR(*r.InclinacionX, InclinacionVerdad(p.tx), 6);
    EXPECT_NEAR(*r.InclinacionY, InclinacionVerdad(p.ty), 6);
    EXPECT_NEAR(*r.Curvatura, CurvaturaVerdad(p.c), 6);
}

TEST(PlanoFocal, RunsWithoutACentreCurveHaveNoVerdict) {
    // The run ends before the best focus: no ninth's minimum is inside it.
    std::vector<TFotoPlano> fotos = Serie({0, 0, 0}, 5);
    fotos.resize(5);
    const TPlanoFocal r = AjustarPlanoFocal(fotos);
    EXPECT_NE(r.Estado, TEstadoCurva::Bien);
    EXPECT_FALSE(r.Tolerancia || r.Mejor[1][1]);
    EXPECT_EQ(r.Veredicto, "");
    // All at one position: an error, not a fit.
    for (TFotoPlano& f : fotos) f.Punto.Posicion->Valor = 1000;
    EXPECT_THROW(AjustarPlanoFocal(fotos), std::runtime_error);
}

// Real frames: Moffat stars with warm pixels, measured as the tool measures them.
class PlanoFocalFotos : public ConFotos {};

TEST_F(PlanoFocalFotos, MoffatFieldsMeasuredFrameByFrame) {
    const Plano p{60, -40, 0};
    std::mt19937_64 azar(21);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<std::tuple<double, double, double>> sitios;
    for (int k = 0; k < 350; ++k)
        sitios.push_back({6 + u(azar) * (W - 12), 6 + u(azar) * (H - 12), 2e4 * std::pow(10.0, u(azar))});
    std::vector<TFotoPlano> fotos;
    for (int i = 0; i < 9; ++i) {
        const double x = 920 + 20 * i;
        std::vector<TEstrellaPerfil> estrellas;
        for (const auto& [sx, sy, flujo] : sitios)
            estrellas.push_back({sx, sy, flujo, 3.0 * std::hypot(1, (x - p.En(sx, sy)) / 30)});
        std::vector<uint16_t> cuentas = ExponerPerfiles(W, H, estrellas, 3.0, azar);
        for (int k = 0; k < 60; ++k) { // warm pixels, the same in every frame
            uint16_t& c = cuentas[static_cast<size_t>((k * 7919) % (W * H))];
            c = static_cast<uint16_t>(std::min(65535, c + 500 + 97 * k));
        }
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(Guardar(Cuentas(W, H, std::move(cuentas)))));
        TMedidaCampo m = MedirCampo(placa);
        fotos.push_back({{TPosicionFoco{x, "FOCUSPOS"}, i + 1.0, m.HFD, m.FWHM},
                         std::move(m.Estrellas), W, H});
    }
    const TPlanoFocal r = AjustarPlanoFocal(fotos);
    ASSERT_TRUE(r.InclinacionX && r.InclinacionY && r.Curvatura);
    EXPECT_NEAR(*r.InclinacionX, InclinacionVerdad(p.tx), 8);
    EXPECT_NEAR(*r.InclinacionY, InclinacionVerdad(p.ty), 8);
    EXPECT_NEAR(*r.Curvatura, 0, 8);
    EXPECT_EQ(r.Veredicto, "inclinado");
}

} // namespace
