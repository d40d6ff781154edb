// SPDX-License-Identifier: GPL-3.0-or-later
#include "Curva.h"

#include "Mediana.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit.h>
#include <gsl/gsl_multifit_nlinear.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double R2Minimo = 0.8;
// Rising means the curve at the farthest point of each side is this much above its minimum.
constexpr double Subida = 1.1;
// Residuals are relative; below this their spread is rounding, not scatter.
constexpr double SigmaMinima = 1e-3;

struct Datos {
    std::vector<double> x, w;
};

int Residuos(const gsl_vector* q, void* datos, gsl_vector* f) {
    const Datos& d = *static_cast<const Datos*>(datos);
    const double A = gsl_vector_get(q, 0), B = gsl_vector_get(q, 1), P = gsl_vector_get(q, 2);
    for (size_t i = 0; i < d.x.size(); ++i)
        gsl_vector_set(f, i, (Hiperbola(d.x[i], A, B, P) - d.w[i]) / d.w[i]);
    return GSL_SUCCESS;
}

int Jacobiana(const gsl_vector* q, void* datos, gsl_matrix* J) {
    const Datos& d = *static_cast<const Datos*>(datos);
    const double A = gsl_vector_get(q, 0), B = gsl_vector_get(q, 1), P = gsl_vector_get(q, 2);
    for (size_t i = 0; i < d.x.size(); ++i) {
        const double u = (d.x[i] - P) / B, s = std::sqrt(1 + u * u);
        gsl_matrix_set(J, i, 0, s / d.w[i]);
        gsl_matrix_set(J, i, 1, -A * u * u / (B * s) / d.w[i]);
        gsl_matrix_set(J, i, 2, -A * u / (B * s) / d.w[i]);
    }
    return GSL_SUCCESS;
}

// The starting point: w² = A² + (A / B)² (x − P)² is a parabola in x, fitted linearly.
bool Inicio(const Datos& d, double& A, double& B, double& P) {
    const size_t n = d.x.size();
    gsl_matrix* X = gsl_matrix_alloc(n, 3);
    gsl_vector *y = gsl_vector_alloc(n), *pesos = gsl_vector_alloc(n), *c = gsl_vector_alloc(3);
    gsl_matrix* cov = gsl_matrix_alloc(3, 3);
    gsl_multifit_linear_workspace* t = gsl_multifit_linear_alloc(n, 3);
    const double x0 = d.x[0];
    for (size_t i = 0; i < n; ++i) {
        const double u = d.x[i] - x0; // shifted, so that large positions stay well conditioned
        gsl_matrix_set(X, i, 0, 1);
        gsl_matrix_set(X, i, 1, u);
        gsl_matrix_set(X, i, 2, u * u);
        gsl_vector_set(y, i, d.w[i] * d.w[i]);
        gsl_vector_set(pesos, i, 1 / std::pow(d.w[i], 4));
    }
    double chi2 = 0;
    const bool hecho = gsl_multifit_wlinear(X, pesos, y, c, cov, &chi2, t) == GSL_SUCCESS;
    const double c0 = gsl_vector_get(c, 0), c1 = gsl_vector_get(c, 1), c2 = gsl_vector_get(c, 2);
    gsl_multifit_linear_free(t);
    gsl_matrix_free(cov);
    gsl_vector_free(c);
    gsl_vector_free(pesos);
    gsl_vector_free(y);
    gsl_matrix_free(X);
    if (!hecho || !(c2 > 0)) return false;
    const double u = -c1 / (2 * c2), a2 = c0 - c2 * u * u;
    if (!(a2 > 0)) return false;
    A = std::sqrt(a2);
    B = A / std::sqrt(c2);
    P = x0 + u;
    return std::isfinite(A) && std::isfinite(B) && std::isfinite(P);
}

// Without a parabola: the smallest width at its position, the waist a quarter of the run.
void InicioTosco(const Datos& d, double& A, double& B, double& P) {
    const size_t k = static_cast<size_t>(std::min_element(d.w.begin(), d.w.end()) - d.w.begin());
    const auto [lo, hi] = std::minmax_element(d.x.begin(), d.x.end());
    A = d.w[k];
    P = d.x[k];
    B = std::max((*hi - *lo) / 4, 1e-6);
}

bool Ajustar(const Datos& d, double& A, double& B, double& P) {
    if (!Inicio(d, A, B, P)) InicioTosco(d, A, B, P);
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = Residuos;
    fdf.df = Jacobiana;
    fdf.n = d.x.size();
    fdf.p = 3;
    fdf.params = const_cast<Datos*>(&d);
    const gsl_multifit_nlinear_parameters parametros = gsl_multifit_nlinear_default_parameters();
    gsl_multifit_nlinear_workspace* t =
        gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &parametros, fdf.n, fdf.p);
    double q0[3] = {A, B, P};
    gsl_vector_view q = gsl_vector_view_array(q0, 3);
    int info = 0;
    int estado =
        gsl_multifit_nlinear_init(&q.vector, &fdf, t) == GSL_SUCCESS
            ? gsl_multifit_nlinear_driver(200, 1e-10, 1e-10, 1e-10, nullptr, nullptr, &info, t)
            : GSL_EFAILED;
    // No step from the start lowered the cost: the parabola through the squared widths was
    // already the minimum to the last bit, as on widths of an exact cone. GSL reports that as
    // running out of iterations; whether it happens turns on the last bits of its arithmetic
    // (it did on arm64 and not on amd64).
    if (estado == GSL_EMAXITER && info == GSL_ENOPROG) estado = GSL_SUCCESS;
    const gsl_vector* r = gsl_multifit_nlinear_position(t);
    A = gsl_vector_get(r, 0);
    B = std::fabs(gsl_vector_get(r, 1));
    P = gsl_vector_get(r, 2);
    gsl_multifit_nlinear_free(t);
    return estado == GSL_SUCCESS && std::isfinite(A) && std::isfinite(B) && std::isfinite(P) &&
           B > 0;
}

// Counts the points on each side and computes R2 on the way.
TEstadoCurva Estado(TAjusteCurva& r, const std::vector<double>& x, const std::vector<double>& w,
                    const std::vector<size_t>& indices) {
    if (!r.Ajustado) return indices.size() < 4 ? TEstadoCurva::PocosPuntos : TEstadoCurva::NoSube;

    double xMin = HUGE_VAL, xMax = -HUGE_VAL, sw = 0, swy = 0;
    for (size_t i : indices) {
        xMin = std::min(xMin, x[i]);
        xMax = std::max(xMax, x[i]);
        r.Izquierda += x[i] < r.P;
        r.Derecha += x[i] > r.P;
        sw += 1 / (w[i] * w[i]);
        swy += 1 / w[i];
    }
    const double media = swy / sw;
    double residual = 0, total = 0;
    for (size_t i : indices) {
        const double f = Hiperbola(x[i], r.A, r.B, r.P);
        residual += (w[i] - f) * (w[i] - f) / (w[i] * w[i]);
        total += (w[i] - media) * (w[i] - media) / (w[i] * w[i]);
    }
    r.R2 = total > 0 ? 1 - residual / total : 0;

    if (r.P < xMin || r.P > xMax) return TEstadoCurva::FueraDeLoMedido;
    if (r.Izquierda < 2 || r.Derecha < 2) return TEstadoCurva::PocosPuntos;
    if (!(r.A > 0) || Hiperbola(xMin, r.A, r.B, r.P) < Subida * r.A ||
        Hiperbola(xMax, r.A, r.B, r.P) < Subida * r.A)
        return TEstadoCurva::NoSube;
    if (r.R2 < R2Minimo) return TEstadoCurva::R2Bajo;
    return TEstadoCurva::Bien;
}

} // namespace

const char* TextoEstado(TEstadoCurva estado) {
    switch (estado) {
    case TEstadoCurva::Bien: return "bien";
    case TEstadoCurva::FueraDeLoMedido: return "el mínimo cae fuera de lo medido";
    case TEstadoCurva::PocosPuntos: return "pocos puntos a un lado";
    case TEstadoCurva::NoSube: return "la curva no sube";
    case TEstadoCurva::R2Bajo: return "R2 bajo";
    case TEstadoCurva::SinCambio: return "la anchura no cambia en la serie";
    }
    return "";
}

double Hiperbola(double x, double A, double B, double P) {
    const double u = (x - P) / B;
    return A * std::sqrt(1 + u * u);
}

TAjusteCurva AjustarCurva(const std::vector<double>& x, const std::vector<double>& w) {
    // GSL's default handler aborts the program; its failures are read from the return codes.
    gsl_set_error_handler_off();
    TAjusteCurva r;
    r.Usados.assign(x.size(), false);
    std::vector<size_t> indices;
    for (size_t i = 0; i < x.size() && i < w.size(); ++i)
        if (std::isfinite(x[i]) && std::isfinite(w[i]) && w[i] > 0) indices.push_back(i);
    const auto datos = [&] {
        Datos d;
        for (size_t i : indices) {
            d.x.push_back(x[i]);
            d.w.push_back(w[i]);
        }
        return d;
    };
    // Three points determine the curve and leave nothing to judge it by.
    if (indices.size() >= 4) {
        Datos d = datos();
        r.Ajustado = Ajustar(d, r.A, r.B, r.P);
        if (r.Ajustado && indices.size() >= 5) {
            std::vector<double> e;
            for (size_t i = 0; i < d.x.size(); ++i)
                e.push_back((Hiperbola(d.x[i], r.A, r.B, r.P) - d.w[i]) / d.w[i]);
            const double centro = Mediana(e);
            std::vector<double> desvio;
            for (double v : e) desvio.push_back(std::fabs(v - centro));
            const double sigma = std::max(1.4826 * Mediana(desvio), SigmaMinima);
            const size_t peor = static_cast<size_t>(std::max_element(desvio.begin(), desvio.end()) -
                                                    desvio.begin());
            if (desvio[peor] > 3 * sigma) {
                indices.erase(indices.begin() + static_cast<std::ptrdiff_t>(peor));
                d = datos();
                r.Ajustado = Ajustar(d, r.A, r.B, r.P);
            }
        }
    }
    for (size_t i : indices) r.Usados[i] = true;
    r.Puntos = static_cast<int>(indices.size());
    r.Estado = Estado(r, x, w, indices);
    // Widths all within the rise a curve must show: whatever the scatter made of the fit, the
    // frames are of one focus, or too near it to tell.
    double wMin = HUGE_VAL, wMax = 0;
    for (size_t i : indices) wMin = std::min(wMin, w[i]), wMax = std::max(wMax, w[i]);
    if (indices.size() >= 4 && wMax < Subida * wMin) r.Estado = TEstadoCurva::SinCambio;
    return r;
}
