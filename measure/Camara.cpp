// SPDX-License-Identifier: GPL-3.0-or-later
#include "Camara.h"

#include "Errores.h"
#include "Medida.h"
#include "Mediana.h"
#include "Numeros.h"

#include <algorithm>
#include <array>
#include <climits>
#include <functional>
#include <cmath>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The four tiles a colour mosaic is named by, read row by row from its first pixel.
bool EsMosaico(std::string v) {
    std::transform(v.begin(), v.end(), v.begin(), [](unsigned char c) { return std::toupper(c); });
    return v == "RGGB" || v == "GRBG" || v == "GBRG" || v == "BGGR";
}

// A header value, empty when the card is missing or blank.
std::string Clave(const TPlaca& Placa, const char* nombre) {
    try {
        return Placa.LeerClave(nombre);
    } catch (const ErrorRango&) {
        return {};
    }
}

// The sky of the frame, from some 8000 of its 2 x 2 tiles spread over it, in runs of 16 along
// 64 rows (a few thousand cache lines): each place of the tile apart (a colour mosaic's filters
// give them their own levels) and all together.
struct TCielo {
    std::array<double, 4> nivel{}; // the mean of each place, within 3 sigma of its median
    double sigma = 0;              // the largest of the places' noise
};
TCielo Cielo(const uint16_t* datos, int ancho, int alto) {
    std::array<std::vector<double>, 4> lugar;
    const int filas = alto / 2, columnas = ancho / 2;
    for (int j = 0; j < filas; j += std::max(1, filas / 64))
        for (int tramo = 0; tramo < 8; ++tramo)
            for (int i = tramo * columnas / 8; i < std::min(tramo * columnas / 8 + 16, (tramo + 1) * columnas / 8); ++i)
                for (int k = 0; k < 4; ++k)
                    lugar[size_t(k)].push_back(datos[size_t(2 * j + k / 2) * ancho + 2 * i + k % 2]);
    TCielo c;
    for (int k = 0; k < 4; ++k) {
        std::vector<double>& v = lugar[size_t(k)];
        const double m = Mediana(v);
        std::vector<double> desvios(v.size());
        std::transform(v.begin(), v.end(), desvios.begin(), [m](double x) { return std::fabs(x - m); });
        // The median absolute deviation of a normal noise is 0.6745 sigma; counts are whole,
        // so a sigma below half a count is a quantised flat sky.
        const double s = std::max(0.5, Mediana(desvios) / 0.6745);
        double suma = 0;
        int n = 0;
        for (const double x : v)
            if (std::fabs(x - m) <= 3 * s) suma += x, ++n;
        c.nivel[size_t(k)] = n ? suma / n : m;
        c.sigma = std::max(c.sigma, s);
    }
    return c;
}

// A plateau at the top of the data: at least this many pixels at the one largest value, and
// that value far above the sky. Noise gives a star's brightest pixel a value of its own; a
// clipped star spreads the clip level over its core, and a warm pixel that clips adds to it.
constexpr size_t PixelesMeseta = 3;
constexpr double MesetaSobreCielo = 20; // sigmas

// Rows of the largest frames worked through between two calls of the pause: a few
// milliseconds.
constexpr int FilasEntrePausas = 256;

// A warm pixel of a colour mosaic: far above its filter's sky, with two of the four pixels
// beside it (other filters) at the sky; the other two may be warm as well, in a pair or a
// cluster. The sharpest star image optics form puts a seventh of its peak on each of them, a
// filter passing a third as much still a twentieth, so that the two faintest together hold
// a tenth of the peak's light; a warm pixel's, the sky's noise. The block means would
// otherwise spread it over 2 x 2 pixels, the size of a sharp star.
constexpr double CalienteSobreCielo = 30, VecinosDeCaliente = 0.04; // sigmas; of the excess
std::vector<size_t> Calientes(const uint16_t* datos, int ancho, int alto, const TCielo& c,
                              const std::function<void()>& pausa) {
    std::vector<size_t> r;
    const auto exceso = [&](int x, int y) {
        return datos[size_t(y) * ancho + x] - c.nivel[size_t(y % 2 * 2 + x % 2)];
    };
    const double umbral = CalienteSobreCielo * c.sigma;
    for (int y = 1; y + 1 < alto; ++y)
        for (int x = 1; x + 1 < ancho; ++x) {
            if (x == 1 && y % FilasEntrePausas == 0) pausa();
            const double e = exceso(x, y);
            if (e < umbral) continue;
            std::array<double, 4> v = {exceso(x - 1, y), exceso(x + 1, y), exceso(x, y - 1), exceso(x, y + 1)};
            std::sort(v.begin(), v.end());
            if (v[0] + v[1] < std::max(VecinosDeCaliente * e, 3 * c.sigma)) r.push_back(size_t(y) * ancho + x);
        }
    return r;
}

// Two passes over the whole frame, written as loops of 16 lanes of fixed length, which the
// compiler vectorises at -O2 (the signed maximum, as the baseline instruction set has no
// unsigned one): a few milliseconds on the largest frames.
uint16_t Mayor(const uint16_t* datos, size_t n) {
    std::array<int16_t, 16> carriles;
    carriles.fill(INT16_MIN);
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        for (size_t k = 0; k < 16; ++k)
            carriles[k] = std::max(carriles[k], int16_t(datos[i + k] ^ 0x8000));
    uint16_t mayor = uint16_t(*std::max_element(carriles.begin(), carriles.end())) ^ 0x8000;
    for (; i < n; ++i) mayor = std::max(mayor, datos[i]);
    return mayor;
}
size_t Contar(const uint16_t* datos, size_t n, uint16_t valor) {
    size_t r = 0, i = 0;
    while (i + 16 <= n) { // in blocks that a 16-bit lane's count cannot overflow
        std::array<uint16_t, 16> carriles{};
        const size_t fin = std::min(n - (n - i) % 16, i + 16 * 4096);
        for (; i < fin; i += 16)
            for (size_t k = 0; k < 16; ++k) carriles[k] = uint16_t(carriles[k] + (datos[i + k] == valor));
        for (const uint16_t c : carriles) r += c;
    }
    for (; i < n; ++i) r += datos[i] == valor;
    return r;
}

// The diameter (HFD or FWHM) of the image itself from one measured on the means of 2 x 2
// blocks: each mean blurs the image by the mean of two points a pixel apart along each axis, a
// variance of 1/4 px^2, which adds 5.545 / 4 px^2 to the square of a Gaussian image's
// diameter. It is taken back out.
double DiametroEnFoto(double d) {
    return std::sqrt(std::max(0.0, d * d - 5.545 / 4));
}

} // namespace

bool MosaicoEnCabecera(const TPlaca& Placa) {
    return EsMosaico(Clave(Placa, "BAYERPAT")) || EsMosaico(Clave(Placa, "COLORTYP"));
}

bool MosaicoEnCielo(const uint16_t* datos, int ancho, int alto) {
    if (ancho < 4 || alto < 4) return false;
    const TCielo c = Cielo(datos, ancho, alto);
    const auto [menor, mayor] = std::minmax_element(c.nivel.begin(), c.nivel.end());
    const double salto = *mayor - *menor;
    // The two greens of every tile lie on one diagonal and see the same sky; a mono sensor's
    // odd and even columns or rows that differ leave both diagonals apart.
    const double verdes = std::min(std::fabs(c.nivel[0] - c.nivel[3]), std::fabs(c.nivel[1] - c.nivel[2]));
    return salto >= std::max(1.0, 0.5 * c.sigma) && verdes <= 0.25 * salto;
}

int32_t NivelSaturacion(const TPlaca& Placa, const uint16_t* datos, int ancho, int alto) {
    int32_t nivel = Saturacion + 1;
    for (const char* nombre : {"SATURATE", "DATAMAX"}) {
        const std::string v = Clave(Placa, nombre);
        if (!EsNumero(v)) continue;
        const double x = ConvertirNumero(v);
        if (x >= 1 && x < nivel) nivel = int32_t(std::ceil(x));
    }
    const size_t n = size_t(ancho) * size_t(alto);
    if (n == 0) return nivel;
    const uint16_t tope = Mayor(datos, n);
    if (tope >= nivel || Contar(datos, n, tope) < PixelesMeseta) return nivel;
    const TCielo c = Cielo(datos, ancho, alto);
    const double cielo = *std::max_element(c.nivel.begin(), c.nivel.end());
    return tope > cielo + MesetaSobreCielo * c.sigma ? tope : nivel;
}

TFotoMedible FotoMedible(const TPlaca& Placa, const std::function<void()>& Pausa) {
    const auto pausa = [&Pausa] {
        if (Pausa) Pausa();
    };
    TFotoMedible f;
    f.area = &Imagen;
    f.datos = Imagen.Datos();
    f.ancho = Placa.Ancho();
    f.alto = Placa.Alto();
    if (!f.datos) return f;
    f.saturada = NivelSaturacion(Placa, f.datos, f.ancho, f.alto);
    f.mosaico = f.ancho >= 16 && f.alto >= 16 &&
                (MosaicoEnCabecera(Placa) || MosaicoEnCielo(f.datos, f.ancho, f.alto));
    if (!f.mosaico) return f;
    pausa();
    // Any 2 x 2 block of the mosaic holds each filter once, whatever the tile and its offset
    // (XBAYROFF, YBAYROFF): the mean of the block from each pixel has no mosaic left, at the
    // frame's own sampling. Blocks that do not overlap (superpixels) would halve it, and the
    // sharpest colour stars would be narrower than any image optics form.
    const int w = f.ancho - 1, h = f.alto - 1;
    try {
        f.bloques = std::make_unique<FITSImageArea>();
        f.bloques->Asignar(size_t(w), size_t(h));
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("memoria insuficiente para medir el campo");
    }
    uint16_t* s = f.bloques->Datos();
    const uint16_t* m = f.datos;
    const int32_t techo = f.saturada;
    // A block that clips anywhere is clipped; one that touches zero padding is padding.
    const auto media = [techo](int32_t p0, int32_t p1, int32_t p2, int32_t p3) {
        return uint16_t(std::max({p0, p1, p2, p3}) >= techo  ? techo
                        : std::min({p0, p1, p2, p3}) == 0 ? 0
                                                          : (p0 + p1 + p2 + p3 + 2) / 4);
    };
    for (int j = 0; j < h; ++j) {
        if (j % FilasEntrePausas == 0) pausa();
        const uint16_t* a = m + size_t(j) * f.ancho;
        const uint16_t* b = a + f.ancho;
        for (int i = 0; i < w; ++i) s[size_t(j) * w + i] = media(a[i], a[i + 1], b[i], b[i + 1]);
    }
    // The blocks of each warm pixel again, with the pixel at its filter's sky.
    const TCielo cielo = Cielo(m, f.ancho, f.alto);
    const std::vector<size_t> calientes = Calientes(m, f.ancho, f.alto, cielo, pausa);
    const auto cuenta = [&](int x, int y) {
        const size_t k = size_t(y) * f.ancho + x;
        return std::binary_search(calientes.begin(), calientes.end(), k)
                   ? int32_t(std::lround(cielo.nivel[size_t(y % 2 * 2 + x % 2)]))
                   : int32_t{m[k]};
    };
    for (const size_t k : calientes) {
        const int x = int(k % size_t(f.ancho)), y = int(k / size_t(f.ancho));
        for (int j = std::max(0, y - 1); j <= std::min(h - 1, y); ++j)
            for (int i = std::max(0, x - 1); i <= std::min(w - 1, x); ++i)
                s[size_t(j) * w + i] = media(cuenta(i, j), cuenta(i + 1, j), cuenta(i, j + 1), cuenta(i + 1, j + 1));
    }
    f.area = f.bloques.get();
    f.datos = s;
    f.ancho = w;
    f.alto = h;
    return f;
}

void AFotoOriginal(const TFotoMedible& Foto, TMedidaCampo& Medida) {
    if (!Foto.mosaico) return;
    std::vector<double> hfd, fwhm;
    for (TEstrellaCampo& e : Medida.Estrellas) {
        // Block i covers frame pixels i and i + 1.
        e.X += 0.5;
        e.Y += 0.5;
        e.HFD = DiametroEnFoto(e.HFD);
        if (e.Ajustada) e.FWHM = float(DiametroEnFoto(e.FWHM));
        if (e.HFD >= FWHMBorrosa && e.FWHM != FWHMBorrosa) e.FWHM = FWHMBorrosa, e.Ajustada = false, e.Calidad = ' ';
        hfd.push_back(e.HFD);
        if (e.Ajustada) fwhm.push_back(e.FWHM);
    }
    for (TRechazada& e : Medida.Rechazadas) {
        e.X += 0.5;
        e.Y += 0.5;
        if (e.HFD > 0) e.HFD = DiametroEnFoto(e.HFD);
    }
    if (Medida.Estrellas.empty()) return;
    Medida.HFD = Mediana(hfd);
    Medida.FWHM = Medida.HFD >= FWHMBorrosa || fwhm.empty() ? FWHMBorrosa : float(Mediana(fwhm));
    Medida.Ajustadas = int(fwhm.size());
}
