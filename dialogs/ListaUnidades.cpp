// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListaUnidades.h"

#include "DibujoElemento.h"
#include "Rutas.h"

#include <QApplication>
#include <QFile>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace {

// Kernel and service file systems nobody keeps files on. An overlay is a container's root:
// it is shown as "/" and nowhere else.
const std::set<QByteArray> sistemasOcultos = {
    "autofs",     "binfmt_misc", "bpf",       "cgroup",   "cgroup2", "configfs",
    "debugfs",    "devpts",      "devtmpfs",  "efivarfs", "fusectl", "hugetlbfs",
    "mqueue",     "nsfs",        "overlay",   "proc",     "pstore",  "rootfs",
    "rpc_pipefs", "securityfs",  "selinuxfs", "squashfs", "sysfs",   "tracefs"};

const std::set<QByteArray> sistemasRed = {
    "nfs",         "nfs4",           "cifs",      "smb3",      "smbfs",      "ncpfs",
    "afs",         "ceph",           "9p",        "davfs",     "fuse.sshfs", "sshfs",
    "fuse.rclone", "fuse.glusterfs", "glusterfs", "fuse.s3fs", "lustre"};

// Trees of the system itself; removable media under /run/media are the exception.
bool EsRutaSistema(const QByteArray& raiz) {
    for (const char* r : {"/proc", "/sys", "/dev", "/run", "/var/run", "/var/lock"})
        if (EstaBajo(raiz, r)) return !EstaBajo(raiz, "/run/media");
    return false;
}

// The mount table writes blanks, tabs, newlines and backslashes as \ooo.
QByteArray QuitarEscapes(const QByteArray& campo) {
    QByteArray r;
    for (qsizetype i = 0; i < campo.size(); ++i) {
        const auto esOctal = [&](qsizetype k) {
            return k < campo.size() && campo[k] >= '0' && campo[k] <= '7';
        };
        if (campo[i] == '\\' && esOctal(i + 1) && esOctal(i + 2) && esOctal(i + 3)) {
            r += char(((campo[i + 1] - '0') << 6) | ((campo[i + 2] - '0') << 3) |
                      (campo[i + 3] - '0'));
            i += 3;
        } else {
            r += campo[i];
        }
    }
    return r;
}

TTipoUnidad TipoDe(const QByteArray& sistema, const QByteArray& raiz) {
    if (sistemasRed.count(sistema)) return TTipoUnidad::Red;
    if (sistema == "iso9660" || sistema == "udf") return TTipoUnidad::CdRom;
    if (sistema == "tmpfs" || sistema == "ramfs") return TTipoUnidad::Ram;
    if (EstaBajo(raiz, "/media") || EstaBajo(raiz, "/run/media")) return TTipoUnidad::Extraible;
    return TTipoUnidad::Fija;
}

QByteArray RutaReal(const QByteArray& ruta) {
    std::unique_ptr<char, decltype(&std::free)> r(realpath(ruta.constData(), nullptr), &std::free);
    return r ? QByteArray(r.get()) : QByteArray();
}

// udev writes the label links' unsafe characters as \xHH.
QString NombreEtiqueta(const QByteArray& enlace) {
    QByteArray r;
    for (qsizetype i = 0; i < enlace.size(); ++i) {
        bool ok = false;
        const int v = enlace.mid(i + 2, 2).toInt(&ok, 16);
        if (enlace[i] == '\\' && i + 3 < enlace.size() && enlace[i + 1] == 'x' && ok) {
            r += char(v);
            i += 3;
        } else {
            r += enlace[i];
        }
    }
    return QString::fromUtf8(r);
}

// Labels of the block devices, by the device's real path. Reading these links touches /dev
// only, never a mounted volume.
std::vector<std::pair<QByteArray, QString>> EtiquetasDispositivos() {
    std::vector<std::pair<QByteArray, QString>> r;
    const QByteArray carpeta = "/dev/disk/by-label/";
    DIR* d = opendir(carpeta.constData());
    if (!d) return r;
    while (const dirent* e = readdir(d)) {
        const QByteArray nombre(e->d_name);
        if (nombre.startsWith('.')) continue;
        const QByteArray dispositivo = RutaReal(carpeta + nombre);
        if (!dispositivo.isEmpty()) r.emplace_back(dispositivo, NombreEtiqueta(nombre));
    }
    closedir(d);
    return r;
}

} // namespace

std::vector<TUnidad> UnidadesDeTabla(const QByteArray& tabla) {
    TUnidad raiz{"/", TTipoUnidad::Fija, {}, {}};
    std::vector<TUnidad> otras;
    for (const QByteArray& linea : tabla.split('\n')) {
        const QList<QByteArray> campos = linea.simplified().split(' ');
        if (campos.size() < 3) continue;
        const QByteArray dispositivo = QuitarEscapes(campos[0]);
        const QByteArray punto = QuitarEscapes(campos[1]);
        const QByteArray& sistema = campos[2];
        if (!punto.startsWith('/')) continue;
        if (punto == "/") {
            // "/" is listed whatever is mounted there; a later mount hides an earlier one.
            raiz.Tipo = sistemasOcultos.count(sistema) ? TTipoUnidad::Fija : TipoDe(sistema, punto);
            raiz.Dispositivo = dispositivo;
            continue;
        }
        if (sistemasOcultos.count(sistema) || EsRutaSistema(punto)) continue;
        std::erase_if(otras, [&](const TUnidad& u) { return u.Raiz == punto; });
        otras.push_back({punto, TipoDe(sistema, punto), {}, dispositivo});
    }
    std::sort(otras.begin(), otras.end(),
              [](const TUnidad& a, const TUnidad& b) { return a.Raiz < b.Raiz; });
    otras.insert(otras.begin(), raiz);
    return otras;
}

std::vector<TUnidad> LeerUnidades() {
    QFile f("/proc/self/mounts");
    // Without a mount table there is still the root.
    std::vector<TUnidad> unidades =
        UnidadesDeTabla(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    const auto etiquetas = EtiquetasDispositivos();

    std::vector<TUnidad> r;
    for (TUnidad& u : unidades) {
        if (u.Tipo != TTipoUnidad::Red) {
            // Bind mounts of single files (a container's /etc/hosts) are no roots.
            struct stat st {};
            if (stat(u.Raiz.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
            const QByteArray real =
                u.Dispositivo.startsWith('/') ? RutaReal(u.Dispositivo) : QByteArray();
            for (const auto& [disp, etiqueta] : etiquetas)
                if (!real.isEmpty() && disp == real) u.Etiqueta = etiqueta;
        }
        r.push_back(u);
    }
    return r;
}

QString TextoUnidad(const TUnidad& u) {
    const QString raiz = QFile::decodeName(u.Raiz);
    if (u.Tipo == TTipoUnidad::Extraible) return raiz;
    if (u.Tipo == TTipoUnidad::Red && !u.Dispositivo.isEmpty())
        return QString("%1 %2").arg(raiz, QFile::decodeName(u.Dispositivo).toLower());
    return QString("%1 [%2]").arg(raiz, u.Etiqueta.toLower());
}

QIcon IconoUnidad(TTipoUnidad tipo) {
    QStyle::StandardPixmap dibujo = QStyle::SP_DriveHDIcon;
    switch (tipo) {
    case TTipoUnidad::Extraible:
        dibujo = QStyle::SP_DriveFDIcon;
        break;
    case TTipoUnidad::Fija:
        dibujo = QStyle::SP_DriveHDIcon;
        break;
    case TTipoUnidad::Red:
        dibujo = QStyle::SP_DriveNetIcon;
        break;
    case TTipoUnidad::CdRom:
        dibujo = QStyle::SP_DriveCDIcon;
        break;
    case TTipoUnidad::Ram:
        dibujo = QStyle::SP_ComputerIcon;
        break;
    }
    return QApplication::style()->standardIcon(dibujo);
}

TDriveComboBox::TDriveComboBox(std::vector<TUnidad> lista, QWidget* parent)
    : QComboBox(parent), unidades(std::move(lista)) {
    setIconSize({16, 16});
    setItemDelegate(new TDibujoElemento(iconSize(), 0, this));
    const QByteArray inicio = DirectorioProceso();
    int actual = -1;
    for (size_t i = 0; i < unidades.size(); ++i) {
        addItem(IconoUnidad(unidades[i].Tipo), TextoUnidad(unidades[i]));
        // The deepest root holding the start directory is its drive.
        if (EstaBajo(inicio, unidades[i].Raiz) &&
            (actual < 0 || unidades[i].Raiz.size() > unidades[size_t(actual)].Raiz.size()))
            actual = int(i);
    }
    setCurrentIndex(actual);
    if (actual >= 0) unidad = unidades[size_t(actual)].Raiz;
    connect(this, &QComboBox::activated, this, &TDriveComboBox::Elegido);
}

void TDriveComboBox::Elegido(int indice) {
    if (indice < 0 || size_t(indice) >= unidades.size()) return;
    if (unidades[size_t(indice)].Raiz == unidad) return;
    unidad = unidades[size_t(indice)].Raiz;
    emit Cambio();
}
