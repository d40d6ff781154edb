// SPDX-License-Identifier: GPL-3.0-or-later
#include "DibujoNoche.h"

#include "DibujoAnalisis.h"
#include "Grafico.h"
#include "Numeros.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int Ancho = 560, Alto = 360, Arriba = 34, Pie = 26, AnchoLeyenda = 200;

// The usual filters in their own colours; others, in order of their first run, from the rest.
QColor ColorFiltro(const std::string& filtro, size_t orden) {
    const QString f = QString::fromUtf8(filtro.c_str()).toLower();
    if (f == "r" || f == "red" || f == "rojo") return {220, 30, 30};
    if (f == "g" || f == "green" || f == "verde") return {0, 140, 0};
    if (f == "b" || f == "blue" || f == "azul") return {0, 90, 200};
    if (f == "l" || f == "lum" || f == "luminance" || f == "c" || f == "clear") return {60, 60, 60};
    static const QColor otros[] = {{230, 130, 0}, {140, 60, 180}, {0, 150, 150}, {140, 90, 40},
                                   {200, 60, 140}, {120, 120, 0}};
    return otros[orden % std::size(otros)];
}

QString Texto(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Numero(double v, const char* formato) {
    return FormatearNumero(v, formato, SeparadoresUsuario.decimal);
}

QFont Letra(int alto) {
    QFont letra;
    letra.setPixelSize(alto);
    return letra;
}

} // namespace

void DibujarNoche(const std::string& fichero, const std::vector<TPuntoNoche>& puntos,
                  const std::optional<TModeloFoco>& modelo) {
    // Against the temperature when the runs give one; those that do not cannot be placed.
    const bool conT = std::any_of(puntos.begin(), puntos.end(),
                                  [](const TPuntoNoche& p) { return p.Punto.Temperatura.has_value(); });
    const auto x = [&](const TPuntoNoche& p) {
        return conT ? p.Punto.Temperatura.value_or(NAN) : static_cast<double>(p.Serie);
    };
    std::vector<std::string> filtros;
    double xMin = HUGE_VAL, xMax = -HUGE_VAL, yMin = HUGE_VAL, yMax = -HUGE_VAL;
    for (const TPuntoNoche& p : puntos) {
        if (std::find(filtros.begin(), filtros.end(), p.Punto.Filtro) == filtros.end())
            filtros.push_back(p.Punto.Filtro);
        if (!std::isfinite(x(p))) continue;
        xMin = std::min(xMin, x(p)), xMax = std::max(xMax, x(p));
        yMin = std::min(yMin, p.Punto.Mejor), yMax = std::max(yMax, p.Punto.Mejor);
    }
    if (xMax < xMin) xMin = 0, xMax = 1, yMin = 0, yMax = 1;
    if (xMax - xMin < 1) xMin -= 0.5, xMax += 0.5;
    if (yMax - yMin < 1) yMin -= 0.5, yMax += 0.5;
    const auto color = [&](const std::string& filtro) {
        const auto k = static_cast<size_t>(std::find(filtros.begin(), filtros.end(), filtro) -
                                           filtros.begin());
        return ColorFiltro(filtro, k);
    };
    const auto linea = [&](const TFiltroModelo& f, double t) {
        return f.Ordenada + (modelo->PasosPorGrado ? *modelo->PasosPorGrado * t : 0);
    };

    const double mx = (xMax - xMin) * 0.06, my = (yMax - yMin) * 0.1;
    GuardarDibujo(fichero, Ancho + AnchoLeyenda, Arriba + Alto + Pie, [&](QPainter& p) {
        p.setFont(Letra(15));
        p.setPen(Qt::black);
        p.drawText(QRect(10, 4, Ancho, Arriba - 8), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(conT ? "Mejor posición según la temperatura del enfocador"
                                          : "Mejor posición de cada serie"));
        // Built here, where Qt is up: the chart is a widget.
        TChart grafico;
        grafico.resize(Ancho, Alto);
        grafico.MarginTop = 4, grafico.MarginBottom = 6, grafico.MarginRight = 4;
        grafico.BackWall.Brush.Color = clWhite;
        grafico.LeftAxis.AxisValuesFormat = "#,##0.##";
        grafico.BottomAxis.AxisValuesFormat = "#,##0.##";
        grafico.BottomAxis.SetAutomatic(false);
        grafico.BottomAxis.SetMaximum(xMax + mx);
        grafico.BottomAxis.SetMinimum(xMin - mx);
        grafico.LeftAxis.SetAutomatic(false);
        grafico.LeftAxis.SetMaximum(yMax + my);
        grafico.LeftAxis.SetMinimum(yMin - my);
        p.translate(0, Arriba);
        grafico.render(&p);
        const QFontMetrics metricas(grafico.font());
        const TDibujoGrafico d = grafico.Componer(Ancho, Alto, [&](const std::string& s) {
            return TMedidaTexto{metricas.horizontalAdvance(Texto(s)), metricas.height()};
        });
        const auto punto = [&](double px, double py) {
            return QPointF(grafico.BottomAxis.CalcPosValor(px), grafico.LeftAxis.CalcPosValor(py));
        };
        p.save();
        p.setClipRect(QRect(QPoint(d.Area.Left, d.Area.Top), QPoint(d.Area.Right, d.Area.Bottom)));
        if (modelo)
            for (const TFiltroModelo& f : modelo->Filtros) {
                p.setPen(QPen(color(f.Filtro), 2));
                const double a = xMin - mx, b = xMax + mx;
                p.drawLine(punto(a, linea(f, a)), punto(b, linea(f, b)));
            }
        for (const TPuntoNoche& n : puntos) {
            if (!std::isfinite(x(n))) continue;
            const QColor c = color(n.Punto.Filtro);
            p.setPen(QPen(c, 1.5));
            p.setBrush(n.Bien ? QBrush(c) : Qt::NoBrush); // a ring: left out of the model
            p.drawEllipse(punto(x(n), n.Punto.Mejor), n.Bien ? 4 : 5, n.Bien ? 4 : 5);
        }
        p.restore();
        p.setFont(Letra(12));
        p.setPen(Qt::black);
        p.drawText(QRect(d.Area.Left, Alto, d.Area.Right - d.Area.Left, Pie),
                   Qt::AlignCenter,
                   QString::fromUtf8(conT ? "temperatura del enfocador (°C)" : "serie"));

        // The legend: each filter with its offset, then the slope and the fit's R².
        int y = 6;
        const auto renglon = [&](const QString& texto, const QColor& c, int alto) {
            p.setFont(Letra(alto));
            p.setPen(c);
            p.drawText(QRect(Ancho + 10, y, AnchoLeyenda - 14, alto + 6),
                       Qt::AlignLeft | Qt::AlignVCenter, texto);
            y += alto + 6;
        };
        for (const std::string& f : filtros) {
            std::string texto = f.empty() ? "(sin filtro)" : f;
            if (modelo)
                for (const TFiltroModelo& m : modelo->Filtros)
                    if (m.Filtro == f)
                        texto += (m.Desplazamiento < 0 ? "   " : "   +") +
                                 Numero(m.Desplazamiento, "0.0");
            renglon(Texto(texto), color(f), 14);
        }
        y += 8;
        if (modelo && modelo->PasosPorGrado)
            renglon(Texto(Numero(*modelo->PasosPorGrado, "0.00") + " pasos por grado"), Qt::black, 13);
        if (modelo) renglon(Texto("R² " + Numero(modelo->R2, "0.000")), Qt::black, 13);
        if (!modelo) renglon(QString::fromUtf8("sin modelo"), Qt::black, 13);
        if (std::any_of(puntos.begin(), puntos.end(), [](const TPuntoNoche& n) { return !n.Bien; }))
            renglon(QString::fromUtf8("○ fuera del modelo"), Qt::black, 12);
    });
}
