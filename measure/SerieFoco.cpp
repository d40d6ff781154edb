// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerieFoco.h"

#include "Medida.h"
#include "Numeros.h"
#include "UTPlaca.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// Beyond any focuser's travel or any sensor's temperature, in any unit.
constexpr double LimiteCabecera = 1e9;

} // namespace

std::optional<double> NumeroCabecera(const TPlaca& Placa, const char* clave) {
    std::string valor = Placa.LeerClave(clave);
    if (valor.empty()) return std::nullopt;
    const std::string escrito = valor;
    // Fortran's double-precision exponent, which the FITS standard allows beside E.
    for (char& c : valor)
        if (c == 'D' || c == 'd') c = 'E';
    if (!EsNumero(valor))
        throw std::runtime_error(std::string(clave) + " no es un número: " + escrito);
    const double x = ConvertirNumero(valor);
    if (!std::isfinite(x) || std::fabs(x) > LimiteCabecera)
        throw std::runtime_error(std::string(clave) + " fuera de rango: " + escrito);
    return x;
}

std::optional<TPosicionFoco> PosicionEnfocador(const TPlaca& Placa) {
    for (const char* clave : {"FOCUSPOS", "FOCPOS"})
        if (const std::optional<double> x = NumeroCabecera(Placa, clave))
            return TPosicionFoco{*x, clave};
    return std::nullopt;
}

int DecimalesDe(const std::vector<double>& valores) {
    for (int d = 0; d < 6; ++d) {
        const double escala = std::pow(10.0, d);
        bool exacto = true;
        for (double v : valores) {
            const double e = v * escala;
            exacto = exacto && std::fabs(e - std::nearbyint(e)) <= 1e-6 * std::max(1.0, std::fabs(e));
        }
        if (exacto) return d;
    }
    return 6;
}

TSerieFoco AjustarSerie(const std::vector<TPuntoFoco>& puntos) {
    size_t conPosicion = 0, focuspos = 0;
    for (const TPuntoFoco& p : puntos) {
        conPosicion += p.Posicion.has_value();
        focuspos += p.Posicion && std::string(p.Posicion->Clave) == "FOCUSPOS";
    }
    if (conPosicion > 0 && conPosicion < puntos.size())
        throw std::runtime_error("unas fotos dan su posición (FOCUSPOS o FOCPOS) y otras no: "
                                 "hace falta en todas o en ninguna");
    if (focuspos > 0 && focuspos < conPosicion)
        throw std::runtime_error("unas fotos dan la posición en FOCUSPOS y otras en FOCPOS: "
                                 "pueden ser contadores distintos");
    TSerieFoco s;
    s.ConPosicion = conPosicion > 0;
    std::vector<double> hfd, fwhm;
    for (const TPuntoFoco& p : puntos) {
        s.X.push_back(p.Posicion ? p.Posicion->Valor : p.Lugar);
        hfd.push_back(p.HFD);
        fwhm.push_back(p.FWHM == FWHMBorrosa ? NAN : p.FWHM);
    }
    // One frame is a run too short, as the curve's checks say; more frames at one place are none.
    if (s.ConPosicion && s.X.size() > 1 &&
        std::all_of(s.X.begin(), s.X.end(), [&](double x) { return x == s.X[0]; }))
        throw std::runtime_error("todas las fotos están en la misma posición del enfocador (" +
                                 FormatearNumero(s.X[0], "0.######", '.') +
                                 "): no hay curva de enfoque que ajustar");
    s.Decimales = DecimalesDe(s.X);
    s.HFD = AjustarCurva(s.X, hfd);
    s.FWHM = AjustarCurva(s.X, fwhm);
    return s;
}
