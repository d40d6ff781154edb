// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive list of the folder dialog. On this system the "drives" are the roots of the file
// tree: "/" and the mount points of the mounted file systems a user can keep files on.
#include <QByteArray>
#include <QComboBox>
#include <QIcon>
#include <QString>
#include <vector>

enum class TTipoUnidad { Extraible, Fija, Red, CdRom, Ram };

struct TUnidad {
    QByteArray Raiz; // mount point as the system stores it (raw bytes)
    TTipoUnidad Tipo = TTipoUnidad::Fija;
    QString Etiqueta;       // volume label; empty when none can be had
    QByteArray Dispositivo; // what is mounted: a device, or "server:/export" for a network one
};

// The drives in a mount table in the /proc/self/mounts layout: pseudo and system file systems
// left out, "/" always first, the rest in byte order of their mount points. Labels are not
// filled in here.
std::vector<TUnidad> UnidadesDeTabla(const QByteArray& tabla);

// The drives of this system, with labels. Never touches a network file system: a dead server
// would hang the window, so only the mount table and the block devices' label links are read.
std::vector<TUnidad> LeerUnidades();

// "mount point [label]" in the manner of the list: label or remote name in lower case; a
// removable medium shows its mount point only.
QString TextoUnidad(const TUnidad& u);

QIcon IconoUnidad(TTipoUnidad tipo);

// Drop-down list of the roots; the current one is the root of the process's current directory
// at creation (none when no root holds it). Reports `Cambio` only when the user picks a root
// other than the current one.
class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(std::vector<TUnidad> unidades, QWidget* parent = nullptr);

    // The current root's mount point; empty when there is none.
    QByteArray Unidad() const { return unidad; }
    const std::vector<TUnidad>& Unidades() const { return unidades; }

signals:
    void Cambio();

private:
    void Elegido(int indice);

    std::vector<TUnidad> unidades;
    QByteArray unidad;
};
