// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlanoFocal.h"

#include "Inclinacion.h"

#include <cmath>

namespace {

std::optional<double> Media(const std::vector<double>& v) {
    if (v.empty()) return std::nullopt;
    double s = 0;
    for (double x : v) s += x;
    return s / static_cast<double>(v.size());
}

std::string VeredictoPlano(double inclinacion, double curvatura, double tolerancia) {
    const bool inclinado = inclinacion > tolerancia, curvado = curvatura > tolerancia;
    if (inclinado && curvado) return "inclinado y curvado";
    if (inclinado) return "inclinado";
    if (curvado) return "curvado";
    return "dentro de tolerancia";
}

} // namespace

TPlanoFocal AjustarPlanoFocal(const std::vector<TFotoPlano>& fotos) {
    TPlanoFocal r;
    std::vector<TPuntoFoco> puntos;
    TNovenos<std::vector<double>> anchos; // each ninth's median HFD, frame by frame
    for (const TFotoPlano& f : fotos) {
        puntos.push_back(f.Punto);
        const TInclinacion mapa = MedirInclinacion(f.Estrellas, f.Ancho, f.Alto);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) anchos[i][j].push_back(mapa.Noveno[i][j].value_or(NAN));
    }
    r.Serie = AjustarSerie(puntos);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            r.Curva[i][j] = AjustarCurva(r.Serie.X, anchos[i][j]);
            if (r.Curva[i][j].Bien()) r.Mejor[i][j] = r.Curva[i][j].P;
        }
    const auto& m = r.Mejor;
    std::vector<double> x, y, diagonales;
    for (int k = 0; k < 3; ++k) {
        if (m[0][k] && m[2][k]) x.push_back(*m[2][k] - *m[0][k]);
        if (m[k][0] && m[k][2]) y.push_back(*m[k][2] - *m[k][0]);
    }
    r.InclinacionX = Media(x);
    r.InclinacionY = Media(y);
    if (m[0][0] && m[2][2]) diagonales.push_back((*m[0][0] + *m[2][2]) / 2);
    if (m[2][0] && m[0][2]) diagonales.push_back((*m[2][0] + *m[0][2]) / 2);
    if (const auto esquinas = Media(diagonales); esquinas && m[1][1])
        r.Curvatura = *esquinas - *m[1][1];

    const TAjusteCurva& centro = r.Curva[1][1];
    r.Estado = centro.Estado;
    if (centro.Bien())
        r.Tolerancia = centro.B * std::sqrt(std::pow(1 + EnsanchamientoTolerado, 2) - 1);
    if (r.Tolerancia && r.InclinacionX && r.InclinacionY && r.Curvatura)
        r.Veredicto = VeredictoPlano(std::hypot(*r.InclinacionX, *r.InclinacionY),
                                     std::fabs(*r.Curvatura), *r.Tolerancia);
    return r;
}
