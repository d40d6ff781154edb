// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the header layer alone, in memory: header records cut into cards,
// LeerClave and EscribirClave on them, and the number texts the loader converts. Besides
// crashes it checks what must hold for any input.
#include "Errores.h"
#include "Numeros.h"
#include "UTPlaca.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Exigir(bool condicion) {
    if (!condicion) std::abort();
}

// A numeric text converts, unless its value is too large for a double; a numeric text without
// point or exponent always converts to an integer. (Texts that are not numeric are refused by
// the same grammar before any conversion; testing them here would only add throws.)
void ProbarNumero(const std::string& texto) {
    if (!EsNumero(texto)) return;
    try {
        const double v = ConvertirNumero(texto);
        Exigir(std::isfinite(v));
        (void)Redondear(std::fmod(std::nearbyint(v), 65536.0));
    } catch (const ErrorConversion&) {
    }
    if (texto.find_first_of(".eE") == std::string::npos) (void)ConvertirEntero(texto);
}

std::string Buscar(const TPlaca& placa, const std::string& nombre) {
    try {
        return placa.LeerClave(nombre);
    } catch (const ErrorRango&) { // a blank value field
        return {};
    }
}

bool Imprimible(const std::string& t) {
    for (const char c : t)
        if (static_cast<unsigned char>(c) <= 32) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    FuzzedDataProvider entrada(datos, tamano);
    const std::string nombre = entrada.ConsumeRandomLengthString(12);
    const std::string valor = entrada.ConsumeRandomLengthString(30);
    const std::string comentario = entrada.ConsumeRandomLengthString(90);
    const std::string registros = entrada.ConsumeRemainingBytesAsString();

    TPlaca placa;
    for (size_t r = 0; r + 2880 <= registros.size(); r += 2880)
        if (LeerRegistroCabecera(registros.data() + r)) break;
    for (const char* clave : {"SIMPLE", "NAXIS", "BITPIX", "BSCALE", "BZERO", "NAXIS1", "NAXIS2"})
        ProbarNumero(Buscar(placa, clave));
    ProbarNumero(valor);

    const size_t antes = Cabecera.size();
    placa.EscribirClave(nombre, valor, comentario);
    Exigir(Cabecera.size() == antes || Cabecera.size() == antes + 1);
    for (const std::string& tarjeta : Cabecera) Exigir(tarjeta.size() == 80);
    ProbarNumero(Buscar(placa, nombre));

    // On a header of its own, a short value without quote or "/" under a plain keyword reads
    // back as written, blanks aside.
    if (!nombre.empty() && nombre.size() <= 8 && Imprimible(nombre) && valor.size() <= 20 &&
        valor.find_first_of("'/") == std::string::npos) {
        Cabecera.clear();
        placa.EscribirClave(nombre, valor, comentario);
        Exigir(placa.LeerClave(nombre) == QuitarBlancos(valor));
    }
    return 0;
}
