// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A temporary folder tree for the dialog tests, made the process's current directory while the
// test runs (the lists start there) and removed afterwards.
#include <QByteArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ArbolTemporal : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Full path (raw bytes) of `relativa` inside the tree; the tree itself for "".
    QByteArray Ruta(const QByteArray& relativa = {}) const;
    // Makes the folders of `relativa`, parents included; returns its full path.
    QByteArray Carpeta(const QByteArray& relativa) const;
    void Archivo(const QByteArray& relativa) const;
    void Entrar(const QByteArray& relativa) const;

    QTemporaryDir temporal;
    QByteArray raiz;  // real path of the tree
    QByteArray antes; // current directory before the test
};
