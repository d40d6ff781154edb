// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The focus curve of a run: the hyperbola of a defocused light cone,
// W(x) = A · sqrt(1 + ((x − P) / B)²), fitted to the widths measured at focuser positions x,
// and the checks that decide whether its best position can be trusted.
#include <string>
#include <vector>

double Hiperbola(double x, double A, double B, double P);

// Whether the best position can be trusted, and if not, why.
enum class TEstadoCurva {
    Bien,
    FueraDeLoMedido, // the minimum lies beyond the positions measured
    PocosPuntos,     // fewer than two frames on one side of the minimum
    NoSube,          // the fitted curve does not rise by 10 % at both ends of the run
    R2Bajo,          // the points scatter more than the curve explains
    SinCambio,       // the widths stay within 10 %: one focus, or a run too short to tell
};
// The words quorvel-medir and the window show: "bien", "R2 bajo", ...
const char* TextoEstado(TEstadoCurva estado);

struct TAjusteCurva {
    bool Ajustado = false;      // false when there were too few points or the fit failed
    double A = 0, B = 0, P = 0; // smallest width, half-width of the cone's waist, best position
    double R2 = 0;              // weighted coefficient of determination over the points used
    int Puntos = 0, Izquierda = 0, Derecha = 0; // used; used below P; used above P
    std::vector<bool> Usados;                   // one per point given: false for the rejected ones
    TEstadoCurva Estado = TEstadoCurva::PocosPuntos;
    bool Bien() const { return Estado == TEstadoCurva::Bien; }
};

// Weighted least squares (each point weighted by 1 / w², the scatter of a width growing with
// the width), then one rejection: the worst point is dropped and the curve refitted when it
// lies beyond 3 robust sigmas. Points whose width is not a positive number are left out.
TAjusteCurva AjustarCurva(const std::vector<double>& x, const std::vector<double>& w);
