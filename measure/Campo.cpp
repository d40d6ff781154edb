// SPDX-License-Identifier: GPL-3.0-or-later
#include "Campo.h"

#include "Errores.h"
#include "Medida.h"
#include "Numeros.h"

extern "C" { // the header declares C functions without saying so
#include <sep.h>
}

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// The window's saturation level: a star with a pixel above it has a flattened top.
constexpr int32_t Saturacion = 60000;

// Background tiles of 64 x 64 pixels with a 3 x 3 median filter over the tiles (SEP's usual
// values): several times the size of a blurred star, so that stars bias no tile, and still
// small enough to follow a vignetted or moonlit sky across the frame.
constexpr int TeselaFondo = 64, FiltroFondo = 3;

// Detection at 3 sigma of the sky noise, on the frame smoothed by the 3 x 3 kernel below,
// over at least 5 connected pixels. On pure noise 1 sigma finds some 50 false detections a
// million pixels and 1.2 sigma one or two; 3 sigma finds none even on the largest frames, and
// a star that faint would be too noisy to move a median.
constexpr float UmbralSigmas = 3.0f;
constexpr int AreaMinima = 5;
const float Nucleo[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};

// A single hot pixel: its four neighbours hold less than a fifth of its height. A star,
// even one in sharp focus with a sigma of one pixel centred on a pixel, gives its neighbours
// more than half of its peak.
constexpr double VecinoMinimo = 0.2;

// Very elongated: a major axis more than 1.5 times the minor one. Round stars measure below
// 1.1 on simulated fields and rarely beyond 1.3 through real optics; two stars too close to
// be told apart, a trail or a cosmic ray reach more, and none of them has a width that
// means focus.
constexpr double ElongacionMaxima = 1.5;

// The half-flux radius is taken within 4 times a first estimate of itself: for a Gaussian
// that holds all but a millionth of the light, so the total the half refers to is whole,
// while the aperture stays small enough to keep neighbours and sky noise out of it.
constexpr double AperturaEnRadios = 4;
constexpr int Subpixeles = 5; // SEP's usual sampling of the pixels the aperture's edge cuts

// The brightest 200 usable stars: their median is already as steady as a larger sample's,
// and each one costs a Gaussian fit.
constexpr size_t MaximoEstrellas = 200;

struct LiberarFondo {
    void operator()(sep_bkg* b) const { sep_bkg_free(b); }
};
struct LiberarCatalogo {
    void operator()(sep_catalog* c) const { sep_catalog_free(c); }
};

void Comprobar(int estado) {
    if (estado == 0) return;
    char mensaje[61] = {}, detalle[512] = {};
    sep_get_errmsg(estado, mensaje);
    sep_get_errdetail(detalle);
    std::string texto = std::string("SEP: ") + mensaje;
    if (detalle[0]) texto += std::string(" (") + detalle + ")";
    throw std::runtime_error(texto);
}

// The middle value, or the mean of the two middle ones.
double Mediana(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto m = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), m, v.end());
    return v.size() % 2 ? *m : (*m + *std::max_element(v.begin(), m)) / 2;
}

// The frame as SEP wants it: floats, rows of x, the order the matrix already holds.
std::vector<float> CopiarFoto() {
    const uint16_t* matriz = Imagen.Datos();
    return {matriz, matriz + Imagen.Columnas() * Imagen.Alto()};
}

} // namespace

// SEP 1.2.1's extraction loses two arrays of 4 bytes a detection inside the library, out of
// reach of the catalogue it returns. The leak checker of the sanitizer builds is told of that
// one library and nothing else; other builds never call this.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libsep.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0"; // the tools' error output stays their own
}

TMedidaCampo MedirCampo(TPlaca& Placa) {
    TMedidaCampo r;
    const int w = Placa.Ancho(), h = Placa.Alto();
    // Too small for a star with a border of sky.
    if (w < 8 || h < 8) return r;
    // SEP indexes pixels with an int.
    if (int64_t{w} * h > std::numeric_limits<int>::max())
        throw std::runtime_error("Foto demasiado grande para medir el campo");
    std::vector<float> datos = CopiarFoto();

    sep_image im{};
    im.data = datos.data();
    im.dtype = SEP_TFLOAT;
    im.w = w;
    im.h = h;
    im.noise_type = SEP_NOISE_NONE;

    sep_bkg* b = nullptr;
    Comprobar(sep_background(&im, TeselaFondo, TeselaFondo, FiltroFondo, FiltroFondo, 0.0, &b));
    const std::unique_ptr<sep_bkg, LiberarFondo> fondo(b);
    r.Fondo = sep_bkg_global(b);
    Comprobar(sep_bkg_subarray(b, datos.data(), SEP_TFLOAT));

    // Counts are whole numbers: a noise below one count is only a flat, noiseless sky.
    im.noiseval = std::max(1.0f, sep_bkg_globalrms(b));
    im.noise_type = SEP_NOISE_STDDEV;
    sep_catalog* c = nullptr;
    Comprobar(sep_extract(&im, UmbralSigmas, SEP_THRESH_REL, AreaMinima, Nucleo, 3, 3,
                          SEP_FILTER_CONV, 32, 0.005, 1, 1.0, &c));
    const std::unique_ptr<sep_catalog, LiberarCatalogo> catalogo(c);

    const auto resto = [&](int64_t x, int64_t y) {
        return x < 0 || y < 0 || x >= w || y >= h
                   ? 0.0
                   : static_cast<double>(datos[static_cast<size_t>(y * w + x)]);
    };

    // The cheap tests first, on every detection; the apertures and fits after, on the
    // brightest that pass them.
    std::vector<int> candidatas;
    std::vector<int32_t> maximos(static_cast<size_t>(c->nobj), 0);
    for (int i = 0; i < c->nobj; ++i) {
        if (c->flag[i] & (SEP_OBJ_MERGED | SEP_OBJ_TRUNC | SEP_OBJ_SINGU)) continue;
        if (!(c->b[i] > 0) || c->a[i] > ElongacionMaxima * c->b[i]) continue;
        int32_t maximo = 0;
        for (int k = 0; k < c->npix[i]; ++k) {
            const int p = c->pix[i][k];
            maximo = std::max<int32_t>(maximo, Placa.Pixel(p % w, p / w));
        }
        maximos[static_cast<size_t>(i)] = maximo;
        if (maximo > Saturacion) continue;
        const int64_t xp = c->xpeak[i], yp = c->ypeak[i];
        const double vecino =
            std::max({resto(xp - 1, yp), resto(xp + 1, yp), resto(xp, yp - 1), resto(xp, yp + 1)});
        if (vecino < VecinoMinimo * resto(xp, yp)) continue;
        candidatas.push_back(i);
    }
    std::stable_sort(candidatas.begin(), candidatas.end(),
                     [c](int i, int j) { return c->flux[i] > c->flux[j]; });

    const double mitad = 0.5;
    std::vector<double> fwhm, hfd, picos;
    for (const int i : candidatas) {
        if (r.Estrellas.size() >= MaximoEstrellas) break;
        const double x = c->x[i], y = c->y[i];
        double radio = 0;
        short banderas = 0;
        const auto radioMitad = [&](double rmax) {
            Comprobar(sep_flux_radius(&im, x, y, rmax, 0, Subpixeles, 0, nullptr, &mitad, 1, &radio,
                                      &banderas));
        };
        // A first estimate within 6 times the detection's rms size, then the radius itself.
        radioMitad(std::max(3.0, 6.0 * c->a[i]));
        const double rmax = std::max(3.0, AperturaEnRadios * radio);
        radioMitad(rmax);
        if (banderas & (SEP_APER_TRUNC | SEP_APER_NONPOSITIVE) || !(radio > 0)) continue;
        // Another detection inside the aperture would add its light to the star's.
        bool sola = true;
        for (int j = 0; j < c->nobj && sola; ++j)
            sola = j == i || std::hypot(c->x[j] - x, c->y[j] - y) > rmax;
        if (!sola) continue;

        TEstrellaCampo e;
        e.X = x;
        e.Y = y;
        e.HFD = 2 * radio;
        e.Maximo = maximos[static_cast<size_t>(i)];
        // The window's fit box must lie inside the frame.
        const int64_t cx = Redondear(x), cy = Redondear(y), caja = RadioAjuste(e.HFD);
        if (cx - caja < 0 || cy - caja < 0 || cx + caja >= w || cy + caja >= h) continue;
        try {
            e.FWHM = ElegirFWHM(Placa, e.HFD, x, y, e.Calidad);
        } catch (const std::runtime_error&) {
            continue; // a fit that cannot be computed (no light above the sky) measures nothing
        }
        if (e.Calidad == 'S') continue; // a saturated neighbour inside the fit box
        r.Estrellas.push_back(e);
        fwhm.push_back(e.FWHM);
        hfd.push_back(e.HFD);
        picos.push_back(e.Maximo);
    }
    r.FWHM = static_cast<float>(Mediana(fwhm));
    r.HFD = Mediana(hfd);
    r.Maximo = Redondear(Mediana(picos));
    return r;
}
