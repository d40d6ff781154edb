// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A night's frames as a capture program leaves them: the focus runs its autofocus made among
// the ordinary exposures, and the focus model those runs hold, the best position as a slope
// times the focuser's temperature plus one intercept per filter.
#include "SerieFoco.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class TPlaca;

// Seconds since 1970-01-01T00:00:00 of a FITS date, ISO 8601 in UTC: YYYY-MM-DD, optionally
// followed by 'T' and hh:mm:ss with any fraction of a second. None when it is not such a date.
std::optional<double> SegundosFecha(const std::string& texto);

// What a frame's header says of its place in the night.
struct TFotoNoche {
    std::string Fichero;
    std::string Fecha;              // DATE-OBS as written; empty when missing
    std::optional<double> Segundos; // DATE-OBS's time
    std::optional<TPosicionFoco> Posicion;
    std::string Filtro;                // FILTER; empty when missing
    std::optional<double> Temperatura; // FOCTEMP, else FOCUSTEM, in degrees C
};

// Raises std::runtime_error, in Spanish, when DATE-OBS is not a date or a number is not one.
TFotoNoche LeerFotoNoche(const TPlaca& Placa, const std::string& fichero);

// Into time order, stably: a frame without DATE-OBS stays right after the frame before it in
// the given order (first when none before it has a date).
void OrdenarNoche(std::vector<TFotoNoche>& fotos);

constexpr size_t FotosMinimasSerie = 5;

// A run's frames: fotos[Primera] to fotos[Primera + Fotos - 1].
struct TTramo {
    size_t Primera = 0, Fotos = 0;
};

// The focus runs among frames in time order: each a longest stretch of at least
// FotosMinimasSerie consecutive frames of one filter whose focuser positions all differ and
// move one way. A frame without a position, or at the position of the frame before or after it
// (the exposures between runs), belongs to none and ends the run before it.
std::vector<TTramo> BuscarSeries(const std::vector<TFotoNoche>& fotos);

// The median temperature of the run's frames that give one; none when none does.
std::optional<double> TemperaturaSerie(const std::vector<TFotoNoche>& fotos, const TTramo& t);

// A run that the model is fitted over: its filter, temperature and best position.
struct TPuntoModelo {
    std::string Filtro;
    std::optional<double> Temperatura;
    double Mejor = 0;
};

struct TFiltroModelo {
    std::string Filtro;
    double Ordenada = 0;       // best position at 0 degrees (without temperatures: the mean)
    double Desplazamiento = 0; // Ordenada minus the reference filter's
    int Series = 0;
};

struct TModeloFoco {
    std::vector<TFiltroModelo> Filtros;  // in order of their first run; the reference has the
                                         // most runs (the first such)
    std::optional<double> PasosPorGrado; // none without temperatures
    double R2 = 0;
    std::vector<TPuntoModelo> Usadas; // the runs fitted over
};

// Least squares over the runs. When some run gives a temperature, only the runs that do are
// used and the slope is fitted; otherwise the intercepts are the filters' mean best positions.
// The model needs at least one run more than its unknowns (one intercept per filter, and the
// slope), and for the slope two runs of one filter at different temperatures: otherwise
// std::runtime_error with the reason, in Spanish.
TModeloFoco AjustarModelo(const std::vector<TPuntoModelo>& series);
