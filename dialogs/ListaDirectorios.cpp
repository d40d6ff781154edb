// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListaDirectorios.h"

#include "DibujoElemento.h"
#include "Errores.h"
#include "Rutas.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {

QByteArray Unir(const QByteArray& carpeta, const QByteArray& nombre) {
    return carpeta.endsWith('/') ? carpeta + nombre : carpeta + "/" + nombre;
}

bool EsDirectorio(DIR* d, const dirent* e) {
    if (e->d_type == DT_DIR) return true;
    if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return false;
    struct stat st {};
    return fstatat(dirfd(d), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// Visible subdirectories of `ruta`, raw names; errno of the failure when it cannot be read.
std::vector<QByteArray> Subdirectorios(const QByteArray& ruta, int& error) {
    std::vector<QByteArray> r;
    error = 0;
    DIR* d = opendir(ruta.constData());
    if (!d) {
        error = errno;
        return r;
    }
    while (const dirent* e = readdir(d)) {
        // Also leaves out "." and "..".
        if (e->d_name[0] == '.') continue;
        if (EsDirectorio(d, e)) r.emplace_back(e->d_name);
    }
    closedir(d);
    return r;
}

QIcon Icono(QStyle::StandardPixmap dibujo) {
    return QApplication::style()->standardIcon(dibujo);
}

// The style has no picture of its own for "the folder you are in": its open folder with a
// small pointer in the corner.
QIcon IconoActual() {
    QPixmap p = Icono(QStyle::SP_DirOpenIcon).pixmap(16, 16);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(QApplication::palette().windowText());
    g.drawPolygon(QPolygonF{{9, 8}, {15, 11.5}, {9, 15}});
    return QIcon(p);
}

} // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent)
    : QListWidget(parent), directorio(DirectorioProceso()) {
    setIconSize({16, 16});
    setItemDelegate(new TDibujoElemento(iconSize(), 16, this));
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, &TDirectoryListBox::Abrir);
    Construir();
}

QString TDirectoryListBox::Directorio() const {
    return QFile::decodeName(directorio);
}

void TDirectoryListBox::PonerDirectorio(const QByteArray& ruta) {
    const QByteArray nueva = SinSeparadorFinal(ruta);
    if (nueva.isEmpty() || nueva == directorio) return;
    directorio = nueva;
    Construir();
    emit Cambio();
}

void TDirectoryListBox::PonerUnidad(const QByteArray& raiz) {
    if (raiz.isEmpty() || raiz == unidad) return;
    if (unidad.isEmpty() && EstaBajo(directorio, raiz)) {
        unidad = raiz;
        return;
    }
    if (!unidad.isEmpty()) ultimos[unidad] = directorio;
    unidad = raiz;
    const auto u = ultimos.find(raiz);
    PonerDirectorio(u != ultimos.end() ? u->second : raiz);
}

void TDirectoryListBox::Abrir(QListWidgetItem* item) {
    if (item) PonerDirectorio(item->data(RolRuta).toByteArray());
}

void TDirectoryListBox::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        Abrir(currentItem());
        e->accept();
        return;
    }
    QListWidget::keyPressEvent(e);
}

void TDirectoryListBox::showEvent(QShowEvent* e) {
    // Folders may have come or gone while the dialog was hidden.
    Construir();
    QListWidget::showEvent(e);
}

void TDirectoryListBox::Construir() {
    clear();
    const auto agregar = [this](const QString& texto, const QIcon& icono, int sangria,
                                const QByteArray& ruta) {
        auto* item = new QListWidgetItem(icono, texto, this);
        item->setData(RolSangria, sangria);
        item->setData(RolRuta, ruta);
        return item;
    };

    // The levels from the root down; the last one is the current directory.
    const QList<QByteArray> partes = directorio.split('/');
    QByteArray ruta = "/";
    QListWidgetItem* actual = agregar("/", Icono(QStyle::SP_DirOpenIcon), 0, ruta);
    int nivel = 0;
    for (const QByteArray& parte : partes) {
        if (parte.isEmpty()) continue;
        ruta = Unir(ruta, parte);
        actual =
            agregar(QFile::decodeName(parte), Icono(QStyle::SP_DirOpenIcon), 4 * ++nivel, ruta);
    }
    actual->setIcon(IconoActual());
    setCurrentItem(actual);

    int error = 0;
    std::vector<QByteArray> nombres = Subdirectorios(directorio, error);
    estado = error ? QString("No se puede leer la carpeta: %1")
                         .arg(QString::fromStdString(DescripcionError(error)))
                   : QString();
    setToolTip(estado);

    std::vector<std::pair<QString, QByteArray>> subdirectorios;
    for (const QByteArray& n : nombres) subdirectorios.emplace_back(QFile::decodeName(n), n);
    std::sort(subdirectorios.begin(), subdirectorios.end(), [](const auto& a, const auto& b) {
        const int c = a.first.compare(b.first, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.second < b.second;
    });
    // The pictures of the subdirectories sit at 4 * (separators in the path) + 6.
    const int sangria = 4 * int(directorio.count('/')) + 4;
    for (const auto& [texto, nombre] : subdirectorios)
        agregar(texto, Icono(QStyle::SP_DirClosedIcon), sangria, Unir(directorio, nombre));
}
