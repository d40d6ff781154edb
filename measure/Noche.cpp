// SPDX-License-Identifier: GPL-3.0-or-later
#include "Noche.h"

#include "Mediana.h"
#include "UTPlaca.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <utility>

namespace {

// The n digits at texto[desde], as a number; false when they are not all there.
bool Digitos(const std::string& texto, size_t desde, size_t n, int& valor) {
    if (desde + n > texto.size()) return false;
    valor = 0;
    for (size_t k = desde; k < desde + n; ++k) {
        if (texto[k] < '0' || texto[k] > '9') return false;
        valor = valor * 10 + (texto[k] - '0');
    }
    return true;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long DiasCiviles(long a, int m, int d) {
    a -= m <= 2;
    const long era = (a >= 0 ? a : a - 399) / 400;
    const long ano = a - era * 400;
    const long dia = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + ano * 365 + ano / 4 - ano / 100 + dia - 719468;
}

int DiasDelMes(int a, int m) {
    static const int dias[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool bisiesto = (a % 4 == 0 && a % 100 != 0) || a % 400 == 0;
    return m == 2 && bisiesto ? 29 : dias[m - 1];
}

struct Matriz {
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
    void operator()(gsl_multifit_linear_workspace* w) const { gsl_multifit_linear_free(w); }
};

// Whether two runs of one filter lie at different temperatures: the slope's only witness.
bool TemperaturaCambia(const std::vector<TPuntoModelo>& series) {
    for (const TPuntoModelo& a : series)
        for (const TPuntoModelo& b : series)
            if (a.Filtro == b.Filtro && *a.Temperatura != *b.Temperatura) return true;
    return false;
}

} // namespace

std::optional<double> SegundosFecha(const std::string& t) {
    int a = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!Digitos(t, 0, 4, a) || t.size() < 10 || t[4] != '-' || !Digitos(t, 5, 2, m) ||
        t[7] != '-' || !Digitos(t, 8, 2, d))
        return std::nullopt;
    double fraccion = 0;
    if (t.size() > 10) {
        if (t[10] != 'T' || !Digitos(t, 11, 2, h) || t.size() < 19 || t[13] != ':' ||
            !Digitos(t, 14, 2, mi) || t[16] != ':' || !Digitos(t, 17, 2, s))
            return std::nullopt;
        size_t k = 19;
        if (k < t.size() && t[k] == '.') {
            double peso = 0.1;
            for (++k; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k, peso /= 10)
                fraccion += (t[k] - '0') * peso;
            if (t[k - 1] == '.') return std::nullopt;
        }
        if (k < t.size() && t[k] == 'Z') ++k; // UTC said aloud
        if (k != t.size()) return std::nullopt;
    }
    // Second 60 is a leap second.
    if (m < 1 || m > 12 || d < 1 || d > DiasDelMes(a, m) || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    return static_cast<double>(DiasCiviles(a, m, d)) * 86400 + h * 3600 + mi * 60 + s + fraccion;
}

TFotoNoche LeerFotoNoche(const TPlaca& Placa, const std::string& fichero) {
    TFotoNoche f;
    f.Fichero = fichero;
    f.Fecha = Placa.LeerClave("DATE-OBS");
    if (!f.Fecha.empty()) {
        f.Segundos = SegundosFecha(f.Fecha);
        if (!f.Segundos)
            throw std::runtime_error("DATE-OBS no es una fecha AAAA-MM-DDThh:mm:ss: " + f.Fecha);
    }
    f.Posicion = PosicionEnfocador(Placa);
    f.Filtro = Placa.LeerClave("FILTER");
    f.Temperatura = NumeroCabecera(Placa, "FOCTEMP");
    if (!f.Temperatura) f.Temperatura = NumeroCabecera(Placa, "FOCUSTEM");
    return f;
}

void OrdenarNoche(std::vector<TFotoNoche>& fotos) {
    std::vector<std::pair<double, size_t>> orden;
    double ultima = -HUGE_VAL;
    for (size_t k = 0; k < fotos.size(); ++k) {
        if (fotos[k].Segundos) ultima = *fotos[k].Segundos;
        orden.emplace_back(ultima, k);
    }
    std::stable_sort(orden.begin(), orden.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TFotoNoche> ordenadas;
    for (const auto& o : orden) ordenadas.push_back(std::move(fotos[o.second]));
    fotos = std::move(ordenadas);
}

std::vector<TTramo> BuscarSeries(const std::vector<TFotoNoche>& fotos) {
    const size_t n = fotos.size();
    const auto x = [&](size_t i) { return fotos[i].Posicion->Valor; };
    const auto fuera = [&](size_t i) {
        return !fotos[i].Posicion || (i > 0 && fotos[i - 1].Posicion && x(i - 1) == x(i)) ||
               (i + 1 < n && fotos[i + 1].Posicion && x(i + 1) == x(i));
    };
    std::vector<TTramo> tramos;
    size_t inicio = 0; // of the stretch being followed
    int sentido = 0;   // +1 rising, -1 falling, 0 not known yet
    const auto cerrar = [&](size_t fin) {
        if (fin - inicio >= FotosMinimasSerie) tramos.push_back({inicio, fin - inicio});
    };
    for (size_t i = 0; i < n; ++i) {
        if (fuera(i)) {
            cerrar(i);
            inicio = i + 1, sentido = 0;
        } else if (i > inicio && fotos[i].Filtro != fotos[i - 1].Filtro) {
            cerrar(i);
            inicio = i, sentido = 0;
        } else if (i > inicio) {
            const int d = x(i) > x(i - 1) ? 1 : -1;
            if (sentido != 0 && d != sentido) {
                // A turn: a run too short to count may still start the next from its last frame.
                const bool corto = i - inicio < FotosMinimasSerie;
                cerrar(i);
                inicio = corto ? i - 1 : i;
            }
            sentido = i > inicio ? d : 0;
        }
    }
    if (inicio < n) cerrar(n);
    return tramos;
}

std::optional<double> TemperaturaSerie(const std::vector<TFotoNoche>& fotos, const TTramo& t) {
    std::vector<double> v;
    for (size_t k = t.Primera; k < t.Primera + t.Fotos; ++k)
        if (fotos[k].Temperatura) v.push_back(*fotos[k].Temperatura);
    if (v.empty()) return std::nullopt;
    return Mediana(v);
}

TModeloFoco AjustarModelo(const std::vector<TPuntoModelo>& series) {
    const bool conT = std::any_of(series.begin(), series.end(),
                                  [](const TPuntoModelo& s) { return s.Temperatura.has_value(); });
    TModeloFoco r;
    std::vector<size_t> filtro; // each run's filter's index
    for (const TPuntoModelo& s : series) {
        if (conT && !s.Temperatura) continue;
        r.Usadas.push_back(s);
        const auto f = std::find_if(r.Filtros.begin(), r.Filtros.end(),
                                    [&](const TFiltroModelo& m) { return m.Filtro == s.Filtro; });
        filtro.push_back(static_cast<size_t>(f - r.Filtros.begin()));
        if (f == r.Filtros.end()) r.Filtros.push_back({s.Filtro, 0, 0, 0});
        ++r.Filtros[filtro.back()].Series;
    }
    const size_t n = r.Usadas.size(), p = r.Filtros.size() + conT;
    if (n == 0) throw std::runtime_error("ninguna serie buena (\"bien\") para el modelo");
    if (n < p + 1)
        throw std::runtime_error("pocas series buenas para el modelo: " + std::to_string(n) +
                                 (conT ? " con temperatura" : "") + ", y hacen falta al menos " +
                                 std::to_string(p + 1) + " (una más que las incógnitas: " +
                                 (conT ? "la pendiente y " : "") + "una ordenada por filtro)");
    if (conT && !TemperaturaCambia(r.Usadas))
        throw std::runtime_error("ningún filtro tiene series buenas a temperaturas distintas: "
                                 "no se puede medir cuántos pasos mueve un grado");

    const std::unique_ptr<gsl_matrix, Matriz> X(gsl_matrix_calloc(n, p)),
        cov(gsl_matrix_alloc(p, p));
    const std::unique_ptr<gsl_vector, Matriz> y(gsl_vector_alloc(n)), c(gsl_vector_alloc(p));
    const std::unique_ptr<gsl_multifit_linear_workspace, Matriz> w(gsl_multifit_linear_alloc(n, p));
    double media = 0;
    for (size_t i = 0; i < n; ++i) {
        if (conT) gsl_matrix_set(X.get(), i, 0, *r.Usadas[i].Temperatura);
        gsl_matrix_set(X.get(), i, conT + filtro[i], 1);
        gsl_vector_set(y.get(), i, r.Usadas[i].Mejor);
        media += r.Usadas[i].Mejor / static_cast<double>(n);
    }
    double chi2 = 0, total = 0;
    gsl_set_error_handler_off(); // a failure is answered here, not by aborting
    if (gsl_multifit_linear(X.get(), y.get(), c.get(), cov.get(), &chi2, w.get()) != GSL_SUCCESS)
        throw std::runtime_error("el ajuste del modelo no converge");
    for (const TPuntoModelo& s : r.Usadas) total += (s.Mejor - media) * (s.Mejor - media);
    r.R2 = total > 0 ? std::max(0.0, 1 - chi2 / total) : 1;
    if (conT) r.PasosPorGrado = gsl_vector_get(c.get(), 0);

    const TFiltroModelo* referencia = &r.Filtros[0];
    for (size_t f = 0; f < r.Filtros.size(); ++f) {
        r.Filtros[f].Ordenada = gsl_vector_get(c.get(), conT + f);
        if (r.Filtros[f].Series > referencia->Series) referencia = &r.Filtros[f];
    }
    const double cero = referencia->Ordenada;
    for (TFiltroModelo& f : r.Filtros) f.Desplazamiento = f.Ordenada - cero;
    return r;
}
