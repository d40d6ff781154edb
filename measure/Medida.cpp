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

constexpr int32_t MitadCaja = 12; // the second box is 25 x 25
constexpr int32_t Saturacion = 60000;

// Column x of the frame, or null outside it: the rule of Pixel without a call and four tests
// per value, for the first pass, which reads every pixel of the frame.
const uint16_t* Columna(const TPlaca& Placa, int64_t x) {
    if (x < 0 || x >= Placa.Ancho() || Imagen.size() != Placa.Ancho() ||
        Imagen.Alto() != Placa.Alto())
        return nullptr;
    return Imagen.Datos() + static_cast<size_t>(x) * Imagen.Alto();
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
    ListaOrdenada.Clear();
    const auto agregar = [this](int64_t x, int64_t y) {
        ListaOrdenada.Add(TextoCuenta(Placa.Pixel(x, y)));
    };
    // The ring in its four groups; in narrow boxes they overlap and a pixel counts once per
    // group that reaches it.
    for (int64_t x = XMin; x <= XMax; ++x)
        for (int64_t y = YMin; y <= int64_t{YMin} + 1; ++y) agregar(x, y);
    for (int64_t x = XMin; x <= XMax; ++x)
        for (int64_t y = int64_t{YMax} - 1; y <= YMax; ++y) agregar(x, y);
    for (int64_t x = XMin; x <= int64_t{XMin} + 1; ++x)
        for (int64_t y = int64_t{YMin} + 2; y <= int64_t{YMax} - 2; ++y) agregar(x, y);
    for (int64_t x = int64_t{XMax} - 1; x <= XMax; ++x)
        for (int64_t y = int64_t{YMin} + 2; y <= int64_t{YMax} - 2; ++y) agregar(x, y);

    const int32_t n = ListaOrdenada.Count();
    const int32_t lo = Redondear(n * 0.375);
    const int32_t hi = Redondear(n * 0.625);
    double suma = 0;
    for (int32_t k = lo; k <= hi; ++k)
        suma += static_cast<double>(ConvertirEntero(ListaOrdenada[k]));
    NivelFondo = suma / (hi - lo + 1);
}

void TMedida::CalcularCentroide() {
    double Sx = 0, Sy = 0, Sf = 0;
    int32_t maximo = 0;
    const auto sumar = [&](int32_t v, double fx, int64_t y) {
        const double d = v - NivelFondo;
        Sx += d * fx;
        Sy += d * static_cast<double>(y);
        Sf += d;
        if (v > maximo) maximo = v;
    };
    const int64_t y0 = int64_t{YMin} + 2, y1 = int64_t{YMax} - 2;
    // The part of each column inside the frame is read straight from the matrix; the rest of
    // the column reads 0, as through Pixel. The sums keep their order.
    const int64_t dentro0 = std::max<int64_t>(y0, 0);
    const int64_t dentro1 = std::min<int64_t>(y1, int64_t{Placa.Alto()} - 1);
    for (int64_t x = int64_t{XMin} + 2; x <= int64_t{XMax} - 2; ++x) {
        const uint16_t* columna = Columna(Placa, x);
        const auto fx = static_cast<double>(x);
        if (!columna) {
            for (int64_t y = y0; y <= y1; ++y) sumar(0, fx, y);
            continue;
        }
        int64_t y = y0;
        for (; y < dentro0 && y <= y1; ++y) sumar(0, fx, y);
        for (; y <= dentro1; ++y) sumar(columna[y], fx, y);
        for (; y <= y1; ++y) sumar(0, fx, y);
    }
    Maximo = maximo;
    CentroideX = Dividir(Sx, Sf);
    CentroideY = Dividir(Sy, Sf);
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
    CalcularCentroide();
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
