// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small FITS writer: 16-bit frames for the tests and the camera simulator, including
// deliberately malformed headers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One 80-character card: keyword left-justified in 8, "= ", the value right-justified in 20
// (quote text values yourself), then " / comment" when given.
std::string TarjetaFits(std::string_view clave, std::string_view valor,
                        std::string_view comentario = {});
// The standard cards of a 16-bit two-axis frame; BZERO only when given.
std::vector<std::string> TarjetasBasicas(int64_t ancho, int64_t alto,
                                         std::optional<double> bzero = 32768.0);
// Header bytes: the cards, padded or cut to 80, then "END" (unless conEnd is false), padded
// with blanks to whole 2880-byte records.
std::string BloqueCabecera(const std::vector<std::string>& tarjetas, bool conEnd = true);
// Data bytes: big-endian two's-complement values, zero-padded to whole records.
std::string BloqueDatos(const std::vector<int16_t>& crudos, bool rellenar = true);
// A whole frame of counts 0..65535, first axis fastest, written with BZERO 32768; the other
// cards (TarjetaFits) follow the standard ones.
std::string FitsDeCuentas(int64_t ancho, int64_t alto, const std::vector<uint16_t>& cuentas,
                          const std::vector<std::string>& otras = {});
// Writes bytes to a file, replacing it; throws std::runtime_error on failure, with the reason.
void GuardarFichero(const std::string& ruta, std::string_view bytes);
