// SPDX-License-Identifier: GPL-3.0-or-later
#include "DibujoElemento.h"

#include <QIcon>
#include <QPainter>
#include <algorithm>

void TDibujoElemento::paint(QPainter* p, const QStyleOptionViewItem& opcion,
                            const QModelIndex& indice) const {
    const QRect r = opcion.rect;
    const bool elegido = opcion.state & QStyle::State_Selected;
    const QPalette& pal = opcion.palette;
    p->save();
    p->fillRect(r, elegido ? pal.highlight() : pal.base());

    const int x = r.left() + indice.data(RolSangria).toInt() + 2;
    const QIcon dibujo = indice.data(Qt::DecorationRole).value<QIcon>();
    dibujo.paint(p, QRect(QPoint(x, r.top() + (r.height() - icono.height()) / 2), icono));

    const QRect texto(x + icono.width() + 4, r.top(), r.right() - x - icono.width() - 4,
                      r.height());
    p->setFont(opcion.font);
    p->setPen(elegido ? pal.highlightedText().color() : pal.text().color());
    p->drawText(texto, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                indice.data(Qt::DisplayRole).toString());
    p->restore();
}

QSize TDibujoElemento::sizeHint(const QStyleOptionViewItem& opcion,
                                const QModelIndex& indice) const {
    const QString texto = indice.data(Qt::DisplayRole).toString();
    const QFontMetrics fm(opcion.font);
    const int ancho =
        indice.data(RolSangria).toInt() + 2 + icono.width() + 4 + fm.horizontalAdvance(texto) + 2;
    return {ancho, alto > 0 ? alto : std::max(fm.height(), icono.height())};
}
