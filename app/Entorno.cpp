// SPDX-License-Identifier: GPL-3.0-or-later
#include "Entorno.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Canonica(const std::string& ruta) {
    std::error_code e;
    const fs::path p = fs::canonical(ruta, e);
    return e ? std::string() : p.string();
}

std::string DirectorioPersonal() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "/";
}

std::string DirectorioDelEjecutable() {
    std::string ruta = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    if (ruta.empty()) ruta = Canonica("/proc/self/exe");
    return ruta.substr(0, ruta.rfind('/') + 1);
}

} // namespace

std::string DirectorioDeAjustes(const std::string& dirEjecutable,
                                const std::string& dirConstruccion) {
    const std::string propio = Canonica(dirEjecutable);
    if (!propio.empty() && propio == Canonica(dirConstruccion) &&
        ::access(propio.c_str(), W_OK) == 0)
        return propio + "/";
    // A relative XDG_CONFIG_HOME is not valid and is ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string base = xdg && xdg[0] == '/' ? xdg : DirectorioPersonal() + "/.config";
    const std::string dir = base + "/quorvel";
    std::error_code e;
    fs::create_directories(dir, e); // a failure shows when the setting is written at close
    return dir + "/";
}

std::string DirectorioDeAjustes() {
    return DirectorioDeAjustes(DirectorioDelEjecutable(), QUORVEL_DIR_CONSTRUCCION);
}

bool CargarTraduccionQt() {
    auto* traductor = new QTranslator(QCoreApplication::instance());
    if (traductor->load("qtbase_es", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return QCoreApplication::installTranslator(traductor);
    delete traductor;
    return false;
}
