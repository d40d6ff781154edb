// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic exposures of the camera simulator: one star near the middle of the frame, or a
// field of stars with hot pixels; the tests build their frames with the same code.
#include <cstdint>
#include <random>
#include <vector>

// The camera: a sky of 200 counts with a read noise of 3 counts and the shot noise of a gain
// of 4 electrons per count; counts clip at 65535.
constexpr double FondoCielo = 200, RuidoLectura = 3, Ganancia = 4;

// Sigma of frame i of a run of n: a V from sigmaMax at both ends to sigmaMin in the middle.
double SigmaSerie(int i, int n, double sigmaMin, double sigmaMax);

// One star of constant flux, point-sampled, centred at (cx, cy); 50000 counts above the sky
// when sigma is sigmaMin. Counts first axis fastest.
std::vector<uint16_t> ExponerEstrella(int ancho, int alto, double sigmaMin, double sigma, double cx,
                                      double cy, std::mt19937_64& azar);

struct TEstrellaSimulada {
    double x, y;     // centre, frame pixels
    double amplitud; // counts above the sky at the centre when sigma is sigmaMin
};
struct TPixelCaliente {
    int x, y;
    double exceso; // counts above the sky
};

// What stays the same from frame to frame of a field run.
struct TEscena {
    int ancho = 0, alto = 0;
    double sigmaMin = 1;
    std::vector<TEstrellaSimulada> estrellas;
    std::vector<TPixelCaliente> calientes;
};

// N stars at uniform positions over the whole frame, amplitudes spread evenly in logarithm
// over two decades (1500 to 150000 counts; at a best-focus sigma of 1 a star's brightest
// pixel holds 0.73 to 0.92 of it, so about one star in seven saturates), and 3 + N / 10 hot
// pixels of 2000 to 40000 counts above the sky.
TEscena CrearEscena(int ancho, int alto, int estrellas, double sigmaMin, std::mt19937_64& azar);

// One exposure of the field: each star a circular Gaussian of the given sigma integrated over
// the pixels, of the flux it has at best focus; the hot pixels; the sky and the noise. With a
// tilt k the focal plane leans along NAXIS1: a star at x has sigma · (1 + k · x / width).
std::vector<uint16_t> ExponerCampo(const TEscena& escena, double sigma, std::mt19937_64& azar,
                                   double inclinacion = 0);

// Sigma at focuser position x of a run whose best focus is at p: the hyperbola of a defocused
// light cone, sigmaMin at p and growing by sigmaMin every b steps far from it.
double SigmaHiperbola(double x, double p, double b, double sigmaMin);

// A star of its own width, for focus runs and fields whose stars differ.
struct TEstrellaPerfil {
    double x, y;  // centre, frame pixels
    double flujo; // counts above the sky, all pixels together
    double fwhm;  // pixels
};
// One exposure of point-sampled stars over the sky with the camera's noise: circular
// Gaussians when beta is 0, else Moffat profiles of that beta, the wings of real seeing.
std::vector<uint16_t> ExponerPerfiles(int ancho, int alto,
                                      const std::vector<TEstrellaPerfil>& estrellas, double beta,
                                      std::mt19937_64& azar);

// An L x L subframe, inside the frame, around one star that never saturates over the run and
// has nothing else within it nor within 5 sigmaMax of it; the brightest such star.
struct TSubcuadro {
    int x0 = 0, y0 = 0, lado = 0; // first pixel and side
    int estrella = -1;            // index into the scene, -1 when no star qualifies
};
TSubcuadro ElegirSubcuadro(const TEscena& escena, int lado, double sigmaMax);

// The counts of the subframe of a whole frame of the given width.
std::vector<uint16_t> Recorte(const std::vector<uint16_t>& cuentas, int ancho, const TSubcuadro& s);
