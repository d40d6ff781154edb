// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The directory list of the folder dialog: the levels of the current directory from the root
// down, then its subdirectories. Paths are kept as the system's raw bytes, so a folder whose
// name is not valid UTF-8 is still opened by its real name; only the shown texts are decoded.
#include <QByteArray>
#include <QListWidget>
#include <QString>
#include <map>

class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    // Role of the raw full path an item opens (QByteArray).
    static constexpr int RolRuta = Qt::UserRole + 2;

    // Starts in the process's current directory.
    explicit TDirectoryListBox(QWidget* parent = nullptr);

    // "/" for the root, any other folder without a trailing "/"; decoded for display.
    QString Directorio() const;
    QByteArray DirectorioBytes() const { return directorio; }
    // Moves to `ruta` (raw bytes); reports `Cambio` when it differs from the current one.
    void PonerDirectorio(const QByteArray& ruta);

    QByteArray Unidad() const { return unidad; }
    // Moves to the last directory used under root `raiz`, or to the root itself. The first
    // root given is taken as the start directory's own when it holds it.
    void PonerUnidad(const QByteArray& raiz);

    // Why the current directory's subdirectories are not shown; empty when it could be read.
    QString Estado() const { return estado; }

    // Opens an item as a double click or Enter on it does.
    void Abrir(QListWidgetItem* item);

signals:
    void Cambio();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void Construir();

    QByteArray directorio;
    QByteArray unidad;
    std::map<QByteArray, QByteArray> ultimos; // root -> last directory used under it
    QString estado;
};
