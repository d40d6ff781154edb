// SPDX-License-Identifier: GPL-3.0-or-later
#include "Medida.h"

#include "Errores.h"
#include "Numeros.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// A centroid of no light is a 0 / 0: said as what the frame holds, for the command line.
void ComprobarLuz(double Sf, int32_t Maximo) {
    if (Sf != 0) return;
    throw ErrorAritmetico(Maximo == 0 ? "La foto no tiene luz: todos sus píxeles valen 0"
                                      : "No hay estrella: la foto no tiene más luz que su fondo");
}

constexpr int32_t MitadCaja = 12; // the second box is 25 x 25

// Binary128 holds every product of the first pass's background and a sum of coordinates
// exactly, and the difference of two such numbers rounded once.
#if defined(__SIZEOF_FLOAT128__)
using Cuadruple = __float128;
#else
using Cuadruple = long double;
static_assert(std::numeric_limits<long double>::digits >= 113, "se necesita binary128");
#endif

// The exact first pass sums a row in batches of this many values, with the offsets 0 .. 255 in a
// table and 32768 * (0 + 1 + ... + 255) to add back.
constexpr uint32_t Lote = 256;
constexpr std::array<int16_t, Lote> DesplazamientosLote = [] {
    std::array<int16_t, Lote> j{};
    for (uint32_t i = 0; i < Lote; ++i) j[i] = static_cast<int16_t>(i);
    return j;
}();
constexpr int64_t SesgoLote = int64_t{32768} * (Lote * (Lote - 1) / 2);

// Integer sums of v, v.x and v.y and the largest v over columns dx0 .. dx1 - 1 of rows y0 .. y1,
// in memory order. v.x < 2^32, a row of them < 2^48, and a frame's totals stay below 2^63.
struct TSumasEnteras {
    uint64_t v = 0, vx = 0, vy = 0;
    uint16_t maximo = 0;
};

TSumasEnteras SumarFilas(const uint16_t* matriz, int64_t ancho, uint32_t dx0, uint32_t dx1,
                         int64_t y0, int64_t y1) {
    TSumasEnteras r;
    uint16_t maximo = 0; // a local: the result could alias the matrix, and no vector code then
    for (int64_t y = y0; y <= y1; ++y) {
        const uint16_t* fila = matriz + y * ancho;
        uint64_t s = 0, sx = 0;
        uint32_t x = dx0;
        // Batches of a fixed length: sum(v.x) = x0.sum(v) + sum(v.j) with j the offset in the
        // batch. v - 32768 and j as 16-bit signed numbers make sum(v.j) a dot product the
        // compiler turns into multiply-add vector code; |sum| < 32768 * 32640 < 2^31.
        for (; x + Lote <= dx1; x += Lote) {
            const uint16_t* t = fila + x;
            uint32_t c = 0;
            int32_t cj = 0;
            for (uint32_t j = 0; j < Lote; ++j) {
                c += t[j];
                cj += int32_t{static_cast<int16_t>(t[j] ^ 0x8000)} * DesplazamientosLote[j];
                maximo = std::max(maximo, t[j]);
            }
            s += c;
            sx += static_cast<uint64_t>(int64_t{cj} + SesgoLote) + uint64_t{c} * x;
        }
        for (; x < dx1; ++x) {
            const uint32_t v = fila[x];
            s += v;
            sx += v * x;
            maximo = std::max(maximo, fila[x]);
        }
        r.v += s;
        r.vx += sx;
        r.vy += s * static_cast<uint64_t>(y);
    }
    r.maximo = maximo;
    return r;
}

// a + (a + 1) + ... + b, or 0 when the range is empty.
Cuadruple SumaDeEnteros(int64_t a, int64_t b) {
    return b < a ? 0 : Cuadruple(b - a + 1) * Cuadruple(a + b) / 2;
}

// The five-digit text of a count. The first pass of a large frame writes tens of thousands of
// ring texts, so each of the 65536 texts is formatted once and kept.
std::string TextoCuenta(uint16_t v) {
    static std::vector<std::array<char, 5>> textos(65536); // [0] == 0: not formatted yet
    std::array<char, 5>& t = textos[v];
    if (t[0] == 0) {
        const std::string texto = FormatearNumero(v, "00000");
        std::copy_n(texto.begin(), t.size(), t.begin());
    }
    return std::string(t.data(), t.size());
}

int32_t Limite32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw ErrorRango("La caja de medida sale del rango de un entero de 32 bits");
    return static_cast<int32_t>(v);
}

} // namespace

void TMedida::CalcularFondo() {
    // The ring in its four groups; in narrow boxes they overlap and a pixel counts once per
    // group that reaches it. The list gets the ring's texts, and the level comes from the same
    // values as numbers: the five-digit texts sort as the numbers do, and picking the middle
    // positions out of the numbers spares sorting the whole ring of a frame as texts.
    ListaOrdenada.Clear();
    std::vector<uint16_t> anillo;
    const auto agregar = [&](int64_t x, int64_t y) {
        const uint16_t v = Placa.Pixel(x, y);
        anillo.push_back(v);
        ListaOrdenada.Add(TextoCuenta(v));
    };
    for (int64_t x = XMin; x <= XMax; ++x)
        for (int64_t y = YMin; y <= int64_t{YMin} + 1; ++y) agregar(x, y);
    for (int64_t x = XMin; x <= XMax; ++x)
        for (int64_t y = int64_t{YMax} - 1; y <= YMax; ++y) agregar(x, y);
    // The two side groups row by row, the matrix's order; the order of the values is free.
    for (int64_t y = int64_t{YMin} + 2; y <= int64_t{YMax} - 2; ++y)
        for (const int64_t x : {int64_t{XMin}, int64_t{XMin} + 1, int64_t{XMax} - 1, int64_t{XMax}})
            agregar(x, y);

    const auto n = static_cast<int32_t>(anillo.size());
    const int32_t lo = Redondear(n * 0.375);
    const int32_t hi = Redondear(n * 0.625);
    if (hi >= n)
        throw ErrorRango("Índice de lista fuera de los límites (" + std::to_string(hi) + ")");
    // Positions lo to hi of the sorted ring, gathered without sorting the rest.
    const auto inicio = anillo.begin();
    std::nth_element(inicio, inicio + lo, anillo.end());
    if (hi > lo) std::nth_element(inicio + lo + 1, inicio + hi, anillo.end());
    // A sum of at most 2^32 counts below 2^16: every partial sum is an exact double, so the
    // integer total is the sum in sorted order.
    uint64_t suma = 0;
    for (int32_t k = lo; k <= hi; ++k) suma += anillo[static_cast<size_t>(k)];
    NivelFondo = static_cast<double>(suma) / (hi - lo + 1);
}

void TMedida::CalcularCentroide() {
    double Sx = 0, Sy = 0, Sf = 0;
    int32_t maximo = 0;
    for (int64_t x = int64_t{XMin} + 2; x <= int64_t{XMax} - 2; ++x) {
        for (int64_t y = int64_t{YMin} + 2; y <= int64_t{YMax} - 2; ++y) {
            const int32_t v = Placa.Pixel(x, y);
            const double d = v - NivelFondo;
            Sx += d * static_cast<double>(x);
            Sy += d * static_cast<double>(y);
            Sf += d;
            if (v > maximo) maximo = v;
        }
    }
    Maximo = maximo;
    ComprobarLuz(Sf, Maximo);
    CentroideX = Dividir(Sx, Sf);
    CentroideY = Dividir(Sy, Sf);
}

void TMedida::CalcularCentroideExacto() {
    const int64_t x0 = int64_t{XMin} + 2, x1 = int64_t{XMax} - 2;
    const int64_t y0 = int64_t{YMin} + 2, y1 = int64_t{YMax} - 2;
    // The integer sums over the part of the interior inside the frame; outside it every value
    // is 0 and adds nothing.
    TSumasEnteras sumas;
    const uint16_t* matriz = Imagen.Datos();
    const int64_t ancho = Placa.Ancho(), alto = Placa.Alto();
    const int64_t desde = std::max<int64_t>(x0, 0), hasta = std::min<int64_t>(x1, ancho - 1);
    if (matriz && Imagen.Columnas() == static_cast<size_t>(ancho) &&
        Imagen.Alto() == static_cast<size_t>(alto) && desde <= hasta)
        sumas = SumarFilas(matriz, ancho, static_cast<uint32_t>(desde),
                           static_cast<uint32_t>(hasta + 1), std::max<int64_t>(y0, 0),
                           std::min<int64_t>(y1, alto - 1));
    // The background taken out once: S = sum(v.c) - NivelFondo * sum(c), rounded once.
    const Cuadruple nx = x1 < x0 ? 0 : x1 - x0 + 1, ny = y1 < y0 ? 0 : y1 - y0 + 1;
    const Cuadruple fondo = NivelFondo;
    const Cuadruple Sx = Cuadruple(sumas.vx) - fondo * (SumaDeEnteros(x0, x1) * ny);
    const Cuadruple Sy = Cuadruple(sumas.vy) - fondo * (SumaDeEnteros(y0, y1) * nx);
    const Cuadruple Sf = Cuadruple(sumas.v) - fondo * (nx * ny);
    Maximo = sumas.maximo;
    ComprobarLuz(static_cast<double>(Sf), Maximo);
    CentroideX = Dividir(static_cast<double>(Sx), static_cast<double>(Sf));
    CentroideY = Dividir(static_cast<double>(Sy), static_cast<double>(Sf));
}

void TMedida::ColocarCaja() {
    const int64_t cx = Redondear(CentroideX);
    const int64_t cy = Redondear(CentroideY);
    XMin = Limite32(cx - MitadCaja);
    XMax = Limite32(cx + MitadCaja);
    YMin = Limite32(cy - MitadCaja);
    YMax = Limite32(cy + MitadCaja);
}

void TMedida::LocalizarEstrella() {
    XMin = 1;
    XMax = Placa.Ancho() - 2;
    YMin = 1;
    YMax = Placa.Alto() - 2;
    CalcularFondo();
    CalcularCentroideExacto();
    ColocarCaja();
    CalcularFondo();
    CalcularCentroide();
}

double TMedida::CalcularHFD() {
    const char decimal = SeparadoresUsuario.decimal;
    ListaOrdenada.Clear();
    for (int64_t x = int64_t{XMin} + 2; x <= int64_t{XMax} - 2; ++x) {
        for (int64_t y = int64_t{YMin} + 2; y <= int64_t{YMax} - 2; ++y) {
            const double dx = static_cast<double>(x) - CentroideX;
            const double dy = static_cast<double>(y) - CentroideY;
            const double r = std::sqrt(dx * dx + dy * dy);
            std::string entrada = FormatearNumero(2 * r, "000.00", decimal);
            // A wider diameter would shift the value field and sort out of numeric order.
            if (entrada.size() != 6)
                throw ErrorRango("Diámetro de " + entrada + " píxeles fuera de la caja");
            entrada += "  ";
            entrada += FormatearNumero(Placa.Pixel(x, y) - NivelFondo, "00000.00", decimal);
            ListaOrdenada.Add(std::move(entrada));
        }
    }

    ListaAcumulada.Clear();
    double S = 0;
    for (int32_t k = 0; k < ListaOrdenada.Count(); ++k) {
        const std::string& radial = ListaOrdenada[k];
        S += LeerNumero(std::string_view(radial).substr(8), decimal);
        ListaAcumulada.Add(radial.substr(0, 6) + "  " + FormatearNumero(S, "0.00", decimal));
    }
    return InterpolarHFD(ListaAcumulada, decimal);
}

double InterpolarHFD(const TListaAcumulada& ListaAcumulada, char Decimal) {
    const auto diametro = [&](int64_t k) {
        return LeerNumero(std::string_view(ListaAcumulada[k]).substr(0, 6), Decimal);
    };
    const auto suma = [&](int64_t k) {
        return LeerNumero(std::string_view(ListaAcumulada[k]).substr(8), Decimal);
    };

    // The total from the outer end of the curve, averaged over its last 20 entries.
    const int64_t m = ListaAcumulada.Count();
    double total = 0;
    for (int64_t k = m - 1; k >= m - 20; --k) total += suma(k);
    const double mitad = total / 20 / 2;

    // Diameter 0 with nothing summed stands in for the pair before the first entry.
    double dp = 0, cp = 0;
    double d = 0, c = 0;
    bool alcanzada = false;
    for (int64_t k = 0; k < m && !alcanzada; ++k) {
        d = diametro(k);
        c = suma(k);
        alcanzada = c >= mitad;
        if (!alcanzada) dp = d, cp = c;
    }
    // No entry reaches half: the last one is its own previous pair, and the division is 0/0.
    if (!alcanzada) d = dp, c = cp;
    return dp + Dividir((mitad - cp) * (d - dp), c - cp);
}

int32_t RadioAjuste(double HFD) {
    return Redondear(HFD + 2.0);
}

float ElegirFWHM(TPlaca& Placa, double HFD, double CentroideX, double CentroideY, char& Calidad) {
    Calidad = ' ';
    if (HFD >= 10.0) return 10.0f;
    const int32_t CentroX = Redondear(CentroideX);
    const int32_t CentroY = Redondear(CentroideY);
    const int32_t Radio = RadioAjuste(HFD);
    float PosX = 0, PosY = 0, SenalRuido = 0, SenalRuidoPico = 0, FWHM = 0;
    int32_t Flujo = 0, FondoAjustado = 0;
    Placa.AjustarGauss(CentroX, CentroY, Radio, PosX, PosY, Flujo, FondoAjustado, SenalRuido,
                       SenalRuidoPico, FWHM, Calidad, Saturacion);
    return FWHM;
}

TFigurasFoco MedirEstrella(TPlaca& Placa, TListaOrdenada& ListaOrdenada,
                           TListaAcumulada& ListaAcumulada) {
    TMedida Medida(Placa, ListaOrdenada, ListaAcumulada);
    Medida.LocalizarEstrella();
    TFigurasFoco f{};
    f.HFD = Medida.CalcularHFD();
    f.FWHM = ElegirFWHM(Placa, f.HFD, Medida.CentroideX, Medida.CentroideY, f.Calidad);
    f.Maximo = Medida.Maximo;
    f.CentroideX = Medida.CentroideX;
    f.CentroideY = Medida.CentroideY;
    f.NivelFondo = Medida.NivelFondo;
    return f;
}
