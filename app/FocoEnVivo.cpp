// SPDX-License-Identifier: GPL-3.0-or-later
#include "FocoEnVivo.h"

#include "Numeros.h"

#include <algorithm>
#include <stdexcept>

void TFocoEnVivo::Anotar(const std::optional<TPosicionFoco>& posicion, double HFD, float FWHM) {
    rechazo_.clear();
    if (!posicion) return;
    const bool quieto = ultima_ && *ultima_ == posicion->Valor;
    ultima_ = posicion->Valor;
    if (quieto && error_.empty() && serie_.HFD.Bien()) {
        // A run with a focus drift must not move the curve it is judged by, and a night of
        // exposures must not make the refit ever longer.
        exceso_ = (HFD / serie_.HFD.A - 1) * 100;
        return;
    }
    exceso_.reset();
    puntos_.push_back({posicion, static_cast<double>(puntos_.size() + 1), HFD, FWHM});
    try {
        serie_ = AjustarSerie(puntos_);
        error_.clear();
    } catch (const std::runtime_error& e) {
        serie_ = {};
        error_ = e.what();
    }
}

void TFocoEnVivo::Rechazar(const std::string& motivo) {
    rechazo_ = motivo;
    exceso_.reset();
}

void TFocoEnVivo::Vaciar() {
    *this = {};
}

std::string TFocoEnVivo::Posicion() const {
    const std::string formato =
        serie_.Decimales > 0 ? "0." + std::string(static_cast<size_t>(serie_.Decimales), '0') : "0";
    return FormatearNumero(serie_.HFD.P, formato, SeparadoresUsuario.decimal);
}

std::string TFocoEnVivo::Titulo() const {
    return error_.empty() && serie_.HFD.Bien() ? " - mejor foco " + Posicion() : std::string();
}

std::string TFocoEnVivo::Linea() const {
    if (!rechazo_.empty()) return "Foto sin posición del enfocador: " + rechazo_;
    if (puntos_.empty()) return {};
    if (!error_.empty()) return "Sin mejor foco: " + error_;
    const TAjusteCurva& a = serie_.HFD;
    const std::string fotos = FormatearEntero(static_cast<int64_t>(puntos_.size())) +
                              (puntos_.size() == 1 ? " foto" : " fotos");
    if (!a.Bien()) return "Sin mejor foco: " + std::string(TextoEstado(a.Estado)) + " (" + fotos + ")";
    if (exceso_) {
        const int32_t pct = Redondear(std::clamp(*exceso_, -100.0, 1e6));
        return "Mejor foco: " + Posicion() + " · HFD " + (pct >= 0 ? "+" : "") +
               FormatearEntero(pct) + " % sobre el mejor foco";
    }
    return "Mejor foco: " + Posicion() + " (" + fotos + ", R2 " +
           FormatearNumero(a.R2, "0.000", SeparadoresUsuario.decimal) + ")";
}
