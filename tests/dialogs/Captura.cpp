// SPDX-License-Identifier: GPL-3.0-or-later
// Shows the folder dialog in the current directory, with the system's roots, and saves a
// picture of the screen: `captura_seldir salida.png [desplegada]`, the last word opening the
// drive list. For looking at the dialog, not a test.
#include "USelDir.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "uso: captura_seldir salida.png [desplegada]\n");
        return 2;
    }
    TFSelDir dialogo;
    dialogo.show();
    if (argc > 2 && std::strcmp(argv[2], "desplegada") == 0)
        QTimer::singleShot(100, [&] { dialogo.DriveComboBox1->showPopup(); });
    QTimer::singleShot(400, [&] {
        const bool bien = dialogo.screen()->grabWindow(0).save(argv[1]);
        app.exit(bien ? 0 : 1);
    });
    return app.exec();
}
