// SPDX-License-Identifier: GPL-3.0-or-later
#include "Consola.h"
#include "Entorno.h"
#include "Numeros.h"
#include "UQuorvel.h"
#include "USelDir.h"
#include "Version.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <string>

namespace {

const char* const Uso = "Uso: quorvel [--campo] [--help] [--version]";

const char* const Ayuda =
    "Uso: quorvel [--campo]\n"
    "Ayuda de enfoque: vigila la carpeta donde la cámara guarda sus fotos FITS de 16 bits y\n"
    "mide cada foto nueva: valor máximo, FWHM y diámetro de media luz (HFD), con una gráfica\n"
    "por cifra. La carpeta se elige con \"Carpeta...\" y se recuerda entre sesiones.\n"
    "\n"
    "      --campo    fotos enteras con muchas estrellas: mide las estrellas utilizables de\n"
    "                 cada foto y dibuja sus medianas; el título dice cuántas se usaron. Sin\n"
    "                 esta opción se mide la única estrella de un subcuadro a su alrededor\n"
    "  -h, --help     esta ayuda\n"
    "      --version  la versión y la licencia\n"
    "\n"
    "Las opciones del propio Qt no se admiten aquí; sus variables de entorno sí\n"
    "(QT_QPA_PLATFORM, QT_SCALE_FACTOR...).\n";

// The user's separators, as single bytes; one outside ASCII falls back to a point (decimal)
// or a blank (groups), so the number texts stay one byte per character.
void LeerSeparadores() {
    const QLocale local = QLocale::system();
    const QString decimal = local.decimalPoint();
    const QString grupo = local.groupSeparator();
    const auto ascii = [](const QString& s, char defecto) {
        return s.size() == 1 && s[0].unicode() < 128 ? static_cast<char>(s[0].unicode()) : defecto;
    };
    SeparadoresUsuario.decimal = ascii(decimal, '.');
    SeparadoresUsuario.grupo = ascii(grupo, ' ');
}

} // namespace

int main(int argc, char** argv) {
    AvisarErroresNoCapturados("quorvel");
    // Read before the toolkit starts: --help and --version need no screen, and a wrong
    // argument opens no window. Qt's own options (-platform...) are refused like any other.
    TModoMedida modo = TModoMedida::Estrella;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help" || a == "--version") {
            Escribir("quorvel", a == "--version" ? TextoVersion("quorvel") : Ayuda);
            return Terminar("quorvel", 0);
        }
        if (a == "--campo") {
            modo = TModoMedida::Campo;
        } else {
            std::fprintf(stderr, "quorvel: argumento no válido: %s. %s\n", a.c_str(), Uso);
            return 2;
        }
    }
    int argcQt = 1; // the toolkit sees no argument
    QApplication app(argcQt, argv);
    QGuiApplication::setDesktopFileName("org.quorvel.quorvel"); // the menu entry of its windows
    CargarTraduccionQt(); // without it the toolkit's own buttons stay in English
    LeerSeparadores();
    TFQuorvel FQuorvel({}, true, modo);
    TFSelDir selector;
    FSelDir = &selector;
    FQuorvel.show();
    return app.exec();
}
