#include "AjusteGauss.h"

#include "Errores.h"
#include "Numeros.h"

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
      Lado(2 * int64_t{Radio} + 1), ExpX0(Indefinido), ExpY0(Indefinido), ExpSigma(Indefinido),
      DistX0(Indefinido), DistY0(Indefinido) {
    if (Lado < 1) throw ErrorRango("Caja de ajuste de lado negativo");
}

void TAjusteGauss::CopiarCaja(const FITSImageArea& Imagen) {
    // A box larger than the matrix cannot lie inside it; said before allocating for it.
    if (static_cast<size_t>(Lado) > Imagen.size() || static_cast<size_t>(Lado) > Imagen.Alto())
        throw ErrorRango("La caja de ajuste sale de la imagen");
    Datos.assign(static_cast<size_t>(Lado * Lado), 0.0);
    Modelo.assign(Datos.size(), 0.0);
    Exponenciales.assign(Datos.size(), 0.0);
    DistanciasI.assign(static_cast<size_t>(Lado), 0.0);
    DistanciasJ.assign(static_cast<size_t>(Lado), 0.0);
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

void TAjusteGauss::CalcularModelo() {
    ++Evaluaciones;
    const TParametrosGauss& p = Actual;
    if (!(p.X0 == ExpX0 && p.Y0 == ExpY0 && p.Sigma == ExpSigma)) {
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
        for (int64_t i = 0; i < Lado; ++i) {
            const double di = DistanciasI[static_cast<size_t>(i)];
            for (int64_t j = 0; j < Lado; ++j)
                Exponenciales[Indice(i, j)] =
                    std::exp(-(di + DistanciasJ[static_cast<size_t>(j)]) / denominador);
        }
        ExpX0 = p.X0, ExpY0 = p.Y0, ExpSigma = p.Sigma;
    }
    for (size_t k = 0; k < Modelo.size(); ++k) Modelo[k] = p.Fondo + p.Amplitud * Exponenciales[k];
}

double TAjusteGauss::Residuo() const {
    double r = 0;
    for (size_t k = 0; k < Datos.size(); ++k) {
        const double d = Datos[k] - Modelo[k];
        r += d * d;
    }
    return r;
}

double TAjusteGauss::Evaluar(double TParametrosGauss::*Campo, double Valor) {
    Actual.*Campo = Valor;
    CalcularModelo();
    return Residuo();
}

void TAjusteGauss::Buscar(double TParametrosGauss::*Campo, double Escala, int32_t Lo, int32_t Hi) {
    const auto valor = [Escala](int64_t k) { return static_cast<double>(k) / Escala; };
    int64_t a = Lo, b = Hi, c = 0;
    double r1 = 0, r2 = 0;
    do {
        c = Redondear((static_cast<double>(a) + static_cast<double>(b)) / 2);
        r1 = Evaluar(Campo, valor(c));
        r2 = Evaluar(Campo, valor(c + 1));
        if (r1 > r2)
            a = c;
        else
            b = c;
    } while (b - a >= 10);

    // An empty scan (bounds the wrong way round) saves nothing, and the field goes back to
    // the value it had before this search. The last halving step's two points fall inside the
    // scan; with the other fields unchanged their residuals are already known.
    MejorResiduo = Infinito;
    for (int64_t k = a; k <= b; ++k) {
        double r;
        if (k == c || k == c + 1) {
            Actual.*Campo = valor(k);
            r = k == c ? r1 : r2;
        } else {
            r = Evaluar(Campo, valor(k));
        }
        if (r < MejorResiduo) {
            MejorResiduo = r;
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
                          float& SenalRuidoPico, float& FWHM, char& Calidad, int32_t Saturacion) {
    TAjusteGauss ajuste(CentroX, CentroY, Radio, Saturacion);
    ajuste.Ajustar(Imagen);
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
