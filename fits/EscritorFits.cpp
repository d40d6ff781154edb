// SPDX-License-Identifier: GPL-3.0-or-later
#include "EscritorFits.h"

#include "Errores.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>

std::string TarjetaFits(std::string_view clave, std::string_view valor,
                        std::string_view comentario) {
    std::string t(clave.substr(0, 8));
    t.resize(8, ' ');
    t += "= ";
    if (valor.size() < 20) t.append(20 - valor.size(), ' ');
    t += valor;
    if (!comentario.empty()) t.append(" / ").append(comentario);
    t.resize(80, ' ');
    return t;
}

std::vector<std::string> TarjetasBasicas(int64_t ancho, int64_t alto, std::optional<double> bzero) {
    std::vector<std::string> t{
        TarjetaFits("SIMPLE", "T", "conforms to FITS standard"),
        TarjetaFits("BITPIX", "16", "array data type"),
        TarjetaFits("NAXIS", "2", "number of array dimensions"),
        TarjetaFits("NAXIS1", std::to_string(ancho)),
        TarjetaFits("NAXIS2", std::to_string(alto)),
    };
    if (bzero) {
        char texto[32];
        std::snprintf(texto, sizeof texto, "%.1f", *bzero);
        t.push_back(TarjetaFits("BZERO", texto));
        t.push_back(TarjetaFits("BSCALE", "1"));
    }
    return t;
}

std::string BloqueCabecera(const std::vector<std::string>& tarjetas, bool conEnd) {
    std::string b;
    for (std::string t : tarjetas) {
        t.resize(80, ' ');
        b += t;
    }
    if (conEnd) {
        std::string fin = "END";
        fin.resize(80, ' ');
        b += fin;
    }
    b.resize((b.size() + 2879) / 2880 * 2880, ' ');
    return b;
}

std::string BloqueDatos(const std::vector<int16_t>& crudos, bool rellenar) {
    std::string b;
    b.reserve(crudos.size() * 2 + 2880);
    for (int16_t v : crudos) {
        const auto u = static_cast<uint16_t>(v);
        b += static_cast<char>(u >> 8);
        b += static_cast<char>(u & 0xFF);
    }
    if (rellenar) b.resize((b.size() + 2879) / 2880 * 2880, '\0');
    return b;
}

std::string FitsDeCuentas(int64_t ancho, int64_t alto, const std::vector<uint16_t>& cuentas,
                          const std::vector<std::string>& otras) {
    std::vector<int16_t> crudos(cuentas.size());
    for (size_t i = 0; i < cuentas.size(); ++i)
        crudos[i] = static_cast<int16_t>(static_cast<int32_t>(cuentas[i]) - 32768);
    std::vector<std::string> tarjetas = TarjetasBasicas(ancho, alto);
    tarjetas.insert(tarjetas.end(), otras.begin(), otras.end());
    return BloqueCabecera(tarjetas) + BloqueDatos(crudos);
}

void GuardarFichero(const std::string& ruta, std::string_view bytes) {
    // The C library's calls, for the system's reason when one fails.
    std::FILE* f = std::fopen(ruta.c_str(), "wb");
    const bool escrito = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int codigo = errno;
    const bool cerrado = f && std::fclose(f) == 0;
    if (!escrito || !cerrado)
        throw std::runtime_error("No se puede escribir " + ruta + ": " +
                                 DescripcionError(escrito ? errno : codigo));
}
