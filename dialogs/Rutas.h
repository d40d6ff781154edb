// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paths as the system's raw bytes, shared by the drive list and the directory list.
#include <QByteArray>

// True when the full path lies in the tree of root `raiz` (the root itself included).
bool EstaBajo(const QByteArray& ruta, const QByteArray& raiz);

// "/" stays as it is; any other path loses its trailing separators.
QByteArray SinSeparadorFinal(QByteArray ruta);

// The process's current directory as the system gives it; "/" when it cannot be had (the
// directory was removed).
QByteArray DirectorioProceso();
