// SPDX-License-Identifier: GPL-3.0-or-later
// A camera for demonstrations and end-to-end tests: writes a focus run of synthetic 16-bit
// frames into a folder, one star or a field of stars whose width follows a V-curve through
// best focus.
#include "Consola.h"
#include "Errores.h"
#include "EscritorFits.h"
#include "Ficheros.h"
#include "NocheSimulada.h"
#include "Numeros.h"
#include "Simulacion.h"
#include "Version.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const Ayuda =
    "Uso: quorvel-simular [opciones] CARPETA\n"
    "Escribe en CARPETA una serie de enfoque de fotos FITS de 16 bits con una estrella cuya\n"
    "anchura recorre una curva en V a través del mejor foco, como una cámara real: cada foto se\n"
    "escribe con un nombre temporal oculto y se renombra a foco_NNNN.fits al terminar. Crea la\n"
    "carpeta si no existe.\n"
    "\n"
    "  -n, --fotos N       número de fotos (40)\n"
    "      --ancho W       anchura en píxeles (1280)\n"
    "      --alto H        altura en píxeles (960)\n"
    "  -t, --intervalo T   segundos entre fotos (1,0)\n"
    "      --semilla S     semilla del ruido, para series repetibles (según el reloj)\n"
    "      --sigma-min S   sigma en el mejor foco, en píxeles (2,0)\n"
    "      --sigma-max S   sigma en los extremos de la serie (4,5)\n"
    "      --campo N       un campo de N estrellas en posiciones al azar por toda la foto, de\n"
    "                      flujos que cubren dos décadas (algunas saturadas en el mejor foco),\n"
    "                      con unos pocos píxeles calientes, en vez de una sola estrella\n"
    "      --subcuadro L   con --campo: cada foto es un subcuadro de L × L píxeles de ese campo\n"
    "                      (los mismos píxeles) centrado en una estrella aislada y sin saturar\n"
    "      --moffat B      con --campo: estrellas de perfil de Moffat de exponente B (de 1.5\n"
    "                      a 10) y la misma FWHM, con alas más anchas que una gaussiana\n"
    "      --calientes N   con --campo: N píxeles calientes más, fijos en toda la serie, sueltos,\n"
    "                      en parejas o en grupos de 3 o 4\n"
    "      --bayer PATRON  con --campo: una cámara de color, con el mosaico de filtros PATRON\n"
    "                      (RGGB, GRBG, GBRG o BGGR) escrito en BAYERPAT\n"
    "      --respuesta R:G:B con --bayer: la parte de la luz que deja pasar cada color\n"
    "                      (0,6:1:0,45)\n"
    "      --pedestal N    con --campo: el nivel de negro, N cuentas sumadas a toda la foto (0)\n"
    "      --saturacion N  con --campo: las cuentas se recortan en N, como en una cámara de\n"
    "                      12 o 14 bits (65535)\n"
    "      --brillo F      con --campo: el flujo de todas las estrellas por F; 0,01 da un campo\n"
    "                      de estrellas débiles (1)\n"
    "      --inclinacion K con --campo: el plano focal inclinado a lo largo de NAXIS1; la sigma\n"
    "                      de cada estrella crece de izquierda a derecha hasta (1 + K) veces\n"
    "      --plano X,Y,C   con --campo: el plano focal inclinado y curvado en foco; el mejor\n"
    "                      foco cambia X de la izquierda a la derecha de la foto, Y de abajo\n"
    "                      arriba, y está C más allá en las esquinas que en el centro (en\n"
    "                      unidades de --posicion, o en fotos sin ella); implica --hiperbola\n"
    "      --hiperbola     la sigma sigue la hipérbola de un cono de luz desenfocado, de\n"
    "                      sigma-min en medio a sigma-max en los extremos, en vez de una V recta\n"
    "      --posicion I,P  escribe la posición del enfocador, FOCUSPOS, en cada foto: I en la\n"
    "                      primera y P más en cada una de las siguientes\n"
    "      --noche N       una noche de N series de enfoque (de --fotos fotos, 9 si no se da),\n"
    "                      cada una seguida de exposiciones en su mejor posición, con DATE-OBS,\n"
    "                      FILTER, FOCTEMP y FOCUSPOS; con --posicion, I es el mejor foco del\n"
    "                      primer filtro a la primera temperatura y P el paso (10000,50)\n"
    "      --filtros F:D,...  con --noche: los filtros por turno, cada uno a D pasos del primero\n"
    "                      (L:0)\n"
    "      --temperatura T,B  con --noche: T grados en la primera serie, B menos en cada una\n"
    "                      de las siguientes (12,1.5)\n"
    "      --pasos-por-grado K  con --noche: cuánto se mueve el mejor foco por grado (-30)\n"
    "      --exposiciones E  con --noche: fotos tras cada serie, de 2 en adelante (4)\n"
    "  -h, --help          esta ayuda\n"
    "      --version       la versión y la licencia\n"
    "Los números decimales admiten coma o punto.\n";

const char* const Programa = "quorvel-simular";

[[noreturn]] void MalUso(const std::string& motivo) {
    ::MalUso(Programa, motivo);
}

// A number from minimo to maximo, so that every option converts to its type and the frame
// times stay within the clock's range. A decimal comma or a point, whatever the locale: the
// user writes a number as the manual shows it.
double Numero(const char* texto, const char* opcion, double minimo, double maximo) {
    const std::string_view t = texto;
    try {
        const double v = LeerNumero(t, t.find(',') != std::string_view::npos ? ',' : '.');
        if (v >= minimo && v <= maximo) return v;
    } catch (const ErrorConversion&) {
    }
    MalUso(std::string("valor no válido para ") + opcion + ": " + texto);
}

struct Opciones {
    std::string carpeta;
    int fotos = 40;
    int ancho = 1280, alto = 960;
    double intervalo = 1.0;
    uint64_t semilla =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    double sigmaMin = 2.0, sigmaMax = 4.5;
    int campo = 0;     // stars of the field; 0 for the single star
    int subcuadro = 0; // side of the subframe; 0 for the whole frame
    double inclinacion = 0;
    std::optional<TPlanoSimulado> plano; // its offsets in positions, centro unused
    bool hiperbola = false;
    bool posicion = false; // FOCUSPOS from inicio in steps of paso
    double inicio = 0, paso = 0;
    double moffat = 0;    // Moffat's beta; 0 for Gaussian stars
    int calientes = 0;    // warm pixels added to the field's own
    TNocheSimulada noche; // written only with --noche
    bool conNoche = false, fotosDadas = false, ajustesNoche = false;
    // The camera and the stars' brightness, for the field.
    std::string bayer;
    double respuesta[3] = {0.6, 1.0, 0.45};
    double pedestal = 0, saturacion = 65535, brillo = 1;
    bool camara = false; // any of the above given
};

// The responses R:G:B of --respuesta.
void LeerRespuestas(const std::string& v, double r[3]) {
    size_t inicio = 0;
    for (int k = 0; k < 3; ++k) {
        const size_t fin = k < 2 ? v.find(':', inicio) : v.size();
        if (fin == std::string::npos) MalUso("--respuesta necesita R:G:B: " + v);
        r[k] = Numero(v.substr(inicio, fin - inicio).c_str(), "--respuesta", 0.01, 100);
        inicio = fin + 1;
    }
}

// "F:D,F:D,...": the night's filters and their offsets.
std::vector<TFiltroSimulado> LeerFiltros(const std::string& v) {
    std::vector<TFiltroSimulado> filtros;
    size_t desde = 0;
    while (desde <= v.size()) {
        const size_t coma = std::min(v.find(',', desde), v.size());
        const std::string f = v.substr(desde, coma - desde);
        const size_t dos = f.find(':');
        if (dos == 0 || dos == std::string::npos || dos > 60 ||
            f.find_first_of("'\"") != std::string::npos)
            MalUso("--filtros necesita NOMBRE:DESPLAZAMIENTO,...: " + v);
        filtros.push_back({f.substr(0, dos), Numero(f.c_str() + dos + 1, "--filtros", -1e6, 1e6)});
        desde = coma + 1;
    }
    return filtros;
}

// "A,B": two numbers, for --posicion and --temperatura.
std::pair<double, double> Par(const std::string& v, const char* opcion, double limite) {
    const size_t coma = v.find(',');
    if (coma == std::string::npos) MalUso(std::string(opcion) + " necesita dos números A,B: " + v);
    return {Numero(v.substr(0, coma).c_str(), opcion, -limite, limite),
            Numero(v.substr(coma + 1).c_str(), opcion, -limite, limite)};
}

// The night's options checked, and --posicion and --fotos read as a night reads them.
void PrepararNoche(Opciones& o) {
    if (!o.conNoche) {
        if (o.ajustesNoche)
            MalUso(
                "--filtros, --temperatura, --pasos-por-grado y --exposiciones necesitan --noche");
        return;
    }
    if (o.inclinacion > 0 || o.subcuadro > 0)
        MalUso("--noche no va con --inclinacion ni --subcuadro");
    if (o.posicion && o.paso == 0) MalUso("con --noche, el paso de --posicion no puede ser 0");
    if (o.posicion) o.noche.Mejor = o.inicio, o.noche.Paso = o.paso;
    o.noche.FotosSerie = o.fotosDadas ? o.fotos : 9;
}

// "X,Y,C": the focal plane's lean along each axis and its bend, in positions.
TPlanoSimulado LeerPlano(const std::string& v) {
    const size_t c1 = v.find(','), c2 = c1 == std::string::npos ? c1 : v.find(',', c1 + 1);
    if (c2 == std::string::npos) MalUso("--plano necesita X,Y,C: " + v);
    const auto parte = [&](size_t a, size_t b) {
        return Numero(v.substr(a, b - a).c_str(), "--plano", -1e9, 1e9);
    };
    return TPlanoSimulado{0, parte(0, c1), parte(c1 + 1, c2), parte(c2 + 1, v.size())};
}

// The options that need or exclude one another.
void ComprobarOpciones(Opciones& o) {
    if (o.carpeta.empty()) MalUso("falta la carpeta");
    PrepararNoche(o);
    if (o.subcuadro > 0 && o.campo == 0) MalUso("--subcuadro necesita --campo");
    if (o.inclinacion > 0 && o.campo == 0) MalUso("--inclinacion necesita --campo");
    if ((o.moffat > 0 || o.calientes > 0) && o.campo == 0)
        MalUso("--moffat y --calientes necesitan --campo");
    if (o.inclinacion > 0 && o.moffat > 0) MalUso("--inclinacion no va con --moffat");
    if (o.camara && o.campo == 0)
        MalUso("--bayer, --pedestal, --saturacion y --brillo necesitan --campo");
    if (o.camara && o.inclinacion > 0)
        MalUso("--inclinacion no va con --bayer, --pedestal, --saturacion ni --brillo");
    if (o.camara && o.plano)
        MalUso("--plano no va con --bayer, --pedestal, --saturacion ni --brillo");
    if (o.pedestal >= o.saturacion) MalUso("el pedestal debe quedar por debajo de la saturación");
    if (o.plano && (o.campo == 0 || o.moffat > 0 || o.inclinacion > 0 || o.subcuadro > 0))
        MalUso("--plano necesita --campo y no va con --moffat, --inclinacion ni --subcuadro");
    if (o.plano && o.posicion && o.paso == 0) MalUso("--plano necesita un paso de --posicion");
    if (o.subcuadro > std::min(o.ancho, o.alto)) MalUso("el subcuadro no cabe en la foto");
}

Opciones LeerOpciones(int argc, char** argv) {
    Opciones o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto valor = [&]() -> const char* {
            if (i + 1 >= argc) MalUso("falta el valor de " + a);
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            Escribir(Programa, Ayuda);
            std::exit(Terminar(Programa, 0));
        } else if (a == "--version") {
            Escribir(Programa, TextoVersion(Programa));
            std::exit(Terminar(Programa, 0));
        } else if (a == "-n" || a == "--fotos") {
            o.fotos = static_cast<int>(Numero(valor(), "--fotos", 1, 1000000));
            o.fotosDadas = true;
        } else if (a == "--ancho") {
            o.ancho = static_cast<int>(Numero(valor(), "--ancho", 8, 65535));
        } else if (a == "--alto") {
            o.alto = static_cast<int>(Numero(valor(), "--alto", 8, 65535));
        } else if (a == "-t" || a == "--intervalo") {
            o.intervalo = Numero(valor(), "--intervalo", 0, 3600);
        } else if (a == "--semilla") {
            o.semilla = static_cast<uint64_t>(Numero(valor(), "--semilla", 0, 1.8e19));
        } else if (a == "--sigma-min") {
            o.sigmaMin = Numero(valor(), "--sigma-min", 0.2, 1000);
        } else if (a == "--sigma-max") {
            o.sigmaMax = Numero(valor(), "--sigma-max", 0.2, 1000);
        } else if (a == "--campo") {
            o.campo = static_cast<int>(Numero(valor(), "--campo", 1, 100000));
        } else if (a == "--moffat") {
            o.moffat = Numero(valor(), "--moffat", 1.5, 10);
        } else if (a == "--calientes") {
            o.calientes = static_cast<int>(Numero(valor(), "--calientes", 0, 1000000));
        } else if (a == "--subcuadro") {
            o.subcuadro = static_cast<int>(Numero(valor(), "--subcuadro", 8, 65535));
        } else if (a == "--inclinacion") {
            o.inclinacion = Numero(valor(), "--inclinacion", 0, 100);
        } else if (a == "--bayer") {
            o.bayer = valor();
            if (o.bayer != "RGGB" && o.bayer != "GRBG" && o.bayer != "GBRG" && o.bayer != "BGGR")
                MalUso("mosaico desconocido: " + o.bayer + " (RGGB, GRBG, GBRG o BGGR)");
            o.camara = true;
        } else if (a == "--respuesta") {
            LeerRespuestas(valor(), o.respuesta);
        } else if (a == "--pedestal") {
            o.pedestal = Numero(valor(), "--pedestal", 0, 65535), o.camara = true;
        } else if (a == "--saturacion") {
            o.saturacion = Numero(valor(), "--saturacion", 1, 65535), o.camara = true;
        } else if (a == "--brillo") {
            o.brillo = Numero(valor(), "--brillo", 0.0001, 1000), o.camara = true;
        } else if (a == "--plano") {
            o.plano = LeerPlano(valor());
            o.hiperbola = true;
        } else if (a == "--hiperbola") {
            o.hiperbola = true;
        } else if (a == "--posicion") {
            std::tie(o.inicio, o.paso) = Par(valor(), "--posicion", 1e9);
            o.posicion = true;
        } else if (a == "--noche") {
            o.noche.Series = static_cast<int>(Numero(valor(), "--noche", 1, 10000));
            o.conNoche = true;
        } else if (a == "--filtros") {
            o.ajustesNoche = true;
            o.noche.Filtros = LeerFiltros(valor());
        } else if (a == "--temperatura") {
            o.ajustesNoche = true;
            std::tie(o.noche.Temperatura, o.noche.Enfriamiento) =
                Par(valor(), "--temperatura", 100);
        } else if (a == "--pasos-por-grado") {
            o.ajustesNoche = true;
            o.noche.PasosPorGrado = Numero(valor(), "--pasos-por-grado", -1e6, 1e6);
        } else if (a == "--exposiciones") {
            o.ajustesNoche = true;
            o.noche.Exposiciones = static_cast<int>(Numero(valor(), "--exposiciones", 2, 10000));
        } else if (!a.empty() && a[0] == '-') {
            MalUso("opción desconocida: " + a);
        } else if (o.carpeta.empty()) {
            o.carpeta = a;
        } else {
            MalUso("sobra el argumento " + a);
        }
    }
    ComprobarOpciones(o);
    return o;
}

// FOCUSPOS as an integer when the position is whole, as capture programs write it.
std::string TarjetaPosicion(double x) {
    char texto[32];
    std::snprintf(texto, sizeof texto, x == std::nearbyint(x) ? "%.0f" : "%.6g", x);
    return TarjetaFits("FOCUSPOS", texto, "posicion del enfocador, en pasos");
}

// A night's frame: the hyperbola through its true best position, sigma-max at the ends of a run
// centred there.
double SigmaNoche(const Opciones& o, const TFotoSimulada& f) {
    const double r = std::max(o.sigmaMax / o.sigmaMin, 1.0001);
    const double b = std::fabs(o.noche.Paso) * (o.noche.FotosSerie - 1) / 2 / std::sqrt(r * r - 1);
    return SigmaHiperbola(f.Posicion, f.Mejor, std::max(b, 1e-9), o.sigmaMin);
}

std::vector<std::string> TarjetasNoche(const TFotoSimulada& f) {
    char temperatura[32];
    std::snprintf(temperatura, sizeof temperatura, "%.2f", f.Temperatura);
    return {
        TarjetaFits("DATE-OBS", "'" + FechaIso(f.Segundos) + "'", "inicio de la exposicion, UTC"),
        TarjetaFits("FILTER", "'" + f.Filtro + "'", "filtro"), TarjetaPosicion(f.Posicion),
        TarjetaFits("FOCTEMP", temperatura, "temperatura del enfocador, C")};
}

// The field's stars, warm pixels and camera, and the subframe when one is asked for; false,
// with the reason said, when no star is isolated enough for it.
bool PrepararCampo(const Opciones& o, std::mt19937_64& azar, TEscena& escena, TSubcuadro& sub) {
    escena = CrearEscena(o.ancho, o.alto, o.campo, o.sigmaMin, azar);
    if (o.moffat > 0) escena.perfil = TPerfil::Moffat, escena.beta = o.moffat;
    for (TEstrellaSimulada& s : escena.estrellas) s.amplitud *= o.brillo;
    escena.mosaico = o.bayer;
    std::copy(o.respuesta, o.respuesta + 3, escena.respuesta);
    escena.pedestal = o.pedestal, escena.saturacion = o.saturacion;
    AnadirCalientes(escena, o.calientes, azar);
    if (o.subcuadro == 0) return true;
    sub = ElegirSubcuadro(escena, o.subcuadro, std::max(o.sigmaMin, o.sigmaMax));
    if (sub.estrella < 0) {
        const std::string lado = std::to_string(o.subcuadro);
        Avisar(Programa, "ninguna estrella aislada para un subcuadro de " + lado + " × " + lado);
        return false;
    }
    const TEstrellaSimulada& e = escena.estrellas[static_cast<size_t>(sub.estrella)];
    std::printf("subcuadro en x %d, y %d; estrella en x %.2f, y %.2f del campo\n", sub.x0, sub.y0,
                e.x, e.y);
    return true;
}

// How the run's width changes: along a hyperbola about the middle frame, or linearly.
struct TRecorrido {
    double mitad = 0;    // the middle frame's index
    bool hiperbola = false;
    double b = 1;        // the hyperbola's half-width in frames
};

TRecorrido Recorrido(const Opciones& o) {
    TRecorrido r;
    r.mitad = (o.fotos - 1) / 2.0;
    r.hiperbola = o.hiperbola && o.sigmaMax > o.sigmaMin && o.fotos > 1;
    if (r.hiperbola) r.b = r.mitad / std::sqrt(std::pow(o.sigmaMax / o.sigmaMin, 2) - 1);
    return r;
}

// Frame i of the field at the run's width sigma, in the frame's own size.
std::vector<uint16_t> ExponerFotoCampo(const Opciones& o, const TEscena& escena, const TRecorrido& r,
                                       int i, double sigma, std::mt19937_64& azar) {
    if (o.plano) {
        // Each star's own best frame, the plane's offsets counted in frames.
        const double frames = o.posicion ? o.paso : 1;
        return ExponerCampo(escena, [&](double x, double y) {
            const double mejor = r.mitad + MejorFocoEn(*o.plano, x, y, o.ancho, o.alto) / frames;
            return r.hiperbola ? SigmaHiperbola(i, mejor, r.b, o.sigmaMin) : o.sigmaMin;
        }, azar);
    }
    if (o.inclinacion > 0) return ExponerCampo(escena, sigma, azar, o.inclinacion);
    return ExponerCampo(escena, TFoco{sigma, sigma, 0}, azar);
}

// Frame i's cards: the night's, or the focuser's position, and the mosaic's.
std::vector<std::string> TarjetasFoto(const Opciones& o, const std::vector<TFotoSimulada>& noche, int i) {
    std::vector<std::string> tarjetas;
    if (!noche.empty())
        tarjetas = TarjetasNoche(noche[static_cast<size_t>(i)]);
    else if (o.posicion)
        tarjetas.push_back(TarjetaPosicion(o.inicio + i * o.paso));
    if (!o.bayer.empty())
        tarjetas.insert(tarjetas.end(),
                        {TarjetaFits("BAYERPAT", "'" + o.bayer + "'", "mosaico de color"),
                         TarjetaFits("XBAYROFF", "0"), TarjetaFits("YBAYROFF", "0")});
    return tarjetas;
}
} // namespace

int main(int argc, char** argv) {
    AvisarErroresNoCapturados(Programa);
    const Opciones o = LeerOpciones(argc, argv);
    if (std::error_code ec; !std::filesystem::create_directories(o.carpeta, ec) && ec) {
        Avisar(Programa,
               "no se puede crear la carpeta " + o.carpeta + ": " + DescripcionError(ec.value()));
        return 1;
    }
    std::mt19937_64 azar(o.semilla);
    TEscena escena;
    TSubcuadro sub;
    if (o.campo > 0 && !PrepararCampo(o, azar, escena, sub)) return 1;
    const std::vector<TFotoSimulada> noche =
        o.conNoche ? PlanearNoche(o.noche) : std::vector<TFotoSimulada>{};
    const int fotos = noche.empty() ? o.fotos : static_cast<int>(noche.size());
    const TRecorrido r = Recorrido(o);
    std::uniform_real_distribution<double> deriva(-0.4, 0.4);
    // Frame i is due at i intervals after the start, whatever the writing took.
    const auto inicio = std::chrono::steady_clock::now();
    for (int i = 0; i < fotos; ++i) {
        if (i > 0)
            std::this_thread::sleep_until(
                inicio + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(i * o.intervalo)));
        const double sigma = !noche.empty() ? SigmaNoche(o, noche[static_cast<size_t>(i)])
                             : r.hiperbola  ? SigmaHiperbola(i, r.mitad, r.b, o.sigmaMin)
                                            : SigmaSerie(i, o.fotos, o.sigmaMin, o.sigmaMax);
        int ancho = o.ancho, alto = o.alto;
        std::vector<uint16_t> cuentas;
        if (o.campo == 0) {
            // Near the middle of the frame, as when the star was centred for focusing.
            const double cx = o.ancho / 2.0 + 2.3 + deriva(azar);
            const double cy = o.alto / 2.0 - 1.7 + deriva(azar);
            cuentas = ExponerEstrella(o.ancho, o.alto, o.sigmaMin, sigma, cx, cy, azar);
        } else {
            cuentas = ExponerFotoCampo(o, escena, r, i, sigma, azar);
            if (o.subcuadro > 0) {
                cuentas = Recorte(cuentas, o.ancho, sub);
                ancho = alto = o.subcuadro;
            }
        }

        char nombre[32];
        std::snprintf(nombre, sizeof nombre, "foco_%04d.fits", i + 1);
        const std::string final = o.carpeta + "/" + nombre;
        try {
            // Whole or not at all, under a hidden name until complete, as a camera writes.
            EscribirEntero(final, FitsDeCuentas(ancho, alto, cuentas, TarjetasFoto(o, noche, i)));
        } catch (const std::exception& e) {
            Avisar(Programa, TextoError(e));
            return 1;
        }
        std::printf("%s  sigma %.2f\n", final.c_str(), sigma);
        Vaciar(Programa);
    }
    return Terminar(Programa, 0);
}
