// SPDX-License-Identifier: GPL-3.0-or-later
#include "AjusteGauss.h"

#include "Errores.h"
#include "Numeros.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double Infinito = std::numeric_limits<double>::infinity();
constexpr double Indefinido = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t SigmaMin = 20, SigmaMax = 400; // hundredths of a pixel
constexpr int MaxBarridos = 11;
} // namespace

double ValorGauss(double X, double Y, double X0, double Y0, double Amplitud, double Sigma,
                  double Fondo) {
    const double dx = X - X0;
    const double dy = Y - Y0;
    return Fondo + Amplitud * std::exp(-(dx * dx + dy * dy) / (2.0 * (Sigma * Sigma)));
}

char CalidadAjuste(bool Saturada, float FWHM) {
    if (Saturada) return 'S';
    if (static_cast<double>(FWHM) < 0.6) return 'C';
    if (static_cast<double>(FWHM) > 5.0) return 'F';
    return ' ';
}

TAjusteGauss::TAjusteGauss(int32_t CentroX, int32_t CentroY, int32_t Radio, int32_t Saturacion)
    : CentroX(CentroX), CentroY(CentroY), Radio(Radio), Saturacion(Saturacion),
      Lado(2 * int64_t{Radio} + 1), DistX0(Indefinido), DistY0(Indefinido) {
    if (Lado < 1) throw ErrorRango("Caja de ajuste de lado negativo");
}

void TAjusteGauss::CopiarCaja(const FITSImageArea& Imagen) {
    // A box larger than the matrix cannot lie inside it; said before allocating for it.
    if (static_cast<size_t>(Lado) > Imagen.Columnas() || static_cast<size_t>(Lado) > Imagen.Alto())
        throw ErrorRango("La caja de ajuste sale de la imagen");
    Datos.assign(static_cast<size_t>(Lado * Lado), 0.0);
    Modelo.assign(Datos.size(), 0.0);
    CacheMaxima = std::max<size_t>(4, 40000 / Datos.size());
    Cache.clear();
    Cache.reserve(CacheMaxima); // entries never move: their matrices can be pointed at
    DistanciasI.assign(static_cast<size_t>(Lado), 0.0);
    DistanciasJ.assign(static_cast<size_t>(Lado), 0.0);
    DistX0 = DistY0 = Indefinido;
    Saturada = false;
    const int64_t x0 = int64_t{CentroX} - Radio, y0 = int64_t{CentroY} - Radio;
    for (int64_t i = 0; i < Lado; ++i) {
        // Negative positions wrap to huge indices, which the matrix refuses.
        const auto columna = Imagen[static_cast<size_t>(x0 + i)];
        for (int64_t j = 0; j < Lado; ++j) {
            const double v = columna[static_cast<size_t>(y0 + j)];
            Dato(i, j) = v;
            if (v > Saturacion) Saturada = true;
        }
    }
}

void TAjusteGauss::Estimar() {
    const int64_t n = Lado;
    double borde = 0;
    for (int64_t i = 0; i < n; ++i) borde += Dato(i, 0) + Dato(i, n - 1);
    for (int64_t j = 1; j <= n - 2; ++j) borde += Dato(0, j) + Dato(n - 1, j);
    Actual.Fondo = Dividir(borde, static_cast<double>(4 * n - 4));
    FondoMin = Redondear(Actual.Fondo / 2);
    FondoMax = Redondear(Actual.Fondo * 2);

    Actual.Amplitud = Dato(Radio, Radio) - Actual.Fondo;
    AmplitudMin = Redondear(Actual.Amplitud / 2);
    AmplitudMax = Redondear(Actual.Amplitud * 2);

    Actual.X0 = Actual.Y0 = Radio;
    X0Min = Y0Min = Redondear((Radio - 1.5) * 100);
    X0Max = Y0Max = Redondear((Radio + 1.5) * 100);
    Actual.Sigma = 1.0;
}

const double* TAjusteGauss::Exponenciales(const TParametrosGauss& p) {
    ++Usos;
    TExponenciales* e = nullptr;
    for (TExponenciales& c : Cache) {
        if (c.X0 == p.X0 && c.Y0 == p.Y0 && c.Sigma == p.Sigma) {
            c.Uso = Usos;
            return c.Valores.data();
        }
        if (!e || c.Uso < e->Uso) e = &c;
    }
    if (Cache.size() < CacheMaxima) {
        e = &Cache.emplace_back();
        e->Valores.resize(Datos.size());
    }
    ++ModelosConExp;
    const auto distancias = [this](std::vector<double>& d, double& clave, double centro) {
        if (centro == clave) return;
        for (int64_t k = 0; k < Lado; ++k) {
            const double dk = static_cast<double>(k) - centro;
            d[static_cast<size_t>(k)] = dk * dk;
        }
        clave = centro;
    };
    distancias(DistanciasI, DistX0, p.X0);
    distancias(DistanciasJ, DistY0, p.Y0);
    const double denominador = 2.0 * (p.Sigma * p.Sigma);
    double* valores = e->Valores.data();
    for (int64_t i = 0; i < Lado; ++i) {
        const double di = DistanciasI[static_cast<size_t>(i)];
        for (int64_t j = 0; j < Lado; ++j)
            valores[Indice(i, j)] =
                std::exp(-(di + DistanciasJ[static_cast<size_t>(j)]) / denominador);
    }
    e->X0 = p.X0, e->Y0 = p.Y0, e->Sigma = p.Sigma, e->Uso = Usos;
    return valores;
}

void TAjusteGauss::CalcularModelo() {
    ++Evaluaciones;
    const TParametrosGauss& p = Actual;
    const double* e = Exponenciales(p);
    for (size_t k = 0; k < Modelo.size(); ++k) Modelo[k] = p.Fondo + p.Amplitud * e[k];
}

double TAjusteGauss::Residuo() const {
    double r = 0;
    for (size_t k = 0; k < Datos.size(); ++k) {
        const double d = Datos[k] - Modelo[k];
        r += d * d;
    }
    return r;
}

namespace {

// N residuals in one pass over the box: each is CalcularModelo's element and Residuo's sum,
// in their order, but the N sums do not wait for one another.
template <int N>
void SumarResiduos(const std::vector<double>& Datos, const double* const* E, const double* Fondo,
                   const double* Amplitud, double* Residuos) {
    double r[N] = {};
    for (size_t k = 0; k < Datos.size(); ++k)
#pragma GCC unroll 4 // the sums stay in registers
        for (int t = 0; t < N; ++t) {
            const double d = Datos[k] - (Fondo[t] + Amplitud[t] * E[t][k]);
            r[t] += d * d;
        }
    for (int t = 0; t < N; ++t) Residuos[t] = r[t];
}

} // namespace

void TAjusteGauss::Evaluar(double TParametrosGauss::*Campo, const double* Valores, int Cuantos,
                           double* Residuos) {
    const double* e[4];
    double fondo[4], amplitud[4];
    for (int t = 0; t < Cuantos; ++t) {
        TParametrosGauss p = Actual;
        p.*Campo = Valores[t];
        e[t] = Exponenciales(p);
        fondo[t] = p.Fondo;
        amplitud[t] = p.Amplitud;
    }
    Evaluaciones += Cuantos;
    constexpr decltype(&SumarResiduos<1>) sumas[] = {SumarResiduos<1>, SumarResiduos<2>,
                                                     SumarResiduos<3>, SumarResiduos<4>};
    sumas[Cuantos - 1](Datos, e, fondo, amplitud, Residuos);
}

void TAjusteGauss::Buscar(double TParametrosGauss::*Campo, double Escala, int32_t Lo, int32_t Hi) {
    const auto valor = [Escala](int64_t k) { return static_cast<double>(k) / Escala; };
    int64_t a = Lo, b = Hi, c = 0;
    double r[2] = {};
    do {
        c = Redondear((static_cast<double>(a) + static_cast<double>(b)) / 2);
        const double v[2] = {valor(c), valor(c + 1)};
        Evaluar(Campo, v, 2, r);
        if (r[0] > r[1])
            a = c;
        else
            b = c;
    } while (b - a >= 10);

    // The scan's residuals first, four at a time; the last halving step's two points fall
    // inside it and are known already. After the halving b - a < 10: at most 10 points.
    double valores[10], residuos[10];
    int n = 0;
    for (int64_t k = a; k <= b; ++k)
        if (k != c && k != c + 1) valores[n++] = valor(k);
    for (int i = 0; i < n; i += 4) Evaluar(Campo, valores + i, std::min(4, n - i), residuos + i);

    // An empty scan (bounds the wrong way round) saves nothing, and the field goes back to
    // the value it had before this search.
    MejorResiduo = Infinito;
    int i = 0;
    for (int64_t k = a; k <= b; ++k) {
        const double rk = k == c ? r[0] : k == c + 1 ? r[1] : residuos[i++];
        if (rk < MejorResiduo) {
            MejorResiduo = rk;
            Actual.*Campo = valor(k);
            GuardarParametros();
        }
    }
    RestaurarParametros();
}

void TAjusteGauss::BuscarSigma() {
    Buscar(&TParametrosGauss::Sigma, 100, SigmaMin, SigmaMax);
}
void TAjusteGauss::BuscarX0() {
    Buscar(&TParametrosGauss::X0, 100, X0Min, X0Max);
}
void TAjusteGauss::BuscarY0() {
    Buscar(&TParametrosGauss::Y0, 100, Y0Min, Y0Max);
}
void TAjusteGauss::BuscarAmplitud() {
    Buscar(&TParametrosGauss::Amplitud, 1, AmplitudMin, AmplitudMax);
}
void TAjusteGauss::BuscarFondo() {
    Buscar(&TParametrosGauss::Fondo, 1, FondoMin, FondoMax);
}

void TAjusteGauss::CalcularVolumen() {
    CalcularModelo();
    Volumen = 0;
    for (const double m : Modelo) Volumen += m - Actual.Fondo;
}

void TAjusteGauss::Barrer() {
    ResiduoAnterior = Infinito;
    for (Barridos = 1; Barridos <= MaxBarridos; ++Barridos) {
        BuscarSigma();
        BuscarX0();
        BuscarY0();
        BuscarAmplitud();
        BuscarFondo();
        CalcularVolumen();
        const double r = Residuo();
        if (std::fabs(r - ResiduoAnterior) < 1.0) break;
        ResiduoAnterior = r;
    }
    if (Barridos > MaxBarridos) Barridos = MaxBarridos;
}

void TAjusteGauss::Ajustar(const FITSImageArea& Imagen) {
    CopiarCaja(Imagen);
    Estimar();
    Barrer();
    RestaurarParametros();
    CalcularVolumen();
}

void TPlaca::AjustarGauss(int32_t CentroX, int32_t CentroY, int32_t Radio, float& PosX, float& PosY,
                          int32_t& Flujo, int32_t& FondoAjustado, float& SenalRuido,
                          float& SenalRuidoPico, float& FWHM, char& Calidad, int32_t Saturacion,
                          const FITSImageArea& Area) {
    TAjusteGauss ajuste(CentroX, CentroY, Radio, Saturacion);
    ajuste.Ajustar(Area);
    const TParametrosGauss& p = ajuste.Actual;

    // Written in this order: a failure further down leaves the earlier ones set.
    PosX = static_cast<float>(static_cast<double>(int64_t{CentroX} - Radio) + p.X0);
    PosY = static_cast<float>(static_cast<double>(int64_t{CentroY} - Radio) + p.Y0);
    FondoAjustado = Redondear(p.Fondo);
    Flujo = Redondear(ajuste.Volumen);
    FWHM = static_cast<float>(2.355 * p.Sigma);
    const double lado = 4.71 * p.Sigma; // two FWHM
    SenalRuido = static_cast<float>(Dividir(Flujo, Raiz(lado * lado * p.Fondo + Flujo)));
    SenalRuidoPico = static_cast<float>(Dividir(p.Amplitud, Raiz(p.Amplitud + p.Fondo)));
    Calidad = CalidadAjuste(ajuste.Saturada, FWHM);
}
