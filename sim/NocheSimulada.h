// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated night as a capture program writes it: an autofocus run before each block of
// exposures, the filters taken in turn, the focuser's temperature falling through the night
// and best focus following it, plus each filter's own offset.
#include <string>
#include <vector>

struct TFiltroSimulado {
    std::string Nombre;
    double Desplazamiento = 0; // steps from the first filter's best position
};

struct TNocheSimulada {
    int Series = 6;             // autofocus runs
    int FotosSerie = 9;         // frames per run
    int Exposiciones = 4;       // frames after each run, at its best position
    double Mejor = 10000;       // the first filter's best position at the first run's temperature
    double Paso = 50;           // steps between a run's frames
    double Temperatura = 12;    // at the first run, degrees C
    double Enfriamiento = 1.5;  // degrees from one run to the next
    double PasosPorGrado = -30; // how far best focus moves for one degree warmer
    std::vector<TFiltroSimulado> Filtros{{"L", 0}}; // run k uses filter k modulo their number
    double Inicio = 1773522000;                     // the first frame's time: 2026-03-14T21:00:00
    double Segundos = 30;                           // between frames
};

struct TFotoSimulada {
    int Serie = 0;        // the run it belongs to, or follows
    bool EnSerie = false; // a run's frame, not an exposure
    double Posicion = 0, Temperatura = 0, Segundos = 0;
    std::string Filtro;
    double Mejor = 0; // the true best position at that moment
};

// Every frame of the night in time order. Run k is taken at Temperatura − k·Enfriamiento, its
// frames Paso apart (rising in even runs, falling in odd ones) around a centre up to 1.5 steps
// from its true best position; the exposures sit at the nearest whole step to it while the
// temperature falls towards the next run's.
std::vector<TFotoSimulada> PlanearNoche(const TNocheSimulada& noche);

// DATE-OBS for a time in seconds since 1970: YYYY-MM-DDThh:mm:ss.sss, UTC.
std::string FechaIso(double segundos);
