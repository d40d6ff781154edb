// SPDX-License-Identifier: GPL-3.0-or-later
// A long focusing session: 10,000 frames through the watch cycle and the display, in the
// window (offscreen). Prints the memory in use and the time per frame as the run grows.
#include "EscritorFits.h"
#include "Estrella.h"
#include "UQuorvel.h"

#include <QApplication>
#include <QLineEdit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
long MemoriaKiB() {
    std::ifstream f("/proc/self/statm");
    long paginas = 0, residentes = 0;
    f >> paginas >> residentes;
    return residentes * (::sysconf(_SC_PAGESIZE) / 1024);
}

std::string Foto(double sigma) {
    return FitsDeCuentas(64, 64, ExponerEstrellaEnCielo(64, 64, {31.4, 32.2, sigma, 20000, 800}));
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string plantilla = (fs::temp_directory_path() / "quorvel-largo-XXXXXX").string();
    const fs::path dir = ::mkdtemp(plantilla.data());
    fs::create_directory(dir / "fotos");
    // Ten distinct frames, each hard-linked a thousand times: 10,000 entries, little disk.
    for (int i = 0; i < 10; ++i)
        GuardarFichero((dir / ("modelo" + std::to_string(i))).string(), Foto(1.5 + 0.2 * i));

    TFQuorvel ventana((dir.string() + "/"), false);
    ventana.MostrarError = [](const QString& t) {
        std::fprintf(stderr, "error: %s\n", qPrintable(t));
    };
    ventana.Edit1->setText(QString::fromStdString((dir / "fotos").string()));
    ventana.PuestaACero();
    ventana.show();

    int hechos = 0;
    const auto anadir = [&](int hasta) {
        for (; hechos < hasta; ++hechos) {
            char nombre[32];
            std::snprintf(nombre, sizeof nombre, "f%05d.fits", hechos);
            fs::create_hard_link(dir / ("modelo" + std::to_string(hechos % 10)),
                                 dir / "fotos" / nombre);
        }
    };
    const auto tramo = [&](int hasta) {
        const int antes = ventana.FotosProcesadas;
        anadir(hasta);
        using reloj = std::chrono::steady_clock;
        const auto t0 = reloj::now();
        ventana.ListarFotos();
        const auto t1 = reloj::now();
        ventana.ProcesarFotos();
        const auto t2 = reloj::now();
        const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
        std::printf("frames %5d  memory %7ld KiB  listing %7.1f ms  %.3f ms per frame over the "
                    "last %d\n",
                    ventana.FotosProcesadas, MemoriaKiB(), ms(t1 - t0),
                    ms(t2 - t1) / (ventana.FotosProcesadas - antes),
                    ventana.FotosProcesadas - antes);
    };
    tramo(100);
    tramo(1000);
    tramo(9900);
    tramo(10000);
    fs::remove_all(dir);
    return 0;
}
