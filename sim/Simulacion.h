// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic exposures of the camera simulator: one star near the middle of the frame, or a
// field of stars with hot pixels and whatever a real sky adds (Moffat wings, defocused rings
// of an obstructed telescope, astigmatism, gradients, a nebula, the moon, warm pixels,
// cosmic rays, zero padding, a lumpy overcast); the tests build their frames with the same code.
#include <cstdint>
#include <functional>
#include <random>
#include <string>
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

enum class TPerfil { Gauss, Moffat };

// What stays the same from frame to frame of a field run. The defaults give the plain field:
// Gaussian stars on a flat sky.
struct TEscena {
    int ancho = 0, alto = 0;
    double sigmaMin = 1; // a star's flux is 2 pi sigmaMin^2 times its amplitude
    std::vector<TEstrellaSimulada> estrellas;
    std::vector<TPixelCaliente> calientes;
    TPerfil perfil = TPerfil::Gauss;
    double beta = 3.5; // Moffat's exponent
    // A defocused star of an obstructed telescope is the pupil: a ring with this central
    // obstruction (share of the diameter), cut by this many spider vanes (0, 2 or 4), its light
    // varying by +- desigualdad around it.
    double obstruccion = 0.35;
    int aranas = 0;
    double desigualdad = 0;
    // The sky rises by gradiente across the frame (left to right); vignetting dims sky and
    // stars by vineteo at the corners.
    double gradiente = 0, vineteo = 0;
    double nebulosa = 0; // peak counts of a nebula over the left half
    double luna = 0;     // counts of a moon disk over a third of the frame, with its glow
    int rayos = 0;       // cosmic-ray streaks, new ones in every exposure
    // A lumpy overcast lit by the moon: the sky raised by nubes counts and varying around that
    // by nubes / 3 rms in lumps of some escalaNubes pixels (white noise smoothed by a Gaussian
    // of that sigma), new in every exposure.
    double nubes = 0, escalaNubes = 6;
    int rellenoFilas = 0, rellenoColumnas = 0; // exact zeros at the top and the right
    // The camera. A colour one has a mosaic of filters, its 2 x 2 tile read row by row from
    // the first pixel ("RGGB", "GRBG", "GBRG", "BGGR"; empty for a mono camera), each colour
    // passing its share of the light (red, green, blue) of sky and stars; hot pixels and
    // cosmic rays are not filtered. The counts sit on a pedestal (the black level) and clip
    // at saturacion.
    std::string mosaico;
    double respuesta[3] = {0.6, 1.0, 0.45};
    double pedestal = 0, saturacion = 65535;
};

// The star image of one exposure: Gaussian sigmas along x and y (a Moffat profile of the same
// FWHM), or, when radioAnillo > 0, the defocused pupil of that outer radius blurred by a
// Gaussian of sigmaX.
struct TFoco {
    double sigmaX = 1, sigmaY = 1;
    double radioAnillo = 0;
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
// The same with each star's sigma given by its centre, in frame pixels.
using TSigmaEn = std::function<double(double x, double y)>;
std::vector<uint16_t> ExponerCampo(const TEscena& escena, const TSigmaEn& sigmaEn,
                                   std::mt19937_64& azar);

// A focal plane tilted and curved in focus: the best focuser position at each point of the
// frame is centro at the frame's centre, plus inclinacionX times the point's share of the width
// from the centre (so that it changes by inclinacionX from the left edge to the right) and the
// same along NAXIS2, plus curvatura times the squared distance from the centre relative to a
// corner's (so that a corner lies curvatura beyond the centre).
struct TPlanoSimulado {
    double centro = 0, inclinacionX = 0, inclinacionY = 0, curvatura = 0;
};
double MejorFocoEn(const TPlanoSimulado& plano, double x, double y, int ancho, int alto);

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

// One exposure of a scene of any kind. Gaussian stars without a ring are integrated over the
// pixels exactly; other profiles are sampled 4 x 4 per pixel where they are steep.
std::vector<uint16_t> ExponerCampo(const TEscena& escena, const TFoco& foco, std::mt19937_64& azar);

// The true half-light diameter of a star image integrated over the pixels (what a perfect
// measurement would give), from 200000 samples: within 0.5 %.
double DiametroMediaLuz(const TEscena& escena, const TFoco& foco);

// Adds n warm pixels of 100 to 40000 counts (even in logarithm): about 80 % alone, 12 % in
// adjacent pairs and the rest in clusters of 3 or 4.
void AnadirCalientes(TEscena& escena, int n, std::mt19937_64& azar);

// Gives a share of the scene's stars a companion 1.5 to 4 sigmaMax away, 0.2 to 1 times as
// bright.
void AnadirParejas(TEscena& escena, double parte, double sigmaMax, std::mt19937_64& azar);

// An L x L subframe, inside the frame, around one star that never saturates over the run and
// has nothing else within it nor within 5 sigmaMax of it; the brightest such star.
struct TSubcuadro {
    int x0 = 0, y0 = 0, lado = 0; // first pixel and side
    int estrella = -1;            // index into the scene, -1 when no star qualifies
};
TSubcuadro ElegirSubcuadro(const TEscena& escena, int lado, double sigmaMax);

// The counts of the subframe of a whole frame of the given width.
std::vector<uint16_t> Recorte(const std::vector<uint16_t>& cuentas, int ancho, const TSubcuadro& s);
