// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the star of FITS frames from the command line, with the same code the window uses,
// or the stars of whole fields.
#include "AnalisisFoco.h"
#include "AnalisisNoche.h"
#include "Campo.h"
#include "Consola.h"
#include "DibujoAnalisis.h"
#include "Errores.h"
#include "Medida.h"
#include "Numeros.h"
#include "UTPlaca.h"
#include "Version.h"

#include <malloc.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const Ayuda =
    "Uso: quorvel-medir [--csv] FICHERO...\n"
    "     quorvel-medir --campo [--csv] [--estrellas [--rechazadas]] FICHERO...\n"
    "     quorvel-medir --curva [--campo] [--csv] [--grafico IMAGEN] FICHERO...\n"
    "     quorvel-medir --inclinacion [--csv] [--grafico IMAGEN] FICHERO...\n"
    "     quorvel-medir --curva --inclinacion [--csv] [--paso-um X] [--grafico IMAGEN]\n"
    "                   FICHERO...\n"
    "     quorvel-medir --noche [--modelo] [--campo] [--csv] [--grafico IMAGEN] FICHERO...\n"
    "Carga cada foto FITS de 16 bits, localiza su estrella y escribe una fila por fichero con\n"
    "el nombre, el valor máximo, la FWHM del ajuste gaussiano, el diámetro de media luz (HFD),\n"
    "el centroide, el nivel de fondo y la calidad del ajuste (S saturada, C demasiado estrecha,\n"
    "F demasiado ancha, en blanco si es buena o no hubo ajuste). La primera fila nombra las\n"
    "columnas.\n"
    "\n"
    "Un fichero rechazado o que no se puede medir no da fila: su motivo sale por la salida de\n"
    "errores. Estado de salida: 0 si todos se midieron, 1 si alguno falló o la salida no se\n"
    "pudo escribir, 2 si el uso es incorrecto.\n"
    "\n"
    "      --campo      fotos enteras: mide sus estrellas (SEP) sin las saturadas, mezcladas,\n"
    "                   alargadas, junto al borde ni píxeles calientes, y da las medianas de\n"
    "                   FWHM, HFD y máximo y el fondo (\"ninguna estrella medible\" si no queda);\n"
    "                   FWHM 10 quiere decir que la mediana del HFD es 10 o más: estrellas\n"
    "                   demasiado anchas para ajustarlas, como en la ventana\n"
    "      --estrellas  con --campo: una fila por estrella usada, con su posición y calidad\n"
    "                   (FWHM 0 en las que no se ajustan: solo las 10 más brillantes)\n"
    "      --rechazadas con --estrellas: tras las usadas, una fila por cada candidata que se\n"
    "                   dejó fuera, con su posición y el motivo en la columna Motivo (vacía en\n"
    "                   las usadas)\n"
    "      --curva      una serie de enfoque: ajusta la hipérbola HFD(x) = a·√(1 + ((x − p)/b)²)\n"
    "                   al HFD y aparte a la FWHM, con x la posición del enfocador (FOCUSPOS, si\n"
    "                   no FOCPOS) o el orden del fichero; una fila por figura con la mejor\n"
    "                   posición p, el mínimo a, R2, los puntos usados y a cada lado de p y\n"
    "                   \"bien\" o por qué no fiarse. Estado de salida 0 solo si el HFD sale bien\n"
    "      --inclinacion\n"
    "                   campos enteros: HFD de cada noveno de la foto y cuánto va del más\n"
    "                   nítido al más borroso (en píxeles y en % del HFD). Una foto no separa\n"
    "                   la inclinación de la curvatura ni dice hacia dónde se inclina el plano:\n"
    "                   eso necesita una serie, con --curva\n"
    "      --curva --inclinacion\n"
    "                   una serie de campos enteros: la curva de enfoque de cada noveno, su\n"
    "                   mejor posición (Mejor_11 ... Mejor_33; i el tercio a lo largo de NAXIS1,\n"
    "                   j de NAXIS2, 1 el extremo bajo), la inclinación en X y en Y (tercio alto\n"
    "                   menos tercio bajo), la curvatura (esquinas menos centro) y la tolerancia\n"
    "                   (lo que se mueve el foco para que el HFD del centro crezca un 10 %), en\n"
    "                   las unidades de la posición, y un veredicto. Estado de salida 0 solo\n"
    "                   si hay veredicto\n"
    "      --paso-um X  con --curva --inclinacion: el paso del enfocador en micras; añade las\n"
    "                   mismas cifras en micras\n"
    "      --noche      las fotos de una noche, en el orden de DATE-OBS: una fila por serie de\n"
    "                   enfoque (5 fotos seguidas o más de un filtro cuyas posiciones avanzan en\n"
    "                   un sentido) con su inicio, fotos, FILTER, la mediana de FOCTEMP (si no,\n"
    "                   FOCUSTEM) y lo que --curva da del HFD\n"
    "      --modelo     con --noche: ajusta mejor = pendiente × temperatura + una ordenada por\n"
    "                   filtro sobre las series \"bien\" y da una fila por filtro con su\n"
    "                   desplazamiento, los pasos por grado, sus series y R2\n"
    "      --grafico IMAGEN\n"
    "                   con --curva, --inclinacion o --noche: dibuja el análisis en IMAGEN, PNG\n"
    "                   o SVG según su extensión (con --inclinacion, la foto de menor HFD; con\n"
    "                   --curva --inclinacion, el mapa de las mejores posiciones respecto al\n"
    "                   centro)\n"
    "      --csv        CSV (RFC 4180) con punto decimal; sin esta opción, columnas separadas\n"
    "                   por tabuladores con el separador decimal del usuario\n"
    "  -h, --help       esta ayuda\n"
    "      --version    la versión y la licencia\n"
    "      --           lo que sigue son ficheros, aunque empiece por '-'\n";

const char* const Programa = "quorvel-medir";

// Why a candidate was left out, as the user reads it.
const char* TextoMotivo(TMotivo m) {
    switch (m) {
    case TMotivo::Caliente: return "píxel caliente";
    case TMotivo::SinLuz: return "sin luz sobre el cielo";
    case TMotivo::Debil: return "demasiado débil";
    case TMotivo::Saturada: return "saturada";
    case TMotivo::Borde: return "junto al borde";
    case TMotivo::Alargada: return "alargada";
    case TMotivo::CieloDesigual: return "cielo desigual";
    case TMotivo::Difusa: return "sin perfil de estrella";
    case TMotivo::Vecina: return "vecina cercana";
    case TMotivo::LejosDeMediana: return "lejos del HFD típico";
    case TMotivo::SinAjuste: return "sin ajuste";
    case TMotivo::Sobrante: return "sobrante";
    }
    return "";
}

[[noreturn]] void MalUso(const std::string& motivo) {
    ::MalUso(Programa, motivo);
}

// A CSV field, quoted when it holds a separator, a quote or a line break.
std::string CampoCsv(const std::string& texto) {
    if (texto.find_first_of(",\"\r\n") == std::string::npos) return texto;
    std::string r = "\"";
    for (const char c : texto) r += c == '"' ? std::string("\"\"") : std::string(1, c);
    return r + "\"";
}

void Fila(const std::vector<std::string>& campos, bool csv) {
    std::string linea;
    for (size_t k = 0; k < campos.size(); ++k) {
        if (k > 0) linea += csv ? "," : "\t";
        linea += csv ? CampoCsv(campos[k]) : campos[k];
    }
    linea += csv ? "\r\n" : "\n";
    Escribir(Programa, linea);
}

// A focuser step in micrometres, with a decimal point or comma.
double PasoMicras(const std::string& texto) {
    try {
        const double v = LeerNumero(texto, texto.find(',') != std::string::npos ? ',' : '.');
        if (v > 0 && v <= 1e6) return v;
    } catch (const ErrorConversion&) {
    }
    MalUso("valor no válido para --paso-um: " + texto);
}

// The user's decimal separator; the C library's number formatting stays in the "C" locale,
// which the number texts rely on.
char DecimalDelUsuario() {
    char decimal = '.';
    if (std::setlocale(LC_NUMERIC, "")) {
        const char* d = std::localeconv()->decimal_point;
        if (d && d[0] && !d[1]) decimal = d[0];
    }
    std::setlocale(LC_NUMERIC, "C");
    return decimal;
}

struct Opciones {
    bool csv = false, campo = false, estrellas = false, rechazadas = false;
    bool curva = false, inclinacion = false, noche = false, modelo = false;
    std::string grafico;
    double pasoUm = 0;
    std::vector<std::string> ficheros;
};

// The command line, checked; a usage error exits with status 2, --help and --version with 0.
Opciones LeerOpciones(int argc, char** argv) {
    Opciones o;
    bool opciones = true, conGrafico = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (opciones && a == "--") {
            opciones = false;
        } else if (opciones && (a == "-h" || a == "--help")) {
            Escribir(Programa, Ayuda);
            std::exit(Terminar(Programa, 0));
        } else if (opciones && a == "--version") {
            Escribir(Programa, TextoVersion(Programa));
            std::exit(Terminar(Programa, 0));
        } else if (opciones && a == "--csv") {
            o.csv = true;
        } else if (opciones && a == "--campo") {
            o.campo = true;
        } else if (opciones && a == "--estrellas") {
            o.estrellas = true;
        } else if (opciones && a == "--rechazadas") {
            o.rechazadas = true;
        } else if (opciones && a == "--curva") {
            o.curva = true;
        } else if (opciones && a == "--inclinacion") {
            o.inclinacion = true;
        } else if (opciones && (a == "--noche" || a == "--modelo")) {
            (a == "--noche" ? o.noche : o.modelo) = true;
        } else if (opciones && a == "--grafico") {
            if (++i >= argc) MalUso("falta la imagen de --grafico");
            o.grafico = argv[i];
            conGrafico = true;
        } else if (opciones && a == "--paso-um") {
            if (++i >= argc) MalUso("falta el valor de --paso-um");
            o.pasoUm = PasoMicras(argv[i]);
        } else if (opciones && a.size() > 1 && a[0] == '-') {
            MalUso("opción desconocida: " + a);
        } else {
            o.ficheros.push_back(a);
        }
    }
    if (o.ficheros.empty()) MalUso("falta al menos un fichero");
    if (o.estrellas && !o.campo) MalUso("--estrellas necesita --campo");
    if (o.rechazadas && !o.estrellas) MalUso("--rechazadas necesita --campo --estrellas");
    if (o.pasoUm > 0 && !(o.curva && o.inclinacion))
        MalUso("--paso-um necesita --curva --inclinacion");
    if (o.noche && (o.curva || o.inclinacion)) MalUso("--noche no va con --curva ni --inclinacion");
    if (o.modelo && !o.noche) MalUso("--modelo necesita --noche");
    if (o.estrellas && (o.curva || o.inclinacion || o.noche))
        MalUso("--estrellas no va con --curva, --inclinacion ni --noche");
    if (conGrafico && o.grafico.empty()) MalUso("la imagen de --grafico no puede estar vacía");
    if (!o.grafico.empty() && !o.curva && !o.inclinacion && !o.noche)
        MalUso("--grafico necesita --curva, --inclinacion o --noche");
    if (!o.grafico.empty() && !TerminaEn(o.grafico, ".png") && !TerminaEn(o.grafico, ".svg"))
        MalUso("la imagen de --grafico ha de acabar en .png o .svg: " + o.grafico);
    return o;
}

// One row per frame (per star with --estrellas) of the single-star or field measurement.
int MedirFotos(const Opciones& o, const TFormatoNumero& numero) {
    const bool csv = o.csv;
    std::vector<std::string> columnasEstrella{"Archivo", "X", "Y", "FWHM", "HFD", "Maximo", "Calidad"};
    if (o.rechazadas) columnasEstrella.push_back("Motivo");
    if (o.campo)
        Fila(o.estrellas ? columnasEstrella
                         : std::vector<std::string>{"Archivo", "Estrellas", "FWHM", "HFD",
                                                    "Maximo", "Fondo"},
             csv);
    else
        Fila({"Archivo", "Maximo", "FWHM", "HFD", "CentroideX", "CentroideY", "Fondo", "Calidad"},
             csv);
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    return RecorrerFotos(o.ficheros, [&](TPlaca& Placa, const std::string& fichero, size_t) {
        if (!o.campo) {
            const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
            Fila({fichero, FormatearEntero(f.Maximo), numero(f.FWHM, "0.000"),
                  numero(f.HFD, "0.000"), numero(f.CentroideX, "0.000"),
                  numero(f.CentroideY, "0.000"), numero(f.NivelFondo, "0.00"),
                  std::string(1, f.Calidad)},
                 csv);
            return;
        }
        const TMedidaCampo m = MedirCampo(Placa);
        if (o.estrellas) {
            for (const TEstrellaCampo& e : m.Estrellas) {
                std::vector<std::string> f{fichero, numero(e.X, "0.000"), numero(e.Y, "0.000"),
                                           numero(e.FWHM, "0.000"), numero(e.HFD, "0.000"),
                                           FormatearEntero(e.Maximo), std::string(1, e.Calidad)};
                if (o.rechazadas) f.push_back("");
                Fila(f, csv);
            }
            // What was left out has no FWHM or quality, and an HFD only once measured.
            if (o.rechazadas)
                for (const TRechazada& e : m.Rechazadas)
                    Fila({fichero, numero(e.X, "0.000"), numero(e.Y, "0.000"), "",
                          e.HFD > 0 ? numero(e.HFD, "0.000") : "", FormatearEntero(e.Maximo), "",
                          TextoMotivo(e.Motivo)},
                         csv);
        }
        if (m.Estrellas.empty()) throw std::runtime_error("ninguna estrella medible");
        if (!o.estrellas)
            Fila({fichero, FormatearEntero(static_cast<int64_t>(m.Estrellas.size())),
                  numero(m.FWHM, "0.000"), numero(m.HFD, "0.000"), FormatearEntero(m.Maximo),
                  numero(m.Fondo, "0.00")},
                 csv);
    });
}

} // namespace

int main(int argc, char** argv) {
    // The frames are measured one after another, mostly of one size: their memory, some 60 MB
    // for a 6000 x 4000 field, stays in the heap for the next frame instead of going back to
    // the system and being faulted in anew, which took a quarter of a field's time.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    AvisarErroresNoCapturados(Programa);
    const Opciones o = LeerOpciones(argc, argv);
    SeparadoresUsuario.decimal = DecimalDelUsuario();
    const char decimal = o.csv ? '.' : SeparadoresUsuario.decimal;
    const TFormatoNumero numero = [decimal](double v, const char* formato) {
        return FormatearNumero(v, formato, decimal);
    };
    const TSalidaAnalisis salida{[csv = o.csv](const std::vector<std::string>& f) { Fila(f, csv); },
                                 numero, o.grafico, SeparadoresUsuario.decimal, o.pasoUm};
    if (o.curva && o.inclinacion) return Terminar(Programa, AnalizarPlano(o.ficheros, salida));
    if (o.curva) return Terminar(Programa, AnalizarCurva(o.ficheros, o.campo, salida));
    if (o.inclinacion) return Terminar(Programa, AnalizarInclinacion(o.ficheros, salida));
    if (o.noche) return Terminar(Programa, AnalizarNoche(o.ficheros, o.campo, o.modelo, salida));
    return Terminar(Programa, MedirFotos(o, numero));
}
