// SPDX-License-Identifier: GPL-3.0-or-later
#include "Grafico.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

namespace {

QColor Color(TColor c) {
    return QColor::fromRgb(0xFF000000u | c);
}

// The square cap draws a line's last pixel too.
QPen Lapiz(const TChartPen& p) {
    return QPen(Color(p.Color), p.Width, p.Dotted ? Qt::DotLine : Qt::SolidLine, Qt::SquareCap);
}

// Texts are byte strings, one Latin-1 character per byte.
QString Texto(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

void DibujarEje(QPainter& p, const TCustomChartAxis& eje, const TDibujoEje& d,
                const TRectangulo& a) {
    if (!d.Visible) return;
    const bool h = eje.Horizontal;
    // A tick, grid or minor tick across the axis at pixel pos, from c1 to c2 on the other
    // coordinate.
    auto linea = [&](int pos, int c1, int c2) {
        if (h)
            p.drawLine(pos, c1, pos, c2);
        else
            p.drawLine(c1, pos, c2, pos);
    };
    const int fuera = h ? 1 : -1; // outward from the plotting area

    p.setPen(Qt::black);
    for (const TEtiquetaEje& e : d.Etiquetas) {
        if (h)
            p.drawText(QRect(e.Pos - e.Ancho / 2, d.PosTexto, e.Ancho, d.AltoTexto),
                       Qt::AlignCenter, Texto(e.Texto));
        else
            p.drawText(QRect(d.PosTexto - e.Ancho, e.Pos - d.AltoTexto / 2, e.Ancho, d.AltoTexto),
                       Qt::AlignRight | Qt::AlignVCenter, Texto(e.Texto));
    }
    if (eje.AxisPen.Visible) {
        p.setPen(Lapiz(eje.AxisPen));
        if (h)
            p.drawLine(a.Left, d.PosLinea, a.Right, d.PosLinea);
        else
            p.drawLine(d.PosLinea, a.Top, d.PosLinea, a.Bottom);
    }
    const int base = d.PosLinea + fuera;
    if (eje.Ticks.Visible && eje.TickLength > 0) {
        p.setPen(Lapiz(eje.Ticks));
        for (const TEtiquetaEje& e : d.Etiquetas)
            linea(e.Pos, base, base + fuera * (eje.TickLength - 1));
    }
    if (eje.Grid.Visible) {
        p.setPen(Lapiz(eje.Grid));
        for (const TEtiquetaEje& e : d.Etiquetas)
            linea(e.Pos, h ? a.Top : a.Left, h ? a.Bottom : a.Right);
    }
    if (eje.TicksInner.Visible && eje.TickInnerLength > 0) {
        p.setPen(Lapiz(eje.TicksInner));
        const int dentro = h ? a.Bottom : a.Left;
        for (const TEtiquetaEje& e : d.Etiquetas)
            linea(e.Pos, dentro, dentro - fuera * (eje.TickInnerLength - 1));
    }
    if (eje.MinorTicks.Visible && eje.MinorTickLength > 0) {
        p.setPen(Lapiz(eje.MinorTicks));
        for (int pos : d.MarcasMenores) linea(pos, base, base + fuera * (eje.MinorTickLength - 1));
    }
}

} // namespace

TChart::TChart(QWidget* parent) : QWidget(parent) {
    QFont letra = font();
    letra.setPixelSize(11);
    setFont(letra);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));

    const QFontMetrics metricas(font());
    const TMedidorTexto medir = [&](const std::string& s) {
        return TMedidaTexto{metricas.horizontalAdvance(Texto(s)), metricas.height()};
    };
    TDibujoGrafico d;
    try {
        d = Componer(width(), height(), medir);
    } catch (const std::exception&) {
        return; // a state that cannot be laid out shows the bare panel
    }
    const TRectangulo& a = d.Area;
    const QRect area(QPoint(a.Left, a.Top), QPoint(a.Right, a.Bottom));
    if (!BackWall.Brush.Clear) p.fillRect(area, Color(BackWall.Brush.Color));
    if (BackWall.Pen.Visible) {
        p.setPen(Lapiz(BackWall.Pen));
        p.drawRect(area.adjusted(0, 0, -1, -1)); // an outline is one pixel wider than its rect
    }
    DibujarEje(p, LeftAxis, d.Izquierdo, a);
    DibujarEje(p, BottomAxis, d.Inferior, a);

    p.setClipRect(area);
    for (int32_t i = 0; i < SeriesCount(); ++i) {
        const std::vector<TPuntoPixel>& puntos = d.Lineas[static_cast<size_t>(i)];
        if (puntos.size() < 2) continue; // a lone point is only moved to
        p.setPen(Lapiz(Series(i).LinePen()));
        // Separate segments: a wide pen strokes a long zigzag polyline as one self-overlapping
        // outline, which grows costly with a long noisy run; segment by segment it stays cheap.
        QVector<QLine> segmentos;
        segmentos.reserve(static_cast<qsizetype>(puntos.size()) - 1);
        for (size_t k = 1; k < puntos.size(); ++k)
            segmentos.append(QLine(puntos[k - 1].X, puntos[k - 1].Y, puntos[k].X, puntos[k].Y));
        p.drawLines(segmentos);
    }
}
