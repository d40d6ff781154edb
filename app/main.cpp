// SPDX-License-Identifier: GPL-3.0-or-later
#include "Entorno.h"
#include "Numeros.h"
#include "UQuorvel.h"
#include "USelDir.h"

#include <QApplication>
#include <QLocale>

namespace {
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
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName("org.quorvel.quorvel"); // the menu entry of its windows
    CargarTraduccionQt(); // without it the toolkit's own buttons stay in English
    LeerSeparadores();
    TFQuorvel FQuorvel;
    TFSelDir selector;
    FSelDir = &selector;
    FQuorvel.show();
    return app.exec();
}
