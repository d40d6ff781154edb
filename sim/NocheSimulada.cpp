// SPDX-License-Identifier: GPL-3.0-or-later
#include "NocheSimulada.h"

#include <cmath>
#include <cstdio>
#include <ctime>

std::vector<TFotoSimulada> PlanearNoche(const TNocheSimulada& n) {
    // Where each run's autofocus starts from, against its true best: the routine's guess is
    // never exact.
    static const double desfase[] = {0.3, -0.6, 1.2, -1.1, 0.7, -0.2, 1.4, -1.5};
    std::vector<TFotoSimulada> fotos;
    const auto mejor = [&](const TFiltroSimulado& f, double t) {
        return n.Mejor + f.Desplazamiento + n.PasosPorGrado * (t - n.Temperatura);
    };
    for (int k = 0; k < n.Series; ++k) {
        const TFiltroSimulado& f = n.Filtros[static_cast<size_t>(k) % n.Filtros.size()];
        const double t = n.Temperatura - k * n.Enfriamiento;
        const double p = mejor(f, t);
        const double centro = std::nearbyint(p / n.Paso + desfase[k % 8]) * n.Paso;
        for (int i = 0; i < n.FotosSerie; ++i) {
            const double j = i - (n.FotosSerie - 1) / 2.0;
            const double x = centro + std::floor(k % 2 ? -j : j) * n.Paso;
            fotos.push_back({k, true, x, t, 0, f.Nombre, p});
        }
        for (int e = 0; e < n.Exposiciones; ++e) {
            const double te = t - n.Enfriamiento * (e + 1) / (n.Exposiciones + 1);
            fotos.push_back({k, false, std::nearbyint(p), te, 0, f.Nombre, mejor(f, te)});
        }
    }
    for (size_t i = 0; i < fotos.size(); ++i) fotos[i].Segundos = n.Inicio + i * n.Segundos;
    return fotos;
}

std::string FechaIso(double segundos) {
    const double entero = std::floor(segundos);
    int ms = static_cast<int>(std::lround((segundos - entero) * 1000));
    std::time_t t = static_cast<std::time_t>(entero) + ms / 1000;
    ms %= 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char texto[64];
    std::snprintf(texto, sizeof texto, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    return texto;
}
