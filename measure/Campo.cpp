// SPDX-License-Identifier: GPL-3.0-or-later
#include "Campo.h"

#include "Camara.h"
#include "Medida.h"
#include "Mediana.h"
#include "Errores.h"
#include "Numeros.h"

extern "C" { // the header declares C functions without saying so
#include <sep.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

// Background and detection run on the frame binned 4 x 4 (averaged): a sixteenth of the
// pixels for SEP's two whole-frame passes, which cost some 20 ns a pixel, and a float copy of
// a sixteenth of them instead of the whole frame. Binning collects a compact star's light
// into a few binned pixels, so even the smallest image the optics form (FWHM 1.2 pixels) is
// detected at no loss; everything measured is measured at full resolution. Frames under 512
// pixels a side are binned 2 x 2, to leave room for tiles of background.
int Agrupamiento(int ancho, int alto) {
    return std::min(ancho, alto) >= 512 ? 4 : 2;
}

// Background tiles of 64 x 64 frame pixels with a 3 x 3 median filter over the tiles (SEP's
// usual values): several times the size of a blurred star, so that stars bias no tile, and
// still small enough to follow a vignetted or moonlit sky across the frame.
constexpr int TeselaFondo = 64, FiltroFondo = 3;

// Detection at 3 sigma of the binned sky noise, on the binned frame smoothed by the 3 x 3
// kernel below, which matches a compact star binned 4 x 4 (its light in one binned pixel,
// spilling into the next). SEP normalises the kernel, which lowers the noise by
// sqrt(sum k^2) / sum k = 0.375: the threshold is 8 sigma of the smoothed image, a chance of
// 6e-16 a pixel on pure noise, no false detection on any frame. One pixel above it is enough:
// a faint compact star lifts only the smoothed pixel over its own binned one that far, and
// asking for 3 lost two stars in five of a field of peak signal-to-noise 5 to 10.
constexpr float UmbralSigmas = 3.0f;
constexpr int AreaMinima = 1;
const float Nucleo[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
// Deblending over 8 levels rather than SEP's usual 32: it still parts stars that touch, at
// half the extraction's cost; rings are put together again anyway.
constexpr int NivelesSeparacion = 8;

// SEP's pixel stack: at least its usual 300000 pixels, and up to a sixteenth of the binned
// frame, so a bright extended object (the moon, a glow) fits. Past that the frame is binned
// further and detected again rather than lost. SEP takes each pixel from the stack at most
// once and overflows with one left, so a small frame needs no more than its pixels and two:
// the stack is written through on every call, and 300000 would cost a small frame far more
// than its detection.
constexpr size_t PilaMinima = 300000;

// No optics forms an image narrower than a pixel-integrated FWHM of 1.2 pixels: its rms
// width along any axis, over the 3 x 3 pixels around its brightest one, is at least 0.54 px,
// and that pixel holds at most 46 % of the 3 x 3 light. Hot pixels, hot pairs and lines, and
// cosmic-ray hits are narrower along some axis or sharper. The test is made only on a peak
// of 10 sigma or more: anything fainter cannot be judged, and a hot pixel that faint is not
// detected on the binned frame.
constexpr double AnchoMinimo = 0.45, ParteMaximaDelPico = 0.6, PicoJuzgable = 10;

// An astigmatic or slightly trailed star reaches an axis ratio of 2; more is two stars too
// close to be told apart, a trail or a streak, none of which has a width that means focus.
constexpr double ElongacionMaxima = 2.0;
// The binned detection's moments tell a shape from 9 binned pixels up (a compact star bright
// enough to lift the kernel's whole 3 x 3); a fainter detection of one to a few pixels is
// mostly its threshold's outline, and its shape is judged at full resolution only.
constexpr size_t PixelesConForma = 9;

// The half-flux radius is taken within twice the radius that held 90 % of the light in a
// first pass: 3.6 half-flux radii for a Gaussian, 5 for a Moffat profile of beta 2.5 (which
// leaves 1.6 % of its light out), about twice the radius of a ring, whose light ends at its
// edge. The light is whole, and the aperture small enough to keep neighbours and sky noise
// out of it.
constexpr double AperturaEn90 = 2;
// The half-flux diameter of a half-flux radius from the growth curve. Spreading each pixel's
// value over 4 x 4 points of its square widens the image by one more nearly pixel-wide box (a
// variance of 15/16 / 12 px^2 along each axis) on top of the pixel integration the frame
// already holds: for a Gaussian image that adds 5.545 times as much to the diameter's square,
// 10 % of an undersampled star's diameter and under 1 % past 5 px. It is taken back out.
double Diametro(double radio) {
    return std::sqrt(std::max(0.0, 4 * radio * radio - 5.545 * 15 / 16 / 12));
}

// The ring of sky around an aperture, wide enough for a steady median.
double AnilloCielo(double apertura) {
    return std::max(3.0, 0.25 * apertura);
}
constexpr double BordeMaximo = 0.1; // of the light, in the aperture's outer fifth
// A profile is measurable when the aperture's light is at least 5 times the sky noise summed
// over its pixels: the half-flux radius of a compact star then moves by some 20 % with the
// noise (of the light inside it, outside it and of the ring's sky), which a median over a
// field's stars evens out. Fainter, the light's total is as much noise as light, and so is the
// radius that holds half of it.
constexpr double SenalMinima = 5;
// A sky ring that varies about its plane by more than 1.5 times its pixel noise shows a
// structure; a star's light over its aperture is then at least 8 times what that structure
// would add there. The lumps of a simulated lumpy overcast reach 5.4, a star beside them far
// more; a faint star in the wing of a bright one may fall short, and is left out with its sky.
constexpr double EstructuraVisible = 1.5, EstructuraMaxima = 8;
// Past an HFD of 25 px only a defocused pupil is a star: a disc or a ring, whose light ends at
// a sharp edge (90 % of it within 1.3 to 1.35 half-flux radii, blurred by the seeing). A
// smooth profile that wide (a Gaussian holds 90 % within 1.8; lumps of cloud measure 1.5 and
// up) is a lump of cloud or a glow.
constexpr double DiametroDifuso = 25, Razon90Difusa = 1.45;

// The brightest 200 usable stars give the HFD and peak medians: as steady as a larger sample.
// The Gaussian fits, the costliest step, run on the brightest 10 of them with an HFD below 10:
// their median FWHM is already steady to a fraction of a percent.
constexpr size_t MaximoEstrellas = 200, MaximoAjustes = 10;
// A dense field is sampled: at most this many candidates are measured, spread over the frame,
// which leaves well over 200 isolated stars in any field whose stars are not mostly blended,
// and bounds the cost of a frame of thousands of stars.
constexpr size_t MaximoIntentos = 3 * MaximoEstrellas;

struct LiberarFondo {
    void operator()(sep_bkg* b) const { sep_bkg_free(b); }
};
struct LiberarCatalogo {
    void operator()(sep_catalog* c) const { sep_catalog_free(c); }
};

// SEP's status codes that a larger binning cures: its pixel stack ("internal pixel buffer
// full") or its deblending list overflowed on a large bright object.
constexpr int PilaLlena = 2, DemasiadosFragmentos = 7;

// SEP's status as a sentence for the user.
std::string TextoSep(int estado) {
    switch (estado) {
    case 1: return "memoria insuficiente para medir el campo";
    case PilaLlena: return "no se pudo medir el campo: un objeto tiene demasiados píxeles";
    case DemasiadosFragmentos:
        return "no se pudo medir el campo: un objeto se parte en demasiados trozos";
    case 3: case 10: return "no se pudo medir el campo: tipo de datos o de ruido no admitido";
    case 9: return "no se pudo medir el campo: el cielo no tiene ruido con el que fijar el umbral";
    default:
        return "no se pudo medir el campo: fallo interno de la detección (código " +
               std::to_string(estado) + ")";
    }
}

void Comprobar(int estado) {
    if (estado != 0) throw std::runtime_error(TextoSep(estado));
}

// The frame less the rows and columns of exact zeros along its edges: padding of a crop
// that reached past the sensor, where no sky was recorded.
struct TRegion {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // [x0, x1) x [y0, y1)
};
TRegion SinRelleno(const uint16_t* m, int w, int h) {
    const auto filaCero = [&](int y, int a, int b) {
        return std::all_of(m + size_t(y) * w + a, m + size_t(y) * w + b,
                           [](uint16_t v) { return v == 0; });
    };
    const auto columnaCero = [&](int x, int a, int b) {
        for (int y = a; y < b; ++y)
            if (m[size_t(y) * w + x]) return false;
        return true;
    };
    TRegion r{0, 0, w, h};
    while (r.y0 < r.y1 && filaCero(r.y0, 0, w)) ++r.y0;
    while (r.y1 > r.y0 && filaCero(r.y1 - 1, 0, w)) --r.y1;
    while (r.x0 < r.x1 && columnaCero(r.x0, r.y0, r.y1)) ++r.x0;
    while (r.x1 > r.x0 && columnaCero(r.x1 - 1, r.y0, r.y1)) --r.x1;
    return r;
}

// The region averaged over f x f blocks, rows of x; a last partial block is left out. Rows
// are summed first, then blocks along them, so that both loops vectorise.
std::vector<float> Agrupar(const uint16_t* m, int w, const TRegion& r, int f, int& bw, int& bh) {
    bw = (r.x1 - r.x0) / f;
    bh = (r.y1 - r.y0) / f;
    std::vector<float> b(static_cast<size_t>(bw) * static_cast<size_t>(bh));
    std::vector<uint32_t> filas(static_cast<size_t>(bw) * f);
    const float escala = 1.0f / float(f * f);
    for (int j = 0; j < bh; ++j) {
        std::fill(filas.begin(), filas.end(), 0u);
        for (int k = 0; k < f; ++k) {
            const uint16_t* fila = m + size_t(r.y0 + j * f + k) * w + r.x0;
            for (size_t i = 0; i < filas.size(); ++i) filas[i] += fila[i];
        }
        float* salida = b.data() + size_t(j) * bw;
        if (f == 2)
            for (int i = 0; i < bw; ++i) salida[i] = float(filas[2 * size_t(i)] + filas[2 * size_t(i) + 1]) * escala;
        else
            for (int i = 0; i < bw; ++i) {
                uint32_t suma = 0;
                for (int l = 0; l < f; ++l) suma += filas[size_t(i) * f + l];
                salida[i] = float(suma) * escala;
            }
    }
    return b;
}

// One detection on the binned frame, or several that make one ring, in binned pixels.
struct TDeteccion {
    double x = 0, y = 0; // centre
    double a = 0, b = 0; // rms semi-axes
    double flujo = 0;
    bool truncada = false; // touches the binned frame's edge
    bool singular = false; // moments of a line or a point: no width

    std::vector<int> pixeles; // linear indices into the binned frame
};

// The rms semi-axes of second moments.
std::pair<double, double> Ejes(double x2, double y2, double xy) {
    const double m = (x2 + y2) / 2, d = std::sqrt(std::max(0.0, (x2 - y2) * (x2 - y2) / 4 + xy * xy));
    return {std::sqrt(std::max(0.0, m + d)), std::sqrt(std::max(0.0, m - d))};
}

// Detections of the catalogue. A defocused ring has no single peak and, faint or cut by
// spider vanes, no single outline either: extraction splits it into arcs, by deblending or
// along the gaps. Detections within 2 binned pixels of each other are one group; a group
// whose pixels surround an empty centre is a ring and becomes one detection again, centred
// on the ring (the plain centre of its pixels, which uneven light around the ring does not
// pull). Stars side by side leave most directions from their common centre empty, and stay
// apart.
// The binned frame's buffer, no longer needed, holds each binned pixel's object (-1 for none;
// a float holds these integers exactly).
std::vector<TDeteccion> Detecciones(const sep_catalog* c, int bw, int bh, std::vector<float>& etiqueta) {
    std::vector<TDeteccion> d(size_t(c->nobj));
    std::fill(etiqueta.begin(), etiqueta.end(), -1.0f);
    for (int i = 0; i < c->nobj; ++i) {
        TDeteccion& e = d[size_t(i)];
        e.x = c->x[i], e.y = c->y[i], e.a = c->a[i], e.b = c->b[i], e.flujo = c->flux[i];
        e.truncada = c->flag[i] & SEP_OBJ_TRUNC;
        e.singular = c->flag[i] & SEP_OBJ_SINGU;
        e.pixeles.assign(c->pix[i], c->pix[i] + c->npix[i]);
        for (const int p : e.pixeles) etiqueta[size_t(p)] = float(i);
    }
    std::vector<int> padre(size_t(c->nobj));
    std::iota(padre.begin(), padre.end(), 0);
    const auto raiz = [&](int i) {
        while (padre[size_t(i)] != i) i = padre[size_t(i)] = padre[size_t(padre[size_t(i)])];
        return i;
    };
    for (int i = 0; i < c->nobj; ++i)
        for (const int p : d[size_t(i)].pixeles) {
            const int x = p % bw, y = p / bw;
            for (int v = std::max(0, y - 2); v <= std::min(bh - 1, y + 2); ++v)
                for (int u = std::max(0, x - 2); u <= std::min(bw - 1, x + 2); ++u)
                    if (const int j = int(etiqueta[size_t(v) * bw + u]); j >= 0 && j != i)
                        padre[size_t(raiz(i))] = raiz(j);
        }
    std::vector<std::vector<int>> grupos(size_t(c->nobj));
    for (int i = 0; i < c->nobj; ++i) grupos[size_t(raiz(i))].push_back(i);
    std::vector<bool> fuera(size_t(c->nobj), false);
    for (const std::vector<int>& g : grupos) {
        if (g.size() < 2) continue;
        TDeteccion anillo;
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0, radio = 0;
        for (const int i : g) {
            anillo.flujo += d[size_t(i)].flujo;
            anillo.truncada = anillo.truncada || d[size_t(i)].truncada;
            anillo.singular = anillo.singular || d[size_t(i)].singular;
            for (const int p : d[size_t(i)].pixeles) {
                const double x = p % bw, y = p / bw;
                sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
                anillo.pixeles.push_back(p);
            }
        }
        const double n = double(anillo.pixeles.size());
        anillo.x = sx / n, anillo.y = sy / n;
        for (const int p : anillo.pixeles)
            radio = std::max(radio, std::hypot(p % bw - anillo.x, p / bw - anillo.y));
        const auto delGrupo = [&](double x, double y) {
            const long u = std::lround(x), v = std::lround(y);
            if (u < 0 || v < 0 || u >= bw || v >= bh) return false;
            const int j = int(etiqueta[size_t(v) * bw + size_t(u)]);
            return j >= 0 && raiz(j) == raiz(g[0]);
        };
        if (delGrupo(anillo.x, anillo.y)) continue; // a filled centre: not a ring
        int rodeado = 0; // of 16 directions from the centre, those that meet the group
        for (int k = 0; k < 16; ++k) {
            const double cx = std::cos(k * M_PI / 8), cy = std::sin(k * M_PI / 8);
            bool encuentra = false;
            for (double t = 0.5; t <= radio + 0.5 && !encuentra; t += 0.5)
                encuentra = delGrupo(anillo.x + t * cx, anillo.y + t * cy);
            rodeado += encuentra;
        }
        if (rodeado < 12) continue;
        std::tie(anillo.a, anillo.b) = Ejes(sxx / n - anillo.x * anillo.x,
                                            syy / n - anillo.y * anillo.y,
                                            sxy / n - anillo.x * anillo.y);
        for (const int i : g) fuera[size_t(i)] = true;
        d.push_back(std::move(anillo));
    }
    std::vector<TDeteccion> r;
    for (size_t i = 0; i < d.size(); ++i)
        if (i >= fuera.size() || !fuera[i]) r.push_back(std::move(d[i]));
    return r;
}

// Background-subtracted frame pixels, read from the matrix.
struct TFoto {
    const uint16_t* m;
    int w;
    double fondo; // the star's local sky
    double operator()(int x, int y) const { return m[size_t(y) * w + x] - fondo; }
};

// True for what no optics can form (see AnchoMinimo), judged on the 5 x 5 pixels around the
// brightest one, (px, py), which must lie 2 pixels inside the region.
bool Artefacto(const TFoto& f, int px, int py, double ruido) {
    const auto v = [&](int i, int j) { return f(px + i, py + j); };
    const double pico = v(0, 0);
    if (pico < PicoJuzgable * ruido) return false;
    double suma = 0, mx = 0, my = 0;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            const double c = std::max(0.0, v(i, j));
            suma += c, mx += c * i, my += c * j;
        }
    if (pico > ParteMaximaDelPico * suma) return true;
    mx /= suma, my /= suma;
    double xx = 0, yy = 0, xy = 0;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            const double c = std::max(0.0, v(i, j));
            xx += c * (i - mx) * (i - mx), yy += c * (j - my) * (j - my), xy += c * (i - mx) * (j - my);
        }
    if (Ejes(xx / suma, yy / suma, xy / suma).second < AnchoMinimo) return true;
    // A blurred image has no dark pixel between two bright ones; warm pixels that touch at
    // their corners do.
    const int di[] = {1, 0, 1, 1}, dj[] = {0, 1, 1, -1};
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i)
            for (int d = 0; d < 4; ++d) {
                const double a = v(i - di[d], j - dj[d]), b = v(i + di[d], j + dj[d]);
                if (std::min(a, b) > 0.2 * pico && v(i, j) < 0.3 * std::min(a, b)) return true;
            }
    // Four bright pixels in a square: the pixel-integrated image of a round or axis-aligned
    // star is separable there (v00 v11 = v01 v10); an uneven 2 x 2 cluster is not.
    for (const int sx : {-1, 1})
        for (const int sy : {-1, 1}) {
            const double b = v(sx, 0), c = v(0, sy), d = v(sx, sy);
            if (std::min({b, c, d}) < std::max(0.25 * pico, PicoJuzgable * ruido)) continue;
            const double razon = pico * d / (b * c);
            if (razon > 1.6 || razon < 1 / 1.6) return true;
        }
    return false;
}

// A hot pixel: it stands clear above its third brightest neighbour, which a pixel of a
// blurred image never does outside the core of an undersampled star. Single warm pixels,
// pairs and clusters of 3 are caught. v(i, j) is the sky-subtracted value at offset (i, j).
template <class Valor> bool Caliente(const Valor& v, double ruido, float* sustituto = nullptr) {
    const float p = float(v(0, 0));
    if (p < 8 * ruido) return false;
    // In a smooth image three of the four nearest neighbours hold half as much.
    if ((v(-1, 0) >= p / 2) + (v(1, 0) >= p / 2) + (v(0, -1) >= p / 2) + (v(0, 1) >= p / 2) >= 3)
        return false;
    std::array<float, 8> n{};
    size_t k = 0;
    for (int b = -1; b <= 1; ++b)
        for (int a = -1; a <= 1; ++a)
            if (a || b) n[k++] = float(v(a, b));
    std::nth_element(n.begin(), n.begin() + 2, n.end(), std::greater<float>());
    if (!(p - n[2] > std::max(8 * ruido, 0.5 * p))) return false;
    if (sustituto) { // the median of the neighbours
        std::nth_element(n.begin(), n.begin() + 4, n.end());
        *sustituto = n[4];
    }
    return true;
}

// Pixels within this distance of a star's centre are never taken for hot ones: the peak of
// an undersampled star stands above its neighbours as a warm pixel does.
constexpr double NucleoProtegido = 1.5;

// A star's pixels around (cx, cy), less its sky, as floats, with the hot pixels outside its
// core replaced by the median of their neighbours when limpiar: a warm pixel far out in the
// aperture would otherwise weigh as much as the star's own light there.
struct TSello {
    int x0, y0, lado;
    std::vector<float> v;
};
TSello Sello(const TFoto& f, double cx, double cy, int radio, bool limpiar, double ruido) {
    TSello s{int(std::floor(cx)) - radio, int(std::floor(cy)) - radio, 2 * radio + 2, {}};
    s.v.resize(size_t(s.lado) * size_t(s.lado));
    for (int j = 0; j < s.lado; ++j)
        for (int i = 0; i < s.lado; ++i) s.v[size_t(j) * s.lado + i] = float(f(s.x0 + i, s.y0 + j));
    if (!limpiar) return s;
    const std::vector<float> crudo = s.v;
    for (int j = 1; j + 1 < s.lado; ++j)
        for (int i = 1; i + 1 < s.lado; ++i) {
            const double dx = s.x0 + i - cx, dy = s.y0 + j - cy;
            if (dx * dx + dy * dy <= NucleoProtegido * NucleoProtegido) continue;
            const float* c = &crudo[size_t(j) * s.lado + i];
            Caliente([&](int a, int b) { return c[b * s.lado + a]; }, ruido,
                     &s.v[size_t(j) * s.lado + i]);
        }
    return s;
}

// The radii that hold half and 90 % of the light within rmax of (cx, cy), from the growth
// curve of the stamp: the light binned by distance in steps of 1/32 px, each pixel within
// 3 px of the centre as 4 x 4 points where the curve is steep (when fino), the others as one
// point at their centre. SEP's aperture sums do the same with exact pixel overlaps, at several times
// the cost, which went to two of them a star. False when no light is left.
bool RadiosDeLuz(const TSello& s, double cx, double cy, double rmax, bool fino, double radios[2]) {
    constexpr double Paso = 32;
    std::vector<double> curva(size_t(rmax * Paso) + 2, 0.0);
    const auto sumar = [&](double d2, double v) {
        if (d2 <= rmax * rmax) curva[size_t(std::sqrt(float(d2)) * float(Paso))] += v;
    };
    for (int j = 0; j < s.lado; ++j)
        for (int i = 0; i < s.lado; ++i) {
            const double dx = s.x0 + i - cx, dy = s.y0 + j - cy, v = s.v[size_t(j) * s.lado + i];
            if (!fino || dx * dx + dy * dy > 9) {
                sumar(dx * dx + dy * dy, v);
                continue;
            }
            for (int b = 0; b < 4; ++b)
                for (int a = 0; a < 4; ++a) {
                    const double u = dx + (a - 1.5) / 4, w = dy + (b - 1.5) / 4;
                    sumar(u * u + w * w, v / 16);
                }
        }
    double total = 0;
    for (const double c : curva) total += c;
    if (!(total > 0)) return false;
    const double fracciones[2] = {0.5, 0.9};
    for (int k = 0; k < 2; ++k) {
        const double meta = fracciones[k] * total;
        double acumulada = 0;
        size_t n = 0;
        while (n + 1 < curva.size() && acumulada + curva[n] < meta) acumulada += curva[n++];
        // Within bin n, the light grows evenly from its inner to its outer edge.
        const double parte = curva[n] > 0 ? (meta - acumulada) / curva[n] : 0;
        radios[k] = (double(n) + std::clamp(parte, 0.0, 1.0)) / Paso;
    }
    return radios[0] > 0;
}

using TPausa = std::function<void()>;

// What the detection leaves for the steps that measure at full resolution.
struct TCampo {
    const uint16_t* m = nullptr;
    int w = 0;
    TRegion region;
    int f = 0, bw = 0, bh = 0; // binning, binned width and height
    int32_t saturada = 0;      // the first value at which the camera clips
    bool mosaico = false;      // the block means of a colour mosaic: neighbours share pixels
    std::unique_ptr<sep_bkg, LiberarFondo> fondo;
    double ruido = 0; // noise of one frame pixel
    std::vector<TDeteccion> detecciones;

    int32_t Pixel(int x, int y) const { return int32_t{m[size_t(y) * w + x]}; }
    // The background map's sky at a frame pixel.
    double Cielo(int x, int y) const {
        return double(sep_bkg_pix(fondo.get(), std::clamp((x - region.x0) / f, 0, bw - 1),
                                  std::clamp((y - region.y0) / f, 0, bh - 1)));
    }
    // Frame coordinates of a binned position: binned pixel i covers frame pixels f i to
    // f i + f - 1 of the region.
    double EnFoto(double b, int origen) const { return origen + f * b + (f - 1) / 2.0; }
};

// SEP's background and extraction on the binned frame agrupada (c.bw x c.bh, at binning c.f),
// which it leaves less its background. Sets c.fondo, the catalogue and the binned sky's
// typical noise; returns SEP's status.
int Extraer(TCampo& c, std::vector<float>& agrupada,
            std::unique_ptr<sep_catalog, LiberarCatalogo>& catalogo, double& ruidoAgrupado,
            const TPausa& pausa) {
    sep_image im{};
    im.data = agrupada.data();
    im.dtype = SEP_TFLOAT;
    im.w = c.bw;
    im.h = c.bh;
    im.noise_type = SEP_NOISE_NONE;
    const int tesela = std::max(4, TeselaFondo / c.f);
    sep_bkg* b = nullptr;
    Comprobar(sep_background(&im, tesela, tesela, FiltroFondo, FiltroFondo, 0.0, &b));
    c.fondo.reset(b);
    Comprobar(sep_bkg_subarray(b, agrupada.data(), SEP_TFLOAT));
    pausa();
    // The threshold follows the local noise of the map when it varies: a bright structured
    // object (a nebula, the moon's limb) raises the frame's global noise, and stars in clear
    // sky beside it would be missed against that. An even sky needs no map. The typical noise
    // is the median over the tiles, which structure in some of them does not raise. Counts
    // are whole numbers: a noise below one count (a fraction of a binned one) is only a flat,
    // noiseless sky.
    ruidoAgrupado = Mediana({b->sigma, b->sigma + b->n});
    const float minimo = 1.0f / float(c.f);
    im.noiseval = std::max(minimo, float(ruidoAgrupado));
    im.noise_type = SEP_NOISE_STDDEV;
    std::vector<float> ruidoLocal;
    const auto [menor, mayor] = std::minmax_element(b->sigma, b->sigma + b->n);
    if (*mayor > 1.5f * std::max(minimo, *menor)) {
        ruidoLocal.resize(agrupada.size());
        Comprobar(sep_bkg_rmsarray(b, ruidoLocal.data(), SEP_TFLOAT));
        // The map's spline overshoots below the quietest tile beside a step in the noise (a
        // clear band beside a bright structured object), where noise would pass for stars.
        for (float& v : ruidoLocal) v = std::max(v, std::max(minimo, *menor));
        im.noise = ruidoLocal.data();
        im.ndtype = SEP_TFLOAT;
    }
    const size_t pixeles = size_t(c.bw) * size_t(c.bh);
    sep_set_extract_pixstack(std::min(pixeles + 2, std::max(PilaMinima, pixeles / 16)));
    sep_catalog* cat = nullptr;
    const int estado = sep_extract(&im, UmbralSigmas, SEP_THRESH_REL, AreaMinima, Nucleo, 3, 3,
                                   SEP_FILTER_CONV, NivelesSeparacion, 0.005, 1, 1.0, &cat);
    catalogo.reset(cat);
    pausa();
    return estado;
}

// Step 1, detection on the binned frame of c.region: sets c's binning, background map, pixel
// noise and detections. False when the region is too small to bin (no star then). A large
// bright object that overflows SEP's stacks is detected again on a frame binned twice as
// much, down to 8 x 8 pixels; SEP's other failures raise std::runtime_error.
bool Detectar(TCampo& c, const TPausa& pausa) {
    std::vector<float> agrupada;
    std::unique_ptr<sep_catalog, LiberarCatalogo> catalogo;
    double ruidoAgrupado = 0;
    for (c.f = Agrupamiento(c.region.x1 - c.region.x0, c.region.y1 - c.region.y0);; c.f *= 2) {
        agrupada.clear();
        agrupada.shrink_to_fit();
        agrupada = Agrupar(c.m, c.w, c.region, c.f, c.bw, c.bh);
        if (c.bw < 4 || c.bh < 4) return false;
        pausa();
        const int estado = Extraer(c, agrupada, catalogo, ruidoAgrupado, pausa);
        if (estado == 0) break;
        if ((estado != PilaLlena && estado != DemasiadosFragmentos) || c.bw < 16 || c.bh < 16)
            Comprobar(estado);
    }
    // The noise of one frame pixel: the binned one is the mean of f x f of them.
    c.ruido = std::max(1.0, c.f * ruidoAgrupado);
    c.detecciones = Detecciones(catalogo.get(), c.bw, c.bh, agrupada);
    return true;
}

// A candidate star, frame pixels. Everything that is not an artefact is a star's light, and
// counts as a neighbour when isolation is judged, whatever its own reason to be left out.
struct TCandidata {
    double x, y, flujo, a; // centre, SEP's flux, rms size along the major axis
    int32_t maximo;
    std::optional<TMotivo> motivo; // none while it is still usable
    double hfd = 0;                // once measured
    // Until it is cleaned (Limpiar), its detection, the centre is the binned one and cleaning
    // can move it by up to alcance.
    const TDeteccion* deteccion = nullptr;
    double alcance = 0;
    bool artefacto = false;
};

// The frame pixels of a binned detection, visited as v(x, y).
template <class Visita> void PixelesDe(const TCampo& c, const TDeteccion& d, const Visita& v) {
    for (const int p : d.pixeles) {
        const int x0 = c.region.x0 + (p % c.bw) * c.f, y0 = c.region.y0 + (p / c.bw) * c.f;
        for (int j = 0; j < c.f; ++j)
            for (int i = 0; i < c.f; ++i) v(x0 + i, y0 + j);
    }
}

// Step 2 for one detection: the detection at full resolution, less what no optics can form.
// Each bright local maximum that fails that test takes its 3 x 3 pixels out (a warm pixel,
// pair or cluster, a cosmic-ray hit). A detection whose light was mostly that is an artefact,
// with a reason (Caliente, or SinLuz when nothing was above the sky). A star keeps its centre
// and peak, which a warm pixel inside its outline would pull, and gets a reason when it is
// cut by the edge, elongated or saturated.
TCandidata Limpiar(const TCampo& c, const TDeteccion& d, bool& artefacto) {
    const auto dentro = [&](int x, int y) {
        return x > c.region.x0 + 1 && y > c.region.y0 + 1 && x + 2 < c.region.x1 &&
               y + 2 < c.region.y1;
    };
    std::vector<std::pair<int, int>> fuera; // centres of the 3 x 3 taken out
    const double cielo = c.Cielo(c.region.x0 + int(d.x) * c.f, c.region.y0 + int(d.y) * c.f);
    PixelesDe(c, d, [&](int x, int y) {
        const int v = c.Pixel(x, y);
        if (v - cielo < PicoJuzgable * c.ruido || !dentro(x, y)) return;
        bool pico = true;
        for (int b = -1; b <= 1 && pico; ++b)
            for (int a = -1; a <= 1 && pico; ++a)
                pico = (a == 0 && b == 0) || c.Pixel(x + a, y + b) < v ||
                       (c.Pixel(x + a, y + b) == v && (b > 0 || (b == 0 && a > 0)));
        if (pico && Artefacto(TFoto{c.m, c.w, c.Cielo(x, y)}, x, y, c.ruido)) fuera.push_back({x, y});
    });
    const auto quitado = [&](int x, int y) {
        for (const auto& [u, v] : fuera)
            if (std::abs(x - u) <= 1 && std::abs(y - v) <= 1) return true;
        return false;
    };
    int32_t maximo = 0, pico = 0;
    double luz = 0, luzQuitada = 0, sx = 0, sy = 0;
    PixelesDe(c, d, [&](int x, int y) {
        const int v = c.Pixel(x, y);
        const double l = std::max(0.0, v - cielo);
        pico = std::max(pico, v);
        if (!fuera.empty() && quitado(x, y)) {
            luzQuitada += l;
            return;
        }
        maximo = std::max(maximo, v);
        luz += l, sx += l * x, sy += l * y;
    });
    TCandidata e{c.EnFoto(d.x, c.region.x0), c.EnFoto(d.y, c.region.y0), d.flujo, c.f * d.a, maximo, {}};
    artefacto = luzQuitada >= luz || !(luz > 0);
    if (artefacto) {
        e.maximo = pico;
        e.motivo = luzQuitada > 0 ? TMotivo::Caliente : TMotivo::SinLuz;
        return e;
    }
    // Without anything taken out, the binned centroid serves: at full resolution it is
    // refined later within a window.
    if (!fuera.empty()) e.x = sx / luz, e.y = sy / luz;
    if (d.truncada) e.motivo = TMotivo::Borde;
    else if (d.pixeles.size() >= PixelesConForma &&
             (d.singular || !(d.b > 0 && d.a <= ElongacionMaxima * d.b)))
        e.motivo = TMotivo::Alargada;
    else if (maximo >= c.saturada) e.motivo = TMotivo::Saturada;
    return e;
}

// Step 2, the candidates: every detection at its binned centre, brightest first. Each is cleaned
// (Limpiar) only when the sample reaches it or a star measured has it close by: a dense field
// holds thousands of detections, and its sample needs a few hundred.
std::vector<TCandidata> Candidatas(const TCampo& c) {
    std::vector<TCandidata> candidatas;
    candidatas.reserve(c.detecciones.size());
    for (const TDeteccion& d : c.detecciones) {
        TCandidata e{c.EnFoto(d.x, c.region.x0), c.EnFoto(d.y, c.region.y0), d.flujo, c.f * d.a, 0, {}};
        e.deteccion = &d;
        // The cleaned centre is a mean of the detection's own pixels: inside their box.
        int u0 = c.bw, u1 = 0, v0 = c.bh, v1 = 0;
        for (const int p : d.pixeles) {
            u0 = std::min(u0, p % c.bw), u1 = std::max(u1, p % c.bw);
            v0 = std::min(v0, p / c.bw), v1 = std::max(v1, p / c.bw);
        }
        const double x0 = c.region.x0 + c.f * u0, x1 = c.region.x0 + c.f * u1 + c.f - 1;
        const double y0 = c.region.y0 + c.f * v0, y1 = c.region.y0 + c.f * v1 + c.f - 1;
        e.alcance = std::hypot(std::max(e.x - x0, x1 - e.x), std::max(e.y - y0, y1 - e.y));
        candidatas.push_back(e);
    }
    std::stable_sort(candidatas.begin(), candidatas.end(),
                     [](const TCandidata& a, const TCandidata& b) { return a.flujo > b.flujo; });
    return candidatas;
}

// Cleans e, once.
void Limpia(const TCampo& c, TCandidata& e, const TPausa& pausa) {
    if (!e.deteccion) return;
    pausa();
    bool artefacto = false;
    e = Limpiar(c, *e.deteccion, artefacto);
    e.artefacto = artefacto;
}

// A candidate the sample never reached: left over, with the largest pixel of its detection.
void Sobrante(const TCampo& c, TCandidata& e) {
    if (e.deteccion) {
        int32_t maximo = 0;
        PixelesDe(c, *e.deteccion, [&](int x, int y) { maximo = std::max(maximo, c.Pixel(x, y)); });
        e.maximo = maximo;
        e.deteccion = nullptr;
    }
    e.motivo = TMotivo::Sobrante;
}

// The centre again at full resolution, the centroid within a window around it: a binned
// centroid is pulled towards the middle of its binned pixel, by up to half a frame pixel for
// an undersampled star, and a faint ring may be detected on one arc; the half-flux radius
// grows with any miss. The window holds a compact star's core, or a whole ring. The centre
// stays where it was when the window would leave the region.
void Recentrar(const TCampo& c, const TFoto& foto, TCandidata& e) {
    const TRegion& g = c.region;
    for (int vuelta = 0; vuelta < 3; ++vuelta) {
        const double rr = e.a < 4 ? std::max(2.0, 2 * e.a) : 3 * e.a;
        const int xa = int(std::floor(e.x - rr)), xb = int(std::ceil(e.x + rr));
        const int ya = int(std::floor(e.y - rr)), yb = int(std::ceil(e.y + rr));
        if (xa <= g.x0 || ya <= g.y0 || xb + 1 >= g.x1 || yb + 1 >= g.y1) break;
        double s = 0, sx = 0, sy = 0;
        for (int y = ya; y <= yb; ++y)
            for (int x = xa; x <= xb; ++x)
                if (const double d2 = (x - e.x) * (x - e.x) + (y - e.y) * (y - e.y); d2 <= rr * rr) {
                    if (d2 > NucleoProtegido * NucleoProtegido &&
                        Caliente([&](int a, int b) { return foto(x + a, y + b); }, c.ruido))
                        continue;
                    const double v = std::max(0.0, foto(x, y));
                    s += v, sx += v * x, sy += v * y;
                }
        if (!(s > 0)) break;
        e.x = sx / s, e.y = sy / s;
    }
}

// A measurable profile: the light within rmax of (cx, cy) in the stamp s (less its sky) at
// least SenalMinima times the noise summed over those pixels, ruido a pixel.
bool Medible(const TSello& s, double cx, double cy, double rmax, double ruido) {
    double total = 0;
    int pixeles = 0;
    for (int j = 0; j < s.lado; ++j)
        for (int i = 0; i < s.lado; ++i) {
            const double dx = s.x0 + i - cx, dy = s.y0 + j - cy;
            if (dx * dx + dy * dy <= rmax * rmax) total += s.v[size_t(j) * s.lado + i], ++pixeles;
        }
    return total >= SenalMinima * ruido * std::sqrt(double(pixeles));
}

// Above its sky's own structure: a lump of cloud or glow is one of the ups and downs of a sky
// that is not level at its own scale, no brighter than they are; a star stands far above them.
// The structure is what the ring of sky around the aperture (radii rmax to rmax + anillo from
// (cx, cy) in the stamp s, less its sky) varies by about a plane (a gradient, a nebula's or
// the moon's glow), beyond its pixel noise, taken from the differences of pixels paso apart (a
// smooth structure hardly moves them; 2 on a mosaic's block means, whose neighbours share
// pixels). Where it clearly shows, the aperture's light must exceed EstructuraMaxima times what
// that structure would add over the aperture.
bool SobreSuCielo(const TSello& s, double cx, double cy, double rmax, double anillo, int paso) {
    const double r2 = rmax * rmax, fuera2 = (rmax + anillo) * (rmax + anillo);
    double m[3][4] = {}, total = 0;
    int pixeles = 0;
    std::vector<std::array<double, 3>> cielo;
    std::vector<float> saltos;
    const auto enAnillo = [&](double dx, double dy) {
        const double d = dx * dx + dy * dy;
        return d > r2 && d <= fuera2;
    };
    for (int j = 0; j < s.lado; ++j)
        for (int i = 0; i < s.lado; ++i) {
            const double dx = s.x0 + i - cx, dy = s.y0 + j - cy, v = s.v[size_t(j) * s.lado + i];
            if (dx * dx + dy * dy <= r2) total += v, ++pixeles;
            if (!enAnillo(dx, dy)) continue;
            const double f[3] = {1, dx, dy};
            for (int a = 0; a < 3; ++a) {
                m[a][3] += f[a] * v;
                for (int k = 0; k < 3; ++k) m[a][k] += f[a] * f[k];
            }
            cielo.push_back({dx, dy, v});
            if (i + paso < s.lado && enAnillo(dx + paso, dy))
                saltos.push_back(float(std::fabs(s.v[size_t(j) * s.lado + i + paso] - v)));
        }
    if (cielo.size() < 16 || saltos.size() < 8) return true;
    // The plane by least squares: Gauss-Jordan elimination on the normal equations.
    for (int c = 0; c < 3; ++c) {
        if (!(std::fabs(m[c][c]) > 0)) return true;
        for (int a = 0; a < 3; ++a) {
            if (a == c) continue;
            const double q = m[a][c] / m[c][c];
            for (int k = c; k < 4; ++k) m[a][k] -= q * m[c][k];
        }
    }
    std::vector<float> resto;
    for (const auto& [dx, dy, v] : cielo)
        resto.push_back(float(std::fabs(v - m[0][3] / m[0][0] - m[1][3] / m[1][1] * dx - m[2][3] / m[2][2] * dy)));
    const auto mediana = [](std::vector<float>& v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return 1.4826 * v[v.size() / 2];
    };
    const double variacion = mediana(resto), ruido = mediana(saltos) / std::sqrt(2.0);
    if (variacion <= EstructuraVisible * ruido) return true;
    return total >= EstructuraMaxima * std::sqrt(variacion * variacion - ruido * ruido) * pixeles;
}

// A star's light has faded into the sky at the aperture's edge: its outer fifth holds a few
// percent of the light at most. More, or much less, is a sky that does not stay level around
// the star (the limb of the moon, a nebula's edge) or the light of something else, and the
// radius means nothing. The same pass takes the shape at full resolution, within 3 times the
// half-flux radius, where the binned detection's thresholded moments round an elongated
// image off. The stamp s is less its sky; rmax the aperture around (cx, cy). The outer
// fifth's light is judged against its own noise as well (ruido a pixel): the edge of a faint
// star holds more noise than light, which is no uneven sky.
std::optional<TMotivo> BordeYForma(const TSello& s, double cx, double cy, double rmax,
                                   double radioMitad, double ruido) {
    const double r2 = rmax * rmax;
    double total = 0, borde = 0, sv = 0, mx = 0, my = 0, xx = 0, yy = 0, xy = 0;
    int pixelesBorde = 0;
    const double forma2 = std::pow(std::max(1.5, 3 * radioMitad), 2);
    for (int j = 0; j < s.lado; ++j)
        for (int i = 0; i < s.lado; ++i) {
            const double dx = s.x0 + i - cx, dy = s.y0 + j - cy, d = dx * dx + dy * dy;
            const double v = s.v[size_t(j) * s.lado + i];
            if (d <= r2) {
                total += v;
                if (d > 0.64 * r2) borde += v, ++pixelesBorde;
            }
            if (d <= forma2) {
                const double p = std::max(0.0, v);
                sv += p, mx += p * dx, my += p * dy, xx += p * dx * dx, yy += p * dy * dy, xy += p * dx * dy;
            }
        }
    if (std::fabs(borde) > BordeMaximo * total + 3 * ruido * std::sqrt(pixelesBorde))
        return TMotivo::CieloDesigual;
    mx /= sv, my /= sv;
    const auto [ma, mi] = Ejes(xx / sv - mx * mx, yy / sv - my * my, xy / sv - mx * my);
    if (!(ma <= ElongacionMaxima * mi)) return TMotivo::Alargada;
    return std::nullopt;
}

// The radii holding half and 90 % of e's light within rmax, into radios. The first pass only
// sizes the aperture: the map's sky, no cleaning. The final one subtracts the star's own sky,
// the median of a ring just outside the aperture (the map's tiles may be off there, biased by
// the star itself when it is large, or too coarse for a glow or a nebula), and judges the
// edge and the shape. A reason when the star cannot be measured so.
std::optional<TMotivo> Radios(const TCampo& c, const TFoto& foto, const TCandidata& e,
                              double rmax, bool final, double radios[2]) {
    const TRegion& g = c.region;
    double ruidoCielo = 0;
    const double anillo = final ? AnilloCielo(rmax) : 0;
    const int lado = int(std::ceil(rmax + anillo)) + 1;
    if (e.x - lado < g.x0 || e.y - lado < g.y0 || e.x + lado + 1 >= g.x1 || e.y + lado + 1 >= g.y1)
        return TMotivo::Borde; // the aperture would be cut by the edge or the padding
    TSello s = Sello(foto, e.x, e.y, lado, final, c.ruido);
    if (final) {
        const double r2 = rmax * rmax, fuera2 = (rmax + anillo) * (rmax + anillo);
        std::vector<float> cielo;
        for (int j = 0; j < s.lado; ++j)
            for (int i = 0; i < s.lado; ++i) {
                const double dx = s.x0 + i - e.x, dy = s.y0 + j - e.y, d = dx * dx + dy * dy;
                if (d > r2 && d <= fuera2) cielo.push_back(s.v[size_t(j) * s.lado + i]);
            }
        if (cielo.empty()) return TMotivo::Borde;
        const auto mitad = cielo.begin() + std::ptrdiff_t(cielo.size() / 2);
        std::nth_element(cielo.begin(), mitad, cielo.end());
        const float local = *mitad;
        for (float& v : s.v) v -= local;
        // The ring's own noise, from its median absolute deviation: the frame's typical noise
        // is no guide where a bright structured object fills most of the frame.
        for (float& v : cielo) v = std::fabs(v - local);
        std::nth_element(cielo.begin(), mitad, cielo.end());
        ruidoCielo = 1.4826 * *mitad;
    }
    if (!RadiosDeLuz(s, e.x, e.y, rmax, final, radios)) return TMotivo::SinLuz;
    if (final && !Medible(s, e.x, e.y, rmax, ruidoCielo)) return TMotivo::Debil;
    if (final && !SobreSuCielo(s, e.x, e.y, rmax, AnilloCielo(rmax), c.mosaico ? 2 : 1))
        return TMotivo::CieloDesigual;
    return final ? BordeYForma(s, e.x, e.y, rmax, radios[0], c.ruido) : std::nullopt;
}

// Isolated: no other candidate's centre inside the aperture of radius rmax around e, the
// artefacts apart (they are nobody's neighbours). An uncleaned candidate near enough for its
// cleaned centre to fall inside is cleaned first. porX indexes the candidates by clave, their
// x before any was cleaned or measured; no centre is now farther than deriva from it.
bool Aislada(const TCampo& c, std::vector<TCandidata>& candidatas, const std::vector<size_t>& porX,
             const std::vector<double>& clave, double deriva, const TCandidata& e, double rmax,
             const TPausa& pausa) {
    const auto primera = std::lower_bound(porX.begin(), porX.end(), e.x - rmax - deriva,
                                          [&](size_t k, double x) { return clave[k] < x; });
    for (auto k = primera; k != porX.end() && clave[*k] <= e.x + rmax + deriva; ++k) {
        TCandidata& o = candidatas[*k];
        if (&o == &e) continue;
        const auto d2 = [&] { return (o.x - e.x) * (o.x - e.x) + (o.y - e.y) * (o.y - e.y); };
        if (o.deteccion && d2() <= (rmax + o.alcance) * (rmax + o.alcance)) Limpia(c, o, pausa);
        if (!o.deteccion && !o.artefacto && d2() <= rmax * rmax) return false;
    }
    return true;
}

// The order in which the candidates (brightest first) are measured: round robin over a grid
// of 6 x 6 cells of the region, brightest first within each cell, the artefacts passed over.
// When a dense field has more usable stars than the medians need, those measured are spread
// over the whole frame, each ninth that the tilt reads (2 x 2 cells) with its share, rather
// than crowded where the brightest stars are. Each candidate is cleaned as it is reached.
class TOrdenRepartido {
public:
    TOrdenRepartido(const std::vector<TCandidata>& candidatas, const TRegion& g) {
        const auto celda = [](double v, int a, int b) {
            return std::clamp(int((v - a) * Celdas / (b - a)), 0, Celdas - 1);
        };
        for (size_t k = 0; k < candidatas.size(); ++k)
            celdas_[size_t(celda(candidatas[k].y, g.y0, g.y1) * Celdas + celda(candidatas[k].x, g.x0, g.x1))]
                .push_back(k);
    }
    // The next candidate that is no artefact, none once every one was given.
    std::optional<size_t> Siguiente(const TCampo& c, std::vector<TCandidata>& candidatas,
                                    const TPausa& pausa) {
        for (size_t vistas = 0; vistas < celdas_.size(); ++vistas) {
            const size_t i = siguiente_;
            siguiente_ = (siguiente_ + 1) % celdas_.size();
            while (cursor_[i] < celdas_[i].size()) {
                const size_t k = celdas_[i][cursor_[i]++];
                Limpia(c, candidatas[k], pausa);
                if (!candidatas[k].artefacto) return k;
            }
        }
        return std::nullopt;
    }

private:
    static constexpr int Celdas = 6;
    std::array<std::vector<size_t>, Celdas * Celdas> celdas_;
    std::array<size_t, Celdas * Celdas> cursor_{};
    size_t siguiente_ = 0;
};

// Step 3, radii and isolation: the half-flux diameter of the usable candidates, in the order
// above, within an aperture inside the region, until MaximoEstrellas are isolated or
// MaximoIntentos were tried; the rest get a reason.
void MedirDiametros(const TCampo& c, std::vector<TCandidata>& candidatas, const TPausa& pausa) {
    std::vector<double> clave(candidatas.size());
    double deriva = 0;
    for (size_t k = 0; k < candidatas.size(); ++k)
        clave[k] = candidatas[k].x, deriva = std::max(deriva, candidatas[k].alcance);
    std::vector<size_t> porX(candidatas.size());
    std::iota(porX.begin(), porX.end(), size_t{0});
    std::sort(porX.begin(), porX.end(), [&](size_t a, size_t b) { return clave[a] < clave[b]; });
    std::vector<bool> probada(candidatas.size(), false);
    TOrdenRepartido orden(candidatas, c.region);
    for (size_t aisladas = 0, intentos = 0; aisladas < MaximoEstrellas && intentos < MaximoIntentos;) {
        const std::optional<size_t> k = orden.Siguiente(c, candidatas, pausa);
        if (!k) break;
        TCandidata& e = candidatas[*k];
        probada[*k] = true;
        if (e.motivo) continue;
        pausa();
        ++intentos;
        const TFoto foto{c.m, c.w, c.Cielo(int(e.x), int(e.y))};
        Recentrar(c, foto, e);
        deriva = std::max(deriva, std::fabs(e.x - clave[*k]));
        double radios[2] = {0, 0};
        // A first pass within 5 times the detection's rms size sizes the aperture; a star with
        // a neighbour inside it is left out before the costlier final pass, which a dense
        // field would otherwise spend on most of its stars.
        e.motivo = Radios(c, foto, e, std::max(3.0, 5.0 * e.a), false, radios);
        if (e.motivo) continue;
        const double rmax = std::max(3.0, AperturaEn90 * radios[1]);
        if (!Aislada(c, candidatas, porX, clave, deriva, e, rmax, pausa)) {
            e.motivo = TMotivo::Vecina;
            continue;
        }
        e.motivo = Radios(c, foto, e, rmax, true, radios);
        if (e.motivo) continue;
        e.hfd = Diametro(radios[0]);
        if (e.hfd >= DiametroDifuso && radios[1] >= Razon90Difusa * radios[0]) {
            e.motivo = TMotivo::Difusa;
            continue;
        }
        ++aisladas;
    }
    for (size_t k = 0; k < candidatas.size(); ++k)
        if (!probada[k] && !candidatas[k].artefacto && !candidatas[k].motivo) Sobrante(c, candidatas[k]);
}

// Step 4, the frame's focus: the stars of one frame share it, within a factor of 2 of their
// median HFD, even with field curvature or a tilted sensor. Far below it is a piece of
// something larger (one arc of a faint ring broken by noise) or what slipped past the tests
// above. The median is over the stars measured and isolated, and needs three of them to mean
// anything: of two, it cannot tell the star from the odd one.
void DescartarLejosDeMediana(std::vector<TCandidata>& candidatas) {
    std::vector<double> diametros;
    for (const TCandidata& e : candidatas)
        if (!e.motivo) diametros.push_back(e.hfd);
    if (diametros.size() < 3) return;
    const double tipico = Mediana(diametros);
    for (TCandidata& e : candidatas)
        if (!e.motivo && (e.hfd < tipico / 2 || e.hfd > 2 * tipico)) e.motivo = TMotivo::LejosDeMediana;
}

// Step 5, the summary: the window's fit on the brightest usable stars with an HFD below
// FWHMBorrosa, the stars used, the rejected ones with their reasons (candidatas brightest
// first), and the medians.
void Resumir(TPlaca& Placa, const TFotoMedible& medible, const TRegion& g, std::vector<TCandidata>& candidatas,
             const TPausa& pausa, TMedidaCampo& r) {
    std::vector<double> fwhm, hfd, picos;
    size_t ajustes = 0;
    for (TCandidata& e : candidatas) {
        TEstrellaCampo s;
        s.X = e.x, s.Y = e.y, s.HFD = e.hfd, s.Maximo = e.maximo;
        if (!e.motivo && s.HFD >= FWHMBorrosa) {
            s.FWHM = FWHMBorrosa;
        } else if (!e.motivo && ajustes < MaximoAjustes) {
            // The window's fit box must lie inside the region.
            const int64_t cx = Redondear(e.x), cy = Redondear(e.y), caja = RadioAjuste(s.HFD);
            if (cx - caja < g.x0 || cy - caja < g.y0 || cx + caja >= g.x1 || cy + caja >= g.y1) {
                e.motivo = TMotivo::Borde;
            } else {
                pausa();
                try {
                    s.FWHM = ElegirFWHM(Placa, s.HFD, e.x, e.y, s.Calidad, medible.saturada - 1,
                                        *medible.area);
                    // A saturated neighbour inside the fit box.
                    if (s.Calidad == 'S') e.motivo = TMotivo::Saturada;
                } catch (const ErrorAritmetico&) {
                    e.motivo = TMotivo::SinAjuste; // no light above the fit's sky
                }
                s.Ajustada = !e.motivo;
                ajustes += s.Ajustada;
                if (s.Ajustada) fwhm.push_back(s.FWHM);
            }
        }
        if (e.motivo) {
            r.Rechazadas.push_back({e.x, e.y, e.hfd, e.maximo, *e.motivo});
            continue;
        }
        r.Estrellas.push_back(s);
        hfd.push_back(s.HFD);
        picos.push_back(s.Maximo);
    }
    if (r.Estrellas.empty()) return;
    r.HFD = Mediana(hfd);
    r.Maximo = Redondear(Mediana(picos));
    r.FWHM = r.HFD >= FWHMBorrosa || fwhm.empty() ? FWHMBorrosa : static_cast<float>(Mediana(fwhm));
    r.Ajustadas = static_cast<int>(fwhm.size());
}

} // namespace

TMedidaCampo MedirCampo(TPlaca& Placa, const std::function<void()>& Pausa) {
    const TPausa pausa = [&Pausa] {
        if (Pausa) Pausa();
    };
    TMedidaCampo r;
    TCampo c;
    // A colour mosaic is measured on its block means, and every frame against its camera's clip.
    const TFotoMedible medible = FotoMedible(Placa, Pausa);
    c.w = medible.ancho;
    const int h = medible.alto;
    if (c.w < 8 || h < 8) return r; // too small for a star with a border of sky
    c.m = medible.datos;
    c.saturada = medible.saturada;
    c.mosaico = medible.mosaico;
    c.region = SinRelleno(c.m, c.w, h);
    pausa();
    // Too small for a star with a border of sky, or one tile of background at least.
    if (c.region.x1 - c.region.x0 < 8 || c.region.y1 - c.region.y0 < 8) return r;
    if (!Detectar(c, pausa)) return r;
    r.Fondo = sep_bkg_global(c.fondo.get());

    std::vector<TCandidata> candidatas = Candidatas(c);
    MedirDiametros(c, candidatas, pausa);
    c.detecciones = {};
    DescartarLejosDeMediana(candidatas);
    Resumir(Placa, medible, c.region, candidatas, pausa, r);
    AFotoOriginal(medible, r);
    return r;
}
