// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzzers' seed corpora: for the whole path valid small frames, every refusal,
// headers across records; for the header layer the same headers behind a keyword, a value and
// a comment to write.
#include "EscritorFits.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {
std::vector<uint16_t> Estrella(int ancho, int alto, double sigma) {
    std::vector<uint16_t> c(static_cast<size_t>(ancho) * alto);
    for (int y = 0; y < alto; ++y)
        for (int x = 0; x < ancho; ++x) {
            const double r2 = (x - ancho / 2.0 - 0.3) * (x - ancho / 2.0 - 0.3) +
                              (y - alto / 2.0 + 0.2) * (y - alto / 2.0 + 0.2);
            c[static_cast<size_t>(y) * ancho + x] = static_cast<uint16_t>(
                900 + 20000 * std::exp(-r2 / (2 * sigma * sigma)) + (x * 7 + y * 3) % 11);
        }
    return c;
}
std::vector<std::string> Con(std::vector<std::string> t, const std::string& clave,
                             const std::string& valor) {
    for (auto& c : t)
        if (c.compare(0, clave.size() + 1, clave + " ") == 0) {
            c = TarjetaFits(clave, valor);
            return t;
        }
    t.push_back(TarjetaFits(clave, valor));
    return t;
}
std::string Datos(const std::vector<uint16_t>& c) {
    std::vector<int16_t> crudos(c.size());
    for (size_t i = 0; i < c.size(); ++i) crudos[i] = static_cast<int16_t>(c[i] - 32768);
    return BloqueDatos(crudos);
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "uso: %s CARPETA_FOTOS CARPETA_CABECERAS\n", argv[0]);
        return 2;
    }
    const std::string fotos = argv[1], cabeceras = argv[2];
    // The header target reads three texts, each ended by a backslash and one more byte, then
    // the records.
    const std::vector<std::string> escrituras = {
        "BZERO\\ 1E-400\\ \\ ",
        "NAXIS1\\ 99999999999999999999\\ eje\\ ",
        "SIMPLE\\ T\\ conforme\\ ",
        "DATE-OBS\\ 2024/01/01\\ \\ ",
        "HISTORY\\ 'dos''comillas'\\ x\\ ",
        "NOMBRELARGO\\ 1.0E3\\ \\ ",
        "BSCALE\\ -1E-400\\ \\ ",
        "BZERO\\ 1E400\\ \\ ",
    };
    int n = 0;
    const auto guardar = [&](const std::string& bytes) {
        const std::string nombre = "/semilla" + std::to_string(n) + ".fits";
        GuardarFichero(fotos + nombre, bytes);
        const std::string registros = bytes.substr(0, 3 * 2880);
        GuardarFichero(cabeceras + nombre, escrituras[n % escrituras.size()] + registros);
        ++n;
    };
    const auto basicas = TarjetasBasicas(40, 32);
    const std::string datos = Datos(Estrella(40, 32, 1.5));
    guardar(BloqueCabecera(basicas) + datos);
    guardar(FitsDeCuentas(33, 30, Estrella(33, 30, 3.0)));
    guardar(FitsDeCuentas(25, 25, Estrella(25, 25, 6.0)));
    guardar(FitsDeCuentas(4, 4, Estrella(4, 4, 1.0)));
    guardar(FitsDeCuentas(1, 1, {7}));
    guardar(BloqueCabecera(TarjetasBasicas(40, 32, std::nullopt)) + datos);
    // headers over two and three records, END first and last of a record
    std::vector<std::string> largas = basicas;
    while (largas.size() < 36) largas.push_back(TarjetaFits("COMMENT", "'relleno'"));
    guardar(BloqueCabecera(largas) + datos);
    largas.resize(35);
    guardar(BloqueCabecera(largas) + datos);
    while (largas.size() < 80) largas.push_back(TarjetaFits("HISTORY", "'mas'"));
    guardar(BloqueCabecera(largas) + datos);
    // refusals and raising headers
    guardar(BloqueCabecera(Con(basicas, "SIMPLE", "F")) + datos);
    guardar(BloqueCabecera(Con(basicas, "NAXIS", "3")) + datos);
    guardar(BloqueCabecera(Con(basicas, "BITPIX", "-32")) + datos);
    guardar(BloqueCabecera(Con(basicas, "BSCALE", "2")) + datos);
    guardar(BloqueCabecera(Con(basicas, "BZERO", "'abc'")) + datos);
    guardar(BloqueCabecera(Con(basicas, "NAXIS1", "0")) + datos);
    guardar(BloqueCabecera(Con(basicas, "NAXIS2", "65535")) + datos);
    guardar(BloqueCabecera(Con(basicas, "NAXIS1", "")) + datos);
    guardar(BloqueCabecera(Con(basicas, "NAXIS1", "99999999999999999999")) + datos);
    guardar(BloqueCabecera(Con(basicas, "BZERO", "1E-400")) + datos);
    guardar(BloqueCabecera(Con(basicas, "BSCALE", "1E-400")) + datos);
    guardar(FitsDeCuentas(64, 64, Estrella(64, 64, 2.0)));
    guardar(BloqueCabecera(basicas, false));
    guardar(BloqueCabecera(basicas) + datos.substr(0, 1000));
    guardar("");
    return 0;
}
