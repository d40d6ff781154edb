// SPDX-License-Identifier: GPL-3.0-or-later
// The window's longest stretch without processing messages while a backlog of 6000 x 4000
// frames is measured, through the real watch cycle (offscreen). A zero-interval timer beats
// whenever the window processes its messages; the longest gap between two beats is the longest
// freeze. The cycle's first gap also holds the listing and the tick's 100 ms wait, so it is
// shown apart, and the wait alone is timed as well. Each gap is timed twice: on the clock, and
// as processor time of the window's thread, which other programs on a busy machine leave alone.
// With --campo the backlog is of simulated fields of 200 stars, watched in field mode, and the
// longest stretch is set beside the field measurement's own time per frame.
#include "Campo.h"
#include "EscritorFits.h"
#include "Estrella.h"
#include "Simulacion.h"
#include "UQuorvel.h"
#include "UTPlaca.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Reloj = std::chrono::steady_clock;

namespace {

constexpr int Ancho = 6000, Alto = 4000;

// A star on a quiet sky, as the measurement benchmarks use at this size.
std::string Foto() {
    const TEstrellaEnCielo estrella{Ancho * 0.61 + 0.37, Alto * 0.43 + 0.81, 2.2, 40000, 1200,
                                    1.0, 5};
    return FitsDeCuentas(Ancho, Alto, ExponerEstrellaEnCielo(Ancho, Alto, estrella));
}

// A field of 200 stars near best focus, with its hot pixels, from the simulator's scenes.
std::string Campo() {
    std::mt19937_64 azar(5);
    const TEscena escena = CrearEscena(Ancho, Alto, 200, 1.0, azar);
    return FitsDeCuentas(Ancho, Alto, ExponerCampo(escena, 1.6, azar));
}

double Ms(Reloj::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double MsProcesador() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct THueco {
    double reloj, procesador;
};

// Median and largest of the gaps after the first, on each clock.
struct TResumen {
    THueco mediana{}, maximo{};
    explicit TResumen(const std::vector<THueco>& huecos) {
        for (double THueco::*campo : {&THueco::reloj, &THueco::procesador}) {
            std::vector<double> v;
            for (size_t i = 1; i < huecos.size(); ++i) v.push_back(huecos[i].*campo);
            std::sort(v.begin(), v.end());
            mediana.*campo = v.empty() ? 0 : v[v.size() / 2];
            maximo.*campo = v.empty() ? 0 : v.back();
        }
    }
};

// The field measurement's own processor time per frame, the median of a few runs on the
// frame loaded once.
double MsMedirCampo(const std::string& ruta) {
    TPlaca placa;
    if (!placa.LeerFits(ruta)) return 0;
    std::vector<double> v;
    for (int i = 0; i < 3; ++i) {
        const double t0 = MsProcesador();
        MedirCampo(placa);
        v.push_back(MsProcesador() - t0);
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int fotos = 12, rondas = 3, posicion = 0;
    bool campo = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Uso: quorvel_tramo [--tramo] [--campo] [FOTOS [RONDAS]]\n"
                        "  --tramo  the longest stretch without processing window messages while\n"
                        "           a backlog of FOTOS 6000 x 4000 frames (default 12) is measured,\n"
                        "           RONDAS times (default 3); last line: tramo máximo <ms> ms\n"
                        "  --campo  fields of 200 stars measured in field mode (default 6 frames,\n"
                        "           2 rounds); also: medida del campo <ms> ms por foto\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--tramo") == 0) continue;
        if (std::strcmp(argv[i], "--campo") == 0) {
            campo = true;
            if (posicion == 0) fotos = 6, rondas = 2;
            continue;
        }
        (posicion++ == 0 ? fotos : rondas) = std::max(1, std::atoi(argv[i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string plantilla = (fs::temp_directory_path() / "quorvel-tramo-XXXXXX").string();
    const fs::path dir = ::mkdtemp(plantilla.data());
    fs::create_directory(dir / "fotos");
    GuardarFichero((dir / "modelo").string(), campo ? Campo() : Foto());
    for (int i = 0; i < fotos; ++i) {
        char nombre[32];
        std::snprintf(nombre, sizeof nombre, "f%03d.fits", i);
        fs::create_hard_link(dir / "modelo", dir / "fotos" / nombre);
    }

    TFQuorvel ventana(dir.string() + "/", false,
                      campo ? TModoMedida::Campo : TModoMedida::Estrella);
    ventana.MostrarError = [](const QString& t) {
        std::fprintf(stderr, "error: %s\n", qPrintable(t));
    };
    ventana.Edit1->setText(QString::fromStdString((dir / "fotos").string()));
    ventana.PuestaACero();
    ventana.show();
    app.processEvents();

    // The gaps between beats.
    std::vector<THueco> huecos;
    Reloj::time_point ultimo = Reloj::now();
    double ultimoProcesador = MsProcesador();
    QTimer latido;
    latido.setInterval(0);
    QObject::connect(&latido, &QTimer::timeout, [&] {
        const auto ahora = Reloj::now();
        const double procesador = MsProcesador();
        huecos.push_back({Ms(ahora - ultimo), procesador - ultimoProcesador});
        ultimo = ahora;
        ultimoProcesador = procesador;
    });
    latido.start();

    std::printf("%d %s de %d x %d por ronda; reloj / procesador\n", fotos,
                campo ? "campos de 200 estrellas" : "fotos", Ancho, Alto);
    THueco maximo{};
    for (int r = 1; r <= rondas; ++r) {
        ventana.PuestaACero(); // the next cycle measures the whole folder again
        for (int i = 0; i < 50; ++i) app.processEvents(); // a few beats before the tick
        huecos.clear();
        ventana.Timer1Timer(); // the tick: listing, Esperar(100), the backlog
        app.processEvents();
        if (ventana.FotosProcesadas != fotos || huecos.size() < static_cast<size_t>(fotos)) {
            std::fprintf(stderr, "ronda %d: %d fotos medidas, %zu latidos\n", r,
                         ventana.FotosProcesadas, huecos.size());
            return 1;
        }
        // The first gap ends in the first frame's display: listing, wait and that frame. Every
        // later one is a frame's load, measurement and display, or the cycle's end.
        const TResumen resumen(huecos);
        maximo.reloj = std::max(maximo.reloj, resumen.maximo.reloj);
        maximo.procesador = std::max(maximo.procesador, resumen.maximo.procesador);
        std::printf("ronda %d, %zu latidos: tramo del tic (listado, Esperar(100), primera foto) "
                    "%.1f / %.1f ms; luego mediana %.1f / %.1f ms, máximo %.1f / %.1f ms\n",
                    r, huecos.size(), huecos[0].reloj, huecos[0].procesador,
                    resumen.mediana.reloj, resumen.mediana.procesador, resumen.maximo.reloj,
                    resumen.maximo.procesador);
    }
    latido.stop();
    double medida = 0;
    if (campo) {
        medida = MsMedirCampo((dir / "modelo").string());
        std::printf("ventana: %s\n", qPrintable(ventana.windowTitle()));
    }
    const auto t0 = Reloj::now();
    TFQuorvel::Esperar(100);
    std::printf("Esperar(100) solo: %.1f ms\n", Ms(Reloj::now() - t0));
    fs::remove_all(dir);
    std::printf("tramo máximo en el reloj %.1f ms\n", maximo.reloj);
    if (campo)
        std::printf("medida del campo %.1f ms por foto; tramo máximo / medida %.2f\n", medida,
                    maximo.procesador / medida);
    std::printf("tramo máximo %.1f ms\n", maximo.procesador);
    return 0;
}
