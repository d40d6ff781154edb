// SPDX-License-Identifier: GPL-3.0-or-later
#include "Campo.h"

#include "Camara.h"
#include "Medida.h"
#include "Mediana.h"
#include "Numeros.h"

extern "C" { // the header declares C functions without saying so
#include <sep.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numeric>
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
// kernel below, over at least 3 connected binned pixels. On pure noise that finds no false
// detection even on the largest frames, and a star that faint would be too noisy to move a
// median.
constexpr float UmbralSigmas = 3.0f;
constexpr int AreaMinima = 3;
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

// The brightest 200 usable stars give the HFD and peak medians: as steady as a larger sample.
// The Gaussian fits, the costliest step, run on the brightest 10 of them with an HFD below 10:
// their median FWHM is already steady to a fraction of a percent.
constexpr size_t MaximoEstrellas = 200, MaximoAjustes = 10;

struct LiberarFondo {
    void operator()(sep_bkg* b) const { sep_bkg_free(b); }
};
struct LiberarCatalogo {
    void operator()(sep_catalog* c) const { sep_catalog_free(c); }
};

// SEP's status codes that a larger binning cures: its pixel stack ("internal pixel buffer
// full") or its deblending list overflowed on a large bright object.
constexpr int PilaLlena = 2, DemasiadosFragmentos = 7;

void Comprobar(int estado) {
    if (estado == 0) return;
    throw std::runtime_error(estado == 1 ? "memoria insuficiente para medir el campo"
                                         : "no se pudo medir el campo (error " +
                                               std::to_string(estado) + " de SEP)");
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
    bool truncada = false;
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
        e.truncada = c->flag[i] & (SEP_OBJ_TRUNC | SEP_OBJ_SINGU);
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

} // namespace

TMedidaCampo MedirCampo(TPlaca& Placa, const std::function<void()>& Pausa) {
    const auto pausa = [&Pausa] {
        if (Pausa) Pausa();
    };
    TMedidaCampo r;
    // A colour mosaic is measured on superpixels, and every frame against its camera's clip.
    const TFotoMedible medible = FotoMedible(Placa, Pausa);
    const int w = medible.ancho, h = medible.alto;
    if (w < 8 || h < 8) return r; // too small for a star with a border of sky
    const uint16_t* matriz = medible.datos;
    const TRegion region = SinRelleno(matriz, w, h);
    pausa();
    // Too small for a star with a border of sky, or one tile of background at least.
    if (region.x1 - region.x0 < 8 || region.y1 - region.y0 < 8) return r;

    // Background and detection on the binned frame; a large bright object that overflows
    // SEP's stacks is detected again on a frame binned twice as much, down to 8 x 8 pixels.
    int f = Agrupamiento(region.x1 - region.x0, region.y1 - region.y0), bw = 0, bh = 0;
    std::vector<float> agrupada, ruidoLocal;
    // The typical noise of the binned sky, the median over the background's tiles, which
    // structure in some of them does not raise.
    double ruidoAgrupado = 0;
    std::unique_ptr<sep_bkg, LiberarFondo> fondo;
    std::unique_ptr<sep_catalog, LiberarCatalogo> catalogo;
    for (;; f *= 2) {
        agrupada.clear();
        agrupada.shrink_to_fit();
        agrupada = Agrupar(matriz, w, region, f, bw, bh);
        if (bw < 4 || bh < 4) return r;
        pausa();
        sep_image im{};
        im.data = agrupada.data();
        im.dtype = SEP_TFLOAT;
        im.w = bw;
        im.h = bh;
        im.noise_type = SEP_NOISE_NONE;
        const int tesela = std::max(4, TeselaFondo / f);
        sep_bkg* b = nullptr;
        Comprobar(sep_background(&im, tesela, tesela, FiltroFondo, FiltroFondo, 0.0, &b));
        fondo.reset(b);
        Comprobar(sep_bkg_subarray(b, agrupada.data(), SEP_TFLOAT));
        pausa();
        // The threshold follows the local noise of the map when it varies: a bright
        // structured object (a nebula, the moon's limb) raises the frame's global noise, and
        // stars in clear sky beside it would be missed against that. An even sky needs no
        // map. Counts are whole numbers: a noise below one count (a fraction of a binned one)
        // is only a flat, noiseless sky.
        ruidoAgrupado = Mediana({b->sigma, b->sigma + b->n});
        const float minimo = 1.0f / float(f);
        im.noiseval = std::max(minimo, float(ruidoAgrupado));
        im.noise_type = SEP_NOISE_STDDEV;
        const auto [menor, mayor] = std::minmax_element(b->sigma, b->sigma + b->n);
        if (*mayor > 1.5f * std::max(minimo, *menor)) {
            ruidoLocal.resize(agrupada.size());
            Comprobar(sep_bkg_rmsarray(b, ruidoLocal.data(), SEP_TFLOAT));
            for (float& v : ruidoLocal) v = std::max(v, minimo);
            im.noise = ruidoLocal.data();
            im.ndtype = SEP_TFLOAT;
        }
        const size_t pixeles = size_t(bw) * size_t(bh);
        sep_set_extract_pixstack(std::min(pixeles + 2, std::max(PilaMinima, pixeles / 16)));
        sep_catalog* c = nullptr;
        const int estado = sep_extract(&im, UmbralSigmas, SEP_THRESH_REL, AreaMinima, Nucleo, 3, 3,
                                       SEP_FILTER_CONV, NivelesSeparacion, 0.005, 1, 1.0, &c);
        catalogo.reset(c);
        pausa();
        if (estado == 0) break;
        if ((estado != PilaLlena && estado != DemasiadosFragmentos) || bw < 16 || bh < 16)
            Comprobar(estado);
    }
    r.Fondo = sep_bkg_global(fondo.get());
    // The noise of one frame pixel: the binned one is the mean of f x f of them.
    const double ruido = std::max(1.0, f * ruidoAgrupado);
    ruidoLocal = {};
    std::vector<TDeteccion> detecciones = Detecciones(catalogo.get(), bw, bh, agrupada);
    agrupada = {}; // the memory goes back before the stars are measured
    catalogo.reset();

    // Frame coordinates of a binned position: binned pixel i covers frame pixels f i to
    // f i + f - 1 of the region.
    const auto enFoto = [&](double b, int origen) { return origen + f * b + (f - 1) / 2.0; };

    // What passes the cheap tests, brightest first. Everything that is not an artefact is a
    // star's light, and counts as a neighbour when isolation is judged.
    struct TCandidata {
        double x, y, flujo, a; // frame pixels
        int32_t maximo;
        bool usable;
        double hfd = 0; // once measured
    };
    // The background map's sky at a frame pixel.
    const auto sky = [&](int x, int y) {
        return double(sep_bkg_pix(fondo.get(), std::clamp((x - region.x0) / f, 0, bw - 1),
                                  std::clamp((y - region.y0) / f, 0, bh - 1)));
    };
    const auto dentro = [&](int x, int y) {
        return x > region.x0 + 1 && y > region.y0 + 1 && x + 2 < region.x1 && y + 2 < region.y1;
    };
    const auto pixel = [&](int x, int y) { return int32_t{matriz[size_t(y) * w + x]}; };
    std::vector<TCandidata> candidatas;
    for (const TDeteccion& d : detecciones) {
        pausa();
        // The detection at full resolution, less what no optics can form: each bright local
        // maximum that fails that test takes its 3 x 3 pixels out (a warm pixel, pair or
        // cluster, a cosmic-ray hit). A detection whose light was mostly that is dropped; a
        // star keeps its centre and peak, which a warm pixel inside its outline would pull.
        std::vector<std::pair<int, int>> fuera; // centres of the 3 x 3 taken out
        const double cielo = sky(region.x0 + int(d.x) * f, region.y0 + int(d.y) * f);
        for (const int p : d.pixeles) {
            const int x0 = region.x0 + (p % bw) * f, y0 = region.y0 + (p / bw) * f;
            for (int j = 0; j < f; ++j)
                for (int i = 0; i < f; ++i) {
                    const int x = x0 + i, y = y0 + j, v = pixel(x, y);
                    if (v - cielo < PicoJuzgable * ruido || !dentro(x, y)) continue;
                    bool pico = true;
                    for (int b = -1; b <= 1 && pico; ++b)
                        for (int a = -1; a <= 1 && pico; ++a)
                            pico = (a == 0 && b == 0) || pixel(x + a, y + b) < v ||
                                   (pixel(x + a, y + b) == v && (b > 0 || (b == 0 && a > 0)));
                    if (pico && Artefacto(TFoto{matriz, w, sky(x, y)}, x, y, ruido)) fuera.push_back({x, y});
                }
        }
        const auto quitado = [&](int x, int y) {
            for (const auto& [u, v] : fuera)
                if (std::abs(x - u) <= 1 && std::abs(y - v) <= 1) return true;
            return false;
        };
        int32_t maximo = 0;
        double luz = 0, luzQuitada = 0, sx = 0, sy = 0;
        for (const int p : d.pixeles) {
            const int x0 = region.x0 + (p % bw) * f, y0 = region.y0 + (p / bw) * f;
            for (int j = 0; j < f; ++j)
                for (int i = 0; i < f; ++i) {
                    const int x = x0 + i, y = y0 + j, v = pixel(x, y);
                    const double l = std::max(0.0, v - cielo);
                    if (!fuera.empty() && quitado(x, y)) {
                        luzQuitada += l;
                        continue;
                    }
                    maximo = std::max(maximo, v);
                    luz += l, sx += l * x, sy += l * y;
                }
        }
        if (luzQuitada >= luz || !(luz > 0)) continue;
        // Without anything taken out, the binned centroid serves: at full resolution it is
        // refined later within a window.
        const double cx = fuera.empty() ? enFoto(d.x, region.x0) : sx / luz;
        const double cy = fuera.empty() ? enFoto(d.y, region.y0) : sy / luz;
        const bool usable = !d.truncada && d.b > 0 && d.a <= ElongacionMaxima * d.b &&
                            maximo < medible.saturada;
        candidatas.push_back({cx, cy, d.flujo, f * d.a, maximo, usable});
    }
    std::stable_sort(candidatas.begin(), candidatas.end(),
                     [](const TCandidata& a, const TCandidata& b) { return a.flujo > b.flujo; });

    // Half-flux radius of the usable stars, brightest first, within an aperture inside the
    // region, until there are enough isolated ones. Neighbours are looked up by x.
    std::vector<size_t> porX(candidatas.size());
    std::iota(porX.begin(), porX.end(), size_t{0});
    std::sort(porX.begin(), porX.end(), [&](size_t a, size_t b) { return candidatas[a].x < candidatas[b].x; });
    size_t aisladas = 0;
    for (TCandidata& e : candidatas) {
        if (!e.usable) continue;
        pausa();
        if (aisladas >= MaximoEstrellas) {
            e.usable = false;
            continue;
        }
        e.usable = false;
        const TFoto foto{matriz, w, sky(int(e.x), int(e.y))};
        // The centre again at full resolution, the centroid within a window around it: a
        // binned centroid is pulled towards the middle of its binned pixel, by up to half a
        // frame pixel for an undersampled star, and a faint ring may be detected on one arc;
        // the half-flux radius grows with any miss. The window holds a compact star's core,
        // or a whole ring.
        for (int vuelta = 0; vuelta < 3; ++vuelta) {
            const double rr = e.a < 4 ? std::max(2.0, 2 * e.a) : 3 * e.a;
            const int xa = int(std::floor(e.x - rr)), xb = int(std::ceil(e.x + rr));
            const int ya = int(std::floor(e.y - rr)), yb = int(std::ceil(e.y + rr));
            if (xa <= region.x0 || ya <= region.y0 || xb + 1 >= region.x1 || yb + 1 >= region.y1) break;
            double s = 0, sx = 0, sy = 0;
            for (int y = ya; y <= yb; ++y)
                for (int x = xa; x <= xb; ++x)
                    if (const double d2 = (x - e.x) * (x - e.x) + (y - e.y) * (y - e.y); d2 <= rr * rr) {
                        if (d2 > NucleoProtegido * NucleoProtegido &&
                            Caliente([&](int a, int b) { return foto(x + a, y + b); }, ruido))
                            continue;
                        const double v = std::max(0.0, foto(x, y));
                        s += v, sx += v * x, sy += v * y;
                    }
            if (!(s > 0)) break;
            e.x = sx / s, e.y = sy / s;
        }
        // The radii holding half and 90 % of the light within rmax, the star's own sky
        // subtracted.
        double radios[2] = {0, 0};
        const auto medirRadios = [&](double rmax, bool final) {
            // The first pass only sizes the aperture: the map's sky, no cleaning.
            const double anillo = final ? AnilloCielo(rmax) : 0;
            const int lado = int(std::ceil(rmax + anillo)) + 1;
            if (e.x - lado < region.x0 || e.y - lado < region.y0 || e.x + lado + 1 >= region.x1 ||
                e.y + lado + 1 >= region.y1)
                return false; // the aperture would be cut by the edge or the padding
            TSello s = Sello(foto, e.x, e.y, lado, final, ruido);
            // The star's own sky: the median of a ring of sky just outside the aperture. The
            // map's tiles may be off there, biased by the star itself when it is large, or too
            // coarse for a glow or a nebula.
            const auto distancia2 = [&](int i, int j) {
                const double dx = s.x0 + i - e.x, dy = s.y0 + j - e.y;
                return dx * dx + dy * dy;
            };
            const double r2 = rmax * rmax, fuera2 = (rmax + anillo) * (rmax + anillo);
            if (final) {
                std::vector<float> cielo;
                for (int j = 0; j < s.lado; ++j)
                    for (int i = 0; i < s.lado; ++i)
                        if (const double d = distancia2(i, j); d > r2 && d <= fuera2)
                            cielo.push_back(s.v[size_t(j) * s.lado + i]);
                if (cielo.empty()) return false;
                std::nth_element(cielo.begin(), cielo.begin() + cielo.size() / 2, cielo.end());
                const float local = cielo[cielo.size() / 2];
                for (float& v : s.v) v -= local;
            }
            if (!RadiosDeLuz(s, e.x, e.y, rmax, final, radios)) return false;
            if (!final) return true;
            // A star's light has faded into the sky at the aperture's edge: its outer fifth
            // holds a few percent of the light at most. More, or much less, is a sky that
            // does not stay level around the star (the limb of the moon, a nebula's edge) or
            // the light of something else, and the radius means nothing. The same pass takes
            // the shape at full resolution, within 3 times the half-flux radius, where the
            // binned detection's thresholded moments round an elongated image off.
            double total = 0, borde = 0, sv = 0, mx = 0, my = 0, xx = 0, yy = 0, xy = 0;
            const double forma2 = std::pow(std::max(1.5, 3 * radios[0]), 2);
            for (int j = 0; j < s.lado; ++j)
                for (int i = 0; i < s.lado; ++i) {
                    const double dx = s.x0 + i - e.x, dy = s.y0 + j - e.y, d = dx * dx + dy * dy;
                    const double v = s.v[size_t(j) * s.lado + i];
                    if (d <= r2) {
                        total += v;
                        if (d > 0.64 * r2) borde += v;
                    }
                    if (d <= forma2) {
                        const double p = std::max(0.0, v);
                        sv += p, mx += p * dx, my += p * dy, xx += p * dx * dx, yy += p * dy * dy, xy += p * dx * dy;
                    }
                }
            if (std::fabs(borde) > BordeMaximo * total) return false;
            mx /= sv, my /= sv;
            const auto [ma, mi] = Ejes(xx / sv - mx * mx, yy / sv - my * my, xy / sv - mx * my);
            return ma <= ElongacionMaxima * mi;
        };
        // A first pass within 5 times the detection's rms size, then the aperture.
        if (!medirRadios(std::max(3.0, 5.0 * e.a), false)) continue;
        const double rmax = std::max(3.0, AperturaEn90 * radios[1]);
        if (!medirRadios(rmax, true)) continue;
        e.hfd = Diametro(radios[0]);
        // Isolated: no other star's centre inside the aperture.
        const auto primera = std::lower_bound(porX.begin(), porX.end(), e.x - rmax,
                                              [&](size_t k, double x) { return candidatas[k].x < x; });
        e.usable = true;
        for (auto k = primera; k != porX.end() && candidatas[*k].x <= e.x + rmax && e.usable; ++k) {
            const TCandidata& o = candidatas[*k];
            e.usable = &o == &e || (o.x - e.x) * (o.x - e.x) + (o.y - e.y) * (o.y - e.y) > rmax * rmax;
        }
        aisladas += e.usable;
    }

    // The stars of one frame share its focus: within a factor of 2 of their median HFD, even
    // with field curvature or a tilted sensor. Far below it is a piece of something larger
    // (one arc of a faint ring broken by noise) or what slipped past the tests above.
    std::vector<double> diametros;
    for (const TCandidata& e : candidatas)
        if (e.usable) diametros.push_back(e.hfd);
    const double tipico = Mediana(diametros);
    for (TCandidata& e : candidatas)
        e.usable = e.usable && e.hfd >= tipico / 2 && e.hfd <= 2 * tipico;

    std::vector<double> fwhm, hfd, picos;
    size_t ajustes = 0;
    for (const TCandidata& e : candidatas) {
        if (!e.usable) continue;
        TEstrellaCampo s;
        s.X = e.x;
        s.Y = e.y;
        s.HFD = e.hfd;
        s.Maximo = e.maximo;
        if (s.HFD >= 10) {
            s.FWHM = 10;
        } else if (ajustes < MaximoAjustes) {
            // The window's fit box must lie inside the region.
            const int64_t cx = Redondear(e.x), cy = Redondear(e.y), caja = RadioAjuste(s.HFD);
            if (cx - caja < region.x0 || cy - caja < region.y0 || cx + caja >= region.x1 ||
                cy + caja >= region.y1)
                continue;
            pausa();
            try {
                s.FWHM = ElegirFWHM(Placa, s.HFD, e.x, e.y, s.Calidad, medible.saturada - 1,
                                    *medible.area);
            } catch (const std::runtime_error&) {
                continue; // a fit that cannot be computed (no light above the sky)
            }
            if (s.Calidad == 'S') continue; // a saturated neighbour inside the fit box
            s.Ajustada = true;
            ++ajustes;
            fwhm.push_back(s.FWHM);
        }
        r.Estrellas.push_back(s);
        hfd.push_back(s.HFD);
        picos.push_back(s.Maximo);
    }
    if (r.Estrellas.empty()) return r;
    r.HFD = Mediana(hfd);
    r.Maximo = Redondear(Mediana(picos));
    r.FWHM = r.HFD >= 10 || fwhm.empty() ? 10.0f : static_cast<float>(Mediana(fwhm));
    r.Ajustadas = static_cast<int>(fwhm.size());
    AFotoOriginal(medible, r);
    return r;
}
