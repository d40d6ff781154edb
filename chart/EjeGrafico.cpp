// SPDX-License-Identifier: GPL-3.0-or-later
#include "EjeGrafico.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "Numeros.h"

double SiguientePaso(double s) {
    auto mover = [](double m) { return m < 2 ? 2.0 : m < 5 ? 5.0 : 10.0; };
    if (!(s > 0) || !std::isfinite(s)) return std::numeric_limits<double>::infinity();
    if (s >= 1 && s < 10) return mover(s);
    int e = static_cast<int>(std::floor(std::log10(s)));
    // Dividing by a positive power of ten keeps 0.2, 0.5 ... exact where multiplying by a
    // negative one would not.
    auto escalar = [](double v, int k) {
        return k >= 0 ? v * std::pow(10.0, k) : v / std::pow(10.0, -k);
    };
    // A step of 1e-11 is not exact in binary: its mantissa comes out as 9.99999...; steps
    // are 1, 2, 5 times a power of ten, so nine decimals tell them apart.
    double m = std::round(escalar(s, -e) * 1e9) / 1e9;
    if (m >= 10) {
        m /= 10;
        ++e;
    } else if (m < 1) {
        m *= 10;
        --e;
    }
    const double r = escalar(mover(m), e);
    return r > s ? r : 2 * s; // the step always grows
}

void TCustomChartAxis::SetAutomatic(bool v) {
    Automatico = AutomaticMinimum = AutomaticMaximum = v;
    Cambio();
}

void TCustomChartAxis::SetMaximum(double v) {
    if (v < Minimo) throw ErrorEje("Axis Maximum Value must be >= Minimum");
    Maximo = v;
    Cambio();
}

void TCustomChartAxis::SetMinimum(double v) {
    if (v > Maximo) throw ErrorEje("Axis Minimum Value must be <= Maximum");
    Minimo = v;
    Cambio();
}

void TCustomChartAxis::CalcularRango(const std::vector<const TFastLineSeries*>& series) {
    const bool autoMin = Automatico || AutomaticMinimum;
    const bool autoMax = Automatico || AutomaticMaximum;
    double menor = 0, mayor = 0;
    bool primera = true;
    for (const TFastLineSeries* s : series) {
        if (!s->Active || s->Count() == 0) continue;
        const TChartValueList& valores = Horizontal ? s->XValues : s->YValues;
        if (primera || valores.MinValue() < menor) menor = valores.MinValue();
        if (primera || valores.MaxValue() > mayor) mayor = valores.MaxValue();
        primera = false;
    }
    MinimoActual = autoMin ? menor : Minimo;
    MaximoActual = autoMax ? mayor : Maximo;
    Rango = MaximoActual - MinimoActual;
}

void TCustomChartAxis::FijarPosiciones(int inicio, int fin) {
    PosInicio = inicio;
    PosFin = fin;
    PosCentro = (inicio + fin) / 2;
}

int TCustomChartAxis::CalcPosValor(double v) const {
    if (Rango == 0) return PosCentro;
    const double p = (v - MinimoActual) * Longitud() / Rango;
    if (!(std::fabs(p) < 2147483647.0)) return PosCentro; // NaN as well
    const int64_t r = Redondear(p);
    const int64_t pos = Horizontal ? PosInicio + r : PosFin - r;
    // Far off-screen points keep their side; the 32-bit limits stay out of the painter's way.
    return static_cast<int>(std::clamp<int64_t>(pos, std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max()));
}

double TCustomChartAxis::PasoEtiquetas(const TMedidorTexto& medir) const {
    auto tamano = [&](double v) {
        const TMedidaTexto m = medir(TextoEtiqueta(v));
        return Horizontal ? m.Ancho : m.Alto;
    };
    const int s = std::max(tamano(MinimoActual), tamano(MaximoActual));
    int caben = 1;
    if (s != 0) {
        const int hueco = s + Redondear(s * LabelsSeparation / 100.0);
        // A separation that cancels the label size leaves no room at all.
        caben = hueco > 0 ? Redondear(static_cast<double>(Longitud()) / hueco) : 0;
    }
    if (caben < 1) return PasoMinimo;

    double paso = Increment > 0 ? Increment : (std::fabs(Rango) >= 1 ? 1 : PasoMinimo);
    if (LabelsSeparation > 0) {
        auto demasiadas = [&](double q) {
            return !(std::fabs(q) < 2147483647.0) || Redondear(q) > caben;
        };
        // An infinite or undefined range never fits; the step then runs out to infinity.
        while (std::isfinite(paso) && demasiadas(Rango / paso)) paso = SiguientePaso(paso);
    }
    return std::max(paso, PasoMinimo);
}

std::vector<double> TCustomChartAxis::ValoresEtiquetas(double paso) const {
    std::vector<double> valores;
    if (!(paso > 0) || !std::isfinite(paso) || MaximoActual < MinimoActual ||
        !(std::fabs(Rango / paso) < 10000))
        return valores;
    if (MinimoActual == MaximoActual) {
        valores.push_back(MaximoActual);
        return valores;
    }
    // Whole multiples of the step: a label at 0 stays exactly 0 however many steps down.
    const double base = RoundFirstLabel ? std::trunc(MaximoActual / paso) : 0;
    auto candidato = [&](double i) {
        return RoundFirstLabel ? (base - i) * paso : MaximoActual - i * paso;
    };
    // Far from zero a step can vanish in the value's rounding; the count bounds the walk.
    const double limite = std::fabs(Rango / paso) + 2;
    double i = 0;
    while (i < limite && candidato(i) > MaximoActual) ++i;
    for (; i < limite && candidato(i) >= MinimoActual; ++i) valores.push_back(candidato(i));
    return valores;
}

std::string TCustomChartAxis::TextoEtiqueta(double v) const {
    if (!std::isfinite(v)) return {};
    return FormatearNumero(v, AxisValuesFormat, SeparadoresUsuario.decimal,
                           SeparadoresUsuario.grupo);
}

int TCustomChartAxis::EspacioMarcas() const {
    const int linea = AxisPen.Visible ? AxisPen.Width : 0;
    const int marcas = Ticks.Visible ? TickLength : 0;
    const int menores = MinorTicks.Visible ? MinorTickLength : 0;
    return linea + std::max(marcas, menores);
}
