// SPDX-License-Identifier: GPL-3.0-or-later
#include "Arbol.h"

#include <QFile>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

void ArbolTemporal::SetUp() {
    ASSERT_TRUE(temporal.isValid());
    char real[PATH_MAX];
    ASSERT_NE(realpath(QFile::encodeName(temporal.path()).constData(), real), nullptr);
    raiz = real;
    char actual[PATH_MAX];
    ASSERT_NE(getcwd(actual, sizeof actual), nullptr);
    antes = actual;
}

void ArbolTemporal::TearDown() {
    EXPECT_EQ(chdir(antes.constData()), 0);
    // By raw bytes: names that are not UTF-8 do not survive QDir's own removal.
    std::error_code error;
    std::filesystem::remove_all(raiz.constData(), error);
}

QByteArray ArbolTemporal::Ruta(const QByteArray& relativa) const {
    return relativa.isEmpty() ? raiz : raiz + "/" + relativa;
}

QByteArray ArbolTemporal::Carpeta(const QByteArray& relativa) const {
    QByteArray parcial = raiz;
    for (const QByteArray& parte : relativa.split('/')) {
        parcial += "/" + parte;
        mkdir(parcial.constData(), 0755);
    }
    return parcial;
}

void ArbolTemporal::Archivo(const QByteArray& relativa) const {
    QFile f(QFile::decodeName(Ruta(relativa)));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
}

void ArbolTemporal::Entrar(const QByteArray& relativa) const {
    ASSERT_EQ(chdir(Ruta(relativa).constData()), 0);
}
