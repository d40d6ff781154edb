// SPDX-License-Identifier: GPL-3.0-or-later
// The map of widths of the stars the field measurement finds.
#include "Campo.h"
#include "Fotos.h"
#include "Inclinacion.h"
#include "Simulacion.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

// A field of 400 stars (the 200 brightest measured) whose width grows linearly along NAXIS1,
// measured as the tool does.
class InclinacionCampo : public ConFotos {
protected:
    static constexpr int W = 900, H = 600;
    TInclinacion Medir(double crecimiento, double fwhm, unsigned semilla) {
        std::mt19937_64 azar(semilla);
        std::uniform_real_distribution<double> u(0, 1);
        std::vector<TEstrellaPerfil> estrellas;
        for (int k = 0; k < 400; ++k) {
            const double x = 6 + u(azar) * (W - 12);
            estrellas.push_back({x, 6 + u(azar) * (H - 12), 2e4 * std::pow(15.0, u(azar)),
                                 fwhm * (1 + crecimiento * x / W)});
        }
        TPlaca placa;
        EXPECT_TRUE(
            placa.LeerFits(Guardar(Cuentas(W, H, ExponerPerfiles(W, H, estrellas, 0, azar)))));
        const TMedidaCampo m = MedirCampo(placa);
        return MedirInclinacion(m.Estrellas, W, H);
    }
};

TEST_F(InclinacionCampo, LinearGrowthGivesItsSpreadOnTheRightSide) {
    for (const double crecimiento : {0.2, 0.4}) {
        SCOPED_TRACE(crecimiento);
        const double fwhm = 3.0;
        const TInclinacion t = Medir(crecimiento, fwhm, 11);
        // A Gaussian's HFD is its FWHM; the outer thirds' stars lie about 1/6 and 5/6 across.
        const double verdad = fwhm * crecimiento * (5.0 / 6 - 1.0 / 6);
        ASSERT_TRUE(t.Dispersion);
        EXPECT_NEAR(*t.Dispersion, verdad, 0.2 * verdad);
        for (int j : {0, 2})
            for (int i : {0, 2}) ASSERT_TRUE(t.Noveno[i][j]);
        EXPECT_GT(std::min(*t.Noveno[2][0], *t.Noveno[2][2]),
                  std::max(*t.Noveno[0][0], *t.Noveno[0][2]));
    }
}

TEST_F(InclinacionCampo, AnEvenFieldHasLittleSpread) {
    for (const unsigned semilla : {3u, 4u}) {
        const TInclinacion t = Medir(0, 3.0, semilla);
        ASSERT_TRUE(t.DispersionPct);
        EXPECT_LT(*t.DispersionPct, 10) << semilla;
    }
}

} // namespace
