// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Nearest integer, a half going to the even neighbour; a value outside the signed 32-bit
// range (or not a number) raises ErrorRango.
int32_t Redondear(double v);

// Header values: the whole text must be one decimal number (optional blanks, sign, digits
// with an optional point and fraction, optional exponent E/e, optional blanks). The point is
// the separator whatever the locale.
bool EsNumero(std::string_view texto);
// Numeric value of a header text; ErrorConversion when EsNumero is false or the value is too
// large for a double. A value too small for one gives zero, with its sign.
double ConvertirNumero(std::string_view texto);
// Whole decimal integer (optional blanks and sign, digits, optional blanks); ErrorConversion
// otherwise. One beyond 64 bits gives the nearest 64-bit limit.
int64_t ConvertirEntero(std::string_view texto);

// Number texts in the picture formats the program uses: "00000", "000.00", "00000.00",
// "0.00", "#,##0.###", "#,##0.0" (and alike). '0' is a digit always written, '#' one written
// only when needed, ',' in the integer part asks for thousands groups, '.' marks the decimal
// part. Rounded to the shown decimals; a tie on the exact binary value goes away from zero.
// A negative result carries a leading minus.
std::string FormatearNumero(double v, std::string_view formato, char decimal = '.',
                            char grupo = ',');
// A decimal integer with a leading minus when negative and no grouping.
std::string FormatearEntero(int64_t v);
// Reads back what FormatearNumero wrote with the same decimal separator (no groups);
// ErrorConversion when the text is not such a number.
double LeerNumero(std::string_view texto, char decimal = '.');

// The user's number separators, read once at start-up from the locale; point and comma until
// then. Readouts, axis labels and the measurement's number texts use them.
struct Separadores {
    char decimal = '.';
    char grupo = ',';
};
extern Separadores SeparadoresUsuario;
