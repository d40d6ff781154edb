// A camera for demonstrations and end-to-end tests: writes a focus run of synthetic 16-bit
// frames into a folder, one star whose width follows a V-curve through best focus.
#include "EscritorFits.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const Ayuda =
    "Uso: quorvel-simular [opciones] CARPETA\n"
    "Escribe en CARPETA una serie de enfoque de fotos FITS de 16 bits con una estrella cuya\n"
    "anchura recorre una curva en V a través del mejor foco, como una cámara real: cada foto se\n"
    "escribe con un nombre temporal oculto y se renombra a foco_NNNN.fits al terminar.\n"
    "\n"
    "  -n, --fotos N       número de fotos (40)\n"
    "      --ancho W       anchura en píxeles (1280)\n"
    "      --alto H        altura en píxeles (960)\n"
    "  -t, --intervalo T   segundos entre fotos (1.0)\n"
    "      --semilla S     semilla del ruido, para series repetibles (según el reloj)\n"
    "      --sigma-min S   sigma en el mejor foco, en píxeles (2.0)\n"
    "      --sigma-max S   sigma en los extremos de la serie (4.5)\n"
    "  -h, --help          esta ayuda\n";

[[noreturn]] void MalUso(const std::string& motivo) {
    std::fprintf(stderr, "quorvel-simular: %s\n\n%s", motivo.c_str(), Ayuda);
    std::exit(2);
}

double Numero(const char* texto, const char* opcion, double minimo) {
    char* fin = nullptr;
    const double v = std::strtod(texto, &fin);
    if (fin == texto || *fin != '\0' || !(v >= minimo) || !std::isfinite(v))
        MalUso(std::string("valor no válido para ") + opcion + ": " + texto);
    return v;
}

struct Opciones {
    std::string carpeta;
    int fotos = 40;
    int ancho = 1280, alto = 960;
    double intervalo = 1.0;
    uint64_t semilla =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    double sigmaMin = 2.0, sigmaMax = 4.5;
};

Opciones LeerOpciones(int argc, char** argv) {
    Opciones o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto valor = [&]() -> const char* {
            if (i + 1 >= argc) MalUso("falta el valor de " + a);
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(Ayuda, stdout);
            std::exit(0);
        } else if (a == "-n" || a == "--fotos") {
            o.fotos = static_cast<int>(Numero(valor(), "--fotos", 1));
        } else if (a == "--ancho") {
            o.ancho = static_cast<int>(Numero(valor(), "--ancho", 8));
        } else if (a == "--alto") {
            o.alto = static_cast<int>(Numero(valor(), "--alto", 8));
        } else if (a == "-t" || a == "--intervalo") {
            o.intervalo = Numero(valor(), "--intervalo", 0);
        } else if (a == "--semilla") {
            o.semilla = static_cast<uint64_t>(Numero(valor(), "--semilla", 0));
        } else if (a == "--sigma-min") {
            o.sigmaMin = Numero(valor(), "--sigma-min", 0.2);
        } else if (a == "--sigma-max") {
            o.sigmaMax = Numero(valor(), "--sigma-max", 0.2);
        } else if (!a.empty() && a[0] == '-') {
            MalUso("opción desconocida: " + a);
        } else if (o.carpeta.empty()) {
            o.carpeta = a;
        } else {
            MalUso("sobra el argumento " + a);
        }
    }
    if (o.carpeta.empty()) MalUso("falta la carpeta");
    if (o.ancho > 65535 || o.alto > 65535) MalUso("el tamaño máximo es 65535 × 65535");
    return o;
}

// One exposure: a sky of 200 counts with read noise and the shot noise of a gain of 4
// electrons per count, and a star of constant flux whose sigma is `sigma`, centred at
// (cx, cy); 50000 counts above the sky at best focus.
std::vector<uint16_t> Exponer(const Opciones& o, double sigma, double cx, double cy,
                              std::mt19937_64& azar) {
    constexpr double fondo = 200, ruidoLectura = 3, ganancia = 4;
    const double flujo = 2 * M_PI * o.sigmaMin * o.sigmaMin * 50000.0;
    const double amplitud = flujo / (2 * M_PI * sigma * sigma);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<uint16_t> cuentas(static_cast<size_t>(o.ancho) * o.alto);
    const int r = static_cast<int>(std::ceil(6 * sigma));
    for (int y = 0; y < o.alto; ++y) {
        for (int x = 0; x < o.ancho; ++x) {
            double senal = fondo;
            if (std::abs(x - cx) <= r && std::abs(y - cy) <= r)
                senal += amplitud * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) /
                                             (2 * sigma * sigma));
            const double v =
                senal + normal(azar) * std::sqrt(ruidoLectura * ruidoLectura + senal / ganancia);
            cuentas[static_cast<size_t>(y) * o.ancho + x] =
                static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
        }
    }
    return cuentas;
}

} // namespace

int main(int argc, char** argv) {
    const Opciones o = LeerOpciones(argc, argv);
    std::mt19937_64 azar(o.semilla);
    std::uniform_real_distribution<double> deriva(-0.4, 0.4);
    for (int i = 0; i < o.fotos; ++i) {
        const double t = o.fotos > 1 ? static_cast<double>(i) / (o.fotos - 1) : 0.5;
        const double sigma = o.sigmaMin + (o.sigmaMax - o.sigmaMin) * std::fabs(2 * t - 1);
        // Near the middle of the frame, as when the star was centred for focusing.
        const double cx = o.ancho / 2.0 + 2.3 + deriva(azar);
        const double cy = o.alto / 2.0 - 1.7 + deriva(azar);
        const auto cuentas = Exponer(o, sigma, cx, cy, azar);

        char nombre[32];
        std::snprintf(nombre, sizeof nombre, "foco_%04d.fits", i + 1);
        const std::string final = o.carpeta + "/" + nombre;
        const std::string temporal = o.carpeta + "/." + nombre + ".part";
        try {
            GuardarFichero(temporal, FitsDeCuentas(o.ancho, o.alto, cuentas));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvel-simular: %s\n", e.what());
            return 1;
        }
        if (std::rename(temporal.c_str(), final.c_str()) != 0) {
            std::fprintf(stderr, "quorvel-simular: no se puede renombrar %s: %s\n",
                         temporal.c_str(), std::strerror(errno));
            std::remove(temporal.c_str());
            return 1;
        }
        std::printf("%s  sigma %.2f\n", final.c_str(), sigma);
        std::fflush(stdout);
        if (i + 1 < o.fotos && o.intervalo > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(o.intervalo));
    }
    return 0;
}
