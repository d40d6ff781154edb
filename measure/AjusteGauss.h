// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Circular Gaussian on a flat background, fitted to a square box of the pixel matrix by a
// coordinate search on fixed grids.
#include "UTPlaca.h"

#include <cstdint>
#include <vector>

struct TParametrosGauss {
    double Fondo = 0;    // counts
    double Amplitud = 0; // counts above Fondo at the centre
    double X0 = 0;       // box coordinates, pixels
    double Y0 = 0;
    double Sigma = 0; // pixels
};

double ValorGauss(double X, double Y, double X0, double Y0, double Amplitud, double Sigma,
                  double Fondo);

// Working state of one fit. Box element (i, j) is the pixel at x = CentroX - Radio + i,
// y = CentroY - Radio + j.
class TAjusteGauss {
public:
    TAjusteGauss(int32_t CentroX, int32_t CentroY, int32_t Radio, int32_t Saturacion);

    // Steps 2 to 5 of the fit: copy, estimates, sweeps, and the model of the final set.
    void Ajustar(const FITSImageArea& Imagen);

    void CopiarCaja(const FITSImageArea& Imagen);
    void Estimar();
    void CalcularModelo();
    double Residuo() const;
    void GuardarParametros() { Mejor = Actual; }
    void RestaurarParametros() { Actual = Mejor; }
    void BuscarSigma();
    void BuscarX0();
    void BuscarY0();
    void BuscarAmplitud();
    void BuscarFondo();
    void CalcularVolumen();
    // The sweeps over the five searches, until the residual settles or 11 have run.
    void Barrer();

    double& Dato(int64_t i, int64_t j) { return Datos[Indice(i, j)]; }
    double ValorModelo(int64_t i, int64_t j) const { return Modelo[Indice(i, j)]; }

    const int32_t CentroX, CentroY, Radio, Saturacion;
    const int64_t Lado;
    std::vector<double> Datos, Modelo; // Lado x Lado, i major
    bool Saturada = false;
    TParametrosGauss Actual, Mejor;
    int32_t FondoMin = 0, FondoMax = 0, AmplitudMin = 0, AmplitudMax = 0;
    int32_t X0Min = 0, X0Max = 0, Y0Min = 0, Y0Max = 0; // hundredths of a pixel
    double MejorResiduo = 0, ResiduoAnterior = 0, Volumen = 0;

    // Cost figures for the tests and the benchmarks.
    int32_t Barridos = 0;
    int64_t Evaluaciones = 0;  // trial values evaluated and models computed
    int64_t ModelosConExp = 0; // exponential matrices computed

private:
    // Exponential matrices keyed by the X0, Y0 and Sigma they came from. Later sweeps come back
    // to the grid points of earlier ones, and a trial of Amplitud or Fondo needs none of its own.
    // Every element is computed as ValorGauss computes it, so a model is the same to the last
    // bit. The least recently used matrix is replaced once they hold 40,000 values (64 matrices
    // of the caller's largest box, 320 kB), or 4 matrices, the most one evaluation needs.
    struct TExponenciales {
        double X0, Y0, Sigma;
        uint64_t Uso; // when last used
        std::vector<double> Valores;
    };
    size_t CacheMaxima = 0;
    std::vector<TExponenciales> Cache;
    uint64_t Usos = 0;
    // Squared distances along i and j for the X0 and Y0 they came from (NaN: none yet).
    std::vector<double> DistanciasI, DistanciasJ;
    double DistX0, DistY0;

    size_t Indice(int64_t i, int64_t j) const { return static_cast<size_t>(i * Lado + j); }
    const double* Exponenciales(const TParametrosGauss& p);
    // Residuals of up to four trial values of one field, the others as in Actual. The models
    // are summed side by side, each in its own literal order, and not stored in Modelo.
    void Evaluar(double TParametrosGauss::*Campo, const double* Valores, int Cuantos,
                 double* Residuos);
    // Interval halving on the residual's slope, then a scan of the last interval; grid point
    // k stands for the value k / Escala.
    void Buscar(double TParametrosGauss::*Campo, double Escala, int32_t Lo, int32_t Hi);
};

// The fit's flag: "S" saturated, else "C" narrower than 0.6, "F" wider than 5, else blank.
char CalidadAjuste(bool Saturada, float FWHM);
