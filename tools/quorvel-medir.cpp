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

#include <clocale>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

const char* const Ayuda =
    "Uso: quorvel-medir [--csv] FICHERO...\n"
    "     quorvel-medir --campo [--csv] [--estrellas] FICHERO...\n"
    "     quorvel-medir --curva [--campo] [--csv] [--grafico IMAGEN] FICHERO...\n"
    "     quorvel-medir --inclinacion [--csv] [--grafico IMAGEN] FICHERO...\n"
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
    "      --curva      una serie de enfoque: ajusta la hipérbola HFD(x) = a·√(1 + ((x − p)/b)²)\n"
    "                   al HFD y aparte a la FWHM, con x la posición del enfocador (FOCUSPOS, si\n"
    "                   no FOCPOS) o el orden del fichero; una fila por figura con la mejor\n"
    "                   posición p, el mínimo a, R2, los puntos usados y a cada lado de p y\n"
    "                   \"bien\" o por qué no fiarse. Estado de salida 0 solo si el HFD sale bien\n"
    "      --inclinacion\n"
    "                   campos enteros: HFD de cada noveno de la foto, la peor esquina menos\n"
    "                   la mejor (en píxeles y en % del HFD), la curvatura y un veredicto\n"
    "      --noche      las fotos de una noche, en el orden de DATE-OBS: una fila por serie de\n"
    "                   enfoque (5 fotos seguidas o más de un filtro cuyas posiciones avanzan en\n"
    "                   un sentido) con su inicio, fotos, FILTER, la mediana de FOCTEMP (si no,\n"
    "                   FOCUSTEM) y lo que --curva da del HFD\n"
    "      --modelo     con --noche: ajusta mejor = pendiente × temperatura + una ordenada por\n"
    "                   filtro sobre las series \"bien\" y da una fila por filtro con su\n"
    "                   desplazamiento, los pasos por grado, sus series y R2\n"
    "      --grafico IMAGEN\n"
    "                   con --curva, --inclinacion o --noche: dibuja el análisis en IMAGEN, PNG\n"
    "                   o SVG según su extensión (con --inclinacion, la foto de menor HFD)\n"
    "      --csv        CSV (RFC 4180) con punto decimal; sin esta opción, columnas separadas\n"
    "                   por tabuladores con el separador decimal del usuario\n"
    "  -h, --help       esta ayuda\n"
    "      --version    la versión y la licencia\n"
    "      --           lo que sigue son ficheros, aunque empiece por '-'\n";

const char* const Programa = "quorvel-medir";

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

} // namespace

int main(int argc, char** argv) {
    AvisarErroresNoCapturados(Programa);
    bool csv = false, campo = false, estrellas = false, opciones = true;
    bool curva = false, inclinacion = false, noche = false, modelo = false;
    std::string grafico;
    std::vector<std::string> ficheros;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (opciones && a == "--") {
            opciones = false;
        } else if (opciones && (a == "-h" || a == "--help")) {
            Escribir(Programa, Ayuda);
            return Terminar(Programa, 0);
        } else if (opciones && a == "--version") {
            Escribir(Programa, TextoVersion(Programa));
            return Terminar(Programa, 0);
        } else if (opciones && a == "--csv") {
            csv = true;
        } else if (opciones && a == "--campo") {
            campo = true;
        } else if (opciones && a == "--estrellas") {
            estrellas = true;
        } else if (opciones && a == "--curva") {
            curva = true;
        } else if (opciones && a == "--inclinacion") {
            inclinacion = true;
        } else if (opciones && (a == "--noche" || a == "--modelo")) {
            (a == "--noche" ? noche : modelo) = true;
        } else if (opciones && a == "--grafico") {
            if (++i >= argc) MalUso("falta la imagen de --grafico");
            grafico = argv[i];
        } else if (opciones && a.size() > 1 && a[0] == '-') {
            MalUso("opción desconocida: " + a);
        } else {
            ficheros.push_back(a);
        }
    }
    if (ficheros.empty()) MalUso("falta al menos un fichero");
    if (estrellas && !campo) MalUso("--estrellas necesita --campo");
    if (curva + inclinacion + noche > 1) MalUso("--curva, --inclinacion y --noche no van juntas");
    if (modelo && !noche) MalUso("--modelo necesita --noche");
    if (estrellas && (curva || inclinacion || noche))
        MalUso("--estrellas no va con --curva, --inclinacion ni --noche");
    if (!grafico.empty() && !curva && !inclinacion && !noche)
        MalUso("--grafico necesita --curva, --inclinacion o --noche");
    if (!grafico.empty() && !TerminaEn(grafico, ".png") && !TerminaEn(grafico, ".svg"))
        MalUso("la imagen de --grafico ha de acabar en .png o .svg: " + grafico);

    SeparadoresUsuario.decimal = DecimalDelUsuario();
    const char decimal = csv ? '.' : SeparadoresUsuario.decimal;
    const auto numero = [decimal](double v, const char* formato) {
        return FormatearNumero(v, formato, decimal);
    };

    const TSalidaAnalisis salida{[csv](const std::vector<std::string>& f) { Fila(f, csv); }, numero,
                                 grafico};
    if (curva) return Terminar(Programa, AnalizarCurva(ficheros, campo, salida));
    if (inclinacion) return Terminar(Programa, AnalizarInclinacion(ficheros, salida));
    if (noche) return Terminar(Programa, AnalizarNoche(ficheros, campo, modelo, salida));

    if (campo)
        Fila(estrellas
                 ? std::vector<std::string>{"Archivo", "X", "Y", "FWHM", "HFD", "Maximo", "Calidad"}
                 : std::vector<std::string>{"Archivo", "Estrellas", "FWHM", "HFD", "Maximo",
                                            "Fondo"},
             csv);
    else
        Fila({"Archivo", "Maximo", "FWHM", "HFD", "CentroideX", "CentroideY", "Fondo", "Calidad"},
             csv);
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    const int estado = RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string& fichero, size_t) {
        if (!campo) {
            const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
            Fila({fichero, FormatearEntero(f.Maximo), numero(f.FWHM, "0.000"),
                  numero(f.HFD, "0.000"), numero(f.CentroideX, "0.000"),
                  numero(f.CentroideY, "0.000"), numero(f.NivelFondo, "0.00"),
                  std::string(1, f.Calidad)},
                 csv);
            return;
        }
        const TMedidaCampo m = MedirCampoConEstrellas(Placa);
        if (estrellas) {
            for (const TEstrellaCampo& e : m.Estrellas)
                Fila({fichero, numero(e.X, "0.000"), numero(e.Y, "0.000"), numero(e.FWHM, "0.000"),
                      numero(e.HFD, "0.000"), FormatearEntero(e.Maximo), std::string(1, e.Calidad)},
                     csv);
        } else {
            Fila({fichero, FormatearEntero(static_cast<int64_t>(m.Estrellas.size())),
                  numero(m.FWHM, "0.000"), numero(m.HFD, "0.000"), FormatearEntero(m.Maximo),
                  numero(m.Fondo, "0.00")},
                 csv);
        }
    });
    return Terminar(Programa, estado);
}
