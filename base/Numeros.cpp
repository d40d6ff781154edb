// SPDX-License-Identifier: GPL-3.0-or-later
#include "Numeros.h"

#include "Errores.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

Separadores SeparadoresUsuario;

int32_t Redondear(double v) {
    const double r = std::nearbyint(v); // default rounding mode: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        throw ErrorRango("Valor fuera del rango de un entero de 32 bits");
    return static_cast<int32_t>(r);
}

namespace {

bool EsDigito(char c) {
    return c >= '0' && c <= '9';
}

std::string_view SinEspacios(std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

// Length of the decimal number at the start of t (sign, mantissa, exponent), or 0.
size_t LongitudNumero(std::string_view t, char decimal) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digitos = 0;
    while (i < t.size() && EsDigito(t[i])) ++i, ++digitos;
    if (i < t.size() && t[i] == decimal) {
        ++i;
        while (i < t.size() && EsDigito(t[i])) ++i, ++digitos;
    }
    if (digitos == 0) return 0;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        size_t exp = 0;
        while (j < t.size() && EsDigito(t[j])) ++j, ++exp;
        if (exp == 0) return 0;
        i = j;
    }
    return i;
}

// Decimal exponent of the first significant digit of a valid, non-zero number text: negative
// for values below 1. Far beyond the range of a double it saturates, which keeps its sign.
int64_t Magnitud(std::string_view t, char decimal) {
    size_t i = (t.front() == '+' || t.front() == '-') ? 1 : 0;
    int64_t m = -1;
    bool significativa = false;
    for (; i < t.size() && EsDigito(t[i]); ++i) {
        significativa = significativa || t[i] != '0';
        if (significativa && m < 1000000) ++m;
    }
    if (i < t.size() && t[i] == decimal)
        for (++i; i < t.size() && EsDigito(t[i]); ++i) {
            if (!significativa && t[i] != '0') significativa = true;
            if (!significativa && m > -1000000) --m;
        }
    if (i < t.size()) { // the exponent
        ++i;
        const bool negativo = t[i] == '-';
        if (t[i] == '+' || t[i] == '-') ++i;
        int64_t e = 0;
        for (; i < t.size(); ++i) e = std::min<int64_t>(e * 10 + (t[i] - '0'), 1000000);
        m += negativo ? -e : e;
    }
    return m;
}

double ValorDe(std::string_view t, char decimal) {
    t = SinEspacios(t);
    if (t.empty() || LongitudNumero(t, decimal) != t.size())
        throw ErrorConversion("'" + std::string(t) + "' no es un número válido");
    std::string s(t.front() == '+' ? t.substr(1) : t);
    if (decimal != '.')
        for (char& c : s)
            if (c == decimal) c = '.';
    double v = 0;
    const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    // A number too close to zero for a double is zero, its nearest value; one too large has
    // no such value and stays an error.
    if (ec == std::errc::result_out_of_range && Magnitud(t, decimal) < 0)
        return t.front() == '-' ? -0.0 : 0.0;
    if (ec != std::errc() || p != s.data() + s.size())
        throw ErrorConversion("'" + std::string(t) + "' no es un número válido");
    return v;
}

// Fixed-point text of a non-negative value with `decimales` decimals, correctly rounded, with a
// point whatever the C library's locale (the toolkit sets it to the user's).
std::string TextoFijo(double v, int decimales) {
    std::string t(1500, '\0');
    const auto [fin, ec] =
        std::to_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed, decimales);
    if (ec != std::errc()) throw ErrorConversion("Número demasiado largo para su texto");
    t.resize(static_cast<size_t>(fin - t.data()));
    if (t.find('.') == std::string::npos) t += '.';
    return t;
}

// Decimal digits of |v| with exactly `decimales` decimals, rounded; a tie on the exact binary
// value goes up. The result holds no point: the last `decimales` digits are the fraction.
std::string DigitosRedondeados(double v, int decimales) {
    constexpr int extra = 25;
    std::string s = TextoFijo(std::fabs(v), decimales + extra);
    const size_t punto = s.find('.');
    std::string digitos = s.substr(0, punto) + s.substr(punto + 1, decimales);
    const char decisivo = s[punto + 1 + decimales];
    bool subir = decisivo >= '5';
    if (decisivo == '5' && s.find_first_not_of('0', punto + 2 + decimales) == std::string::npos) {
        // Looks like an exact tie, but the shorter text may itself be rounded: look at the
        // exact expansion of the binary value.
        const std::string exacto = TextoFijo(std::fabs(v), 1100);
        subir = exacto[exacto.find('.') + 1 + decimales] >= '5';
    }
    if (subir) {
        size_t i = digitos.size();
        while (i > 0 && digitos[i - 1] == '9') digitos[--i] = '0';
        if (i == 0)
            digitos.insert(digitos.begin(), '1');
        else
            ++digitos[i - 1];
    }
    return digitos;
}

} // namespace

bool EsNumero(std::string_view texto) {
    texto = SinEspacios(texto);
    return !texto.empty() && LongitudNumero(texto, '.') == texto.size();
}

double ConvertirNumero(std::string_view texto) {
    return ValorDe(texto, '.');
}

int64_t ConvertirEntero(std::string_view texto) {
    const std::string_view t = SinEspacios(texto);
    std::string_view d = t;
    if (!d.empty() && (d.front() == '+' || d.front() == '-')) d.remove_prefix(1);
    int64_t v = 0;
    const bool valido = !d.empty() && d.find_first_not_of("0123456789") == std::string_view::npos;
    std::string s(t.substr(0, t.size() - d.size()) == "-" ? "-" : "");
    s += d;
    if (valido) {
        const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (ec == std::errc() && p == s.data() + s.size()) return v;
        if (ec == std::errc::result_out_of_range)
            return s.front() == '-' ? std::numeric_limits<int64_t>::min()
                                    : std::numeric_limits<int64_t>::max();
    }
    throw ErrorConversion("'" + std::string(texto) + "' no es un entero válido");
}

std::string FormatearNumero(double v, std::string_view formato, char decimal, char grupo) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    const size_t punto = formato.find('.');
    const std::string_view entera = formato.substr(0, punto);
    const std::string_view fraccion =
        punto == std::string_view::npos ? std::string_view() : formato.substr(punto + 1);
    const int minEnteros = static_cast<int>(std::count(entera.begin(), entera.end(), '0'));
    const bool agrupar = entera.find(',') != std::string_view::npos;
    const int maxDecimales = static_cast<int>(fraccion.size());
    const int minDecimales =
        static_cast<int>(fraccion.find_first_not_of('0') == std::string_view::npos
                             ? fraccion.size()
                             : fraccion.find_first_not_of('0'));

    const std::string digitos = DigitosRedondeados(v, maxDecimales);
    std::string parteEntera = digitos.substr(0, digitos.size() - maxDecimales);
    std::string parteDecimal = digitos.substr(digitos.size() - maxDecimales);
    while (static_cast<int>(parteDecimal.size()) > minDecimales && parteDecimal.back() == '0')
        parteDecimal.pop_back();
    const size_t primero = parteEntera.find_first_not_of('0');
    parteEntera = primero == std::string::npos ? "" : parteEntera.substr(primero);
    if (static_cast<int>(parteEntera.size()) < minEnteros)
        parteEntera.insert(0, minEnteros - parteEntera.size(), '0');
    if (agrupar)
        for (int i = static_cast<int>(parteEntera.size()) - 3; i > 0; i -= 3)
            parteEntera.insert(static_cast<size_t>(i), 1, grupo);

    const bool cero = digitos.find_first_not_of('0') == std::string::npos;
    std::string r = (v < 0 && !cero) ? "-" : "";
    r += parteEntera;
    if (!parteDecimal.empty()) r += decimal + parteDecimal;
    if (r.empty() || r == "-") r += '0';
    return r;
}

std::string FormatearEntero(int64_t v) {
    return std::to_string(v);
}

double LeerNumero(std::string_view texto, char decimal) {
    return ValorDe(texto, decimal);
}
