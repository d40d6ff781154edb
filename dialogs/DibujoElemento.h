// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Item painting of the drive and directory lists: the picture 2 pixels right of the item's
// indentation and centred vertically, the text 4 pixels right of the picture.
#include <QStyledItemDelegate>

// Data role holding an item's indentation in pixels (int; none means 0).
inline constexpr int RolSangria = Qt::UserRole + 1;

class TDibujoElemento : public QStyledItemDelegate {
public:
    // alto 0: the larger of the text height and the picture height.
    explicit TDibujoElemento(QSize icono, int alto, QObject* parent)
        : QStyledItemDelegate(parent), icono(icono), alto(alto) {}

    void paint(QPainter* p, const QStyleOptionViewItem& opcion,
               const QModelIndex& indice) const override;
    QSize sizeHint(const QStyleOptionViewItem& opcion, const QModelIndex& indice) const override;

private:
    QSize icono;
    int alto;
};
