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
    static const QColor otros[] = {{230, 130, 0}, {140, 60, 180}, {0, 150, 150},
                                   {140, 90, 40}, {200, 60, 140}, {120, 120, 0}};
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

// What the picture shows, and where: the runs, the filters in order of their first run, the
// model, and the ranges the axes cover.
struct Dibujo {
    const std::vector<TPuntoNoche>& puntos;
    const std::optional<TModeloFoco>& modelo;
    bool conT = false; // against the temperature; otherwise against the run's number
    std::vector<std::string> filtros;
    double xMin = HUGE_VAL, xMax = -HUGE_VAL, yMin = HUGE_VAL, yMax = -HUGE_VAL;

    Dibujo(const std::vector<TPuntoNoche>& p, const std::optional<TModeloFoco>& m)
        : puntos(p), modelo(m) {
        conT = std::any_of(p.begin(), p.end(),
                           [](const TPuntoNoche& n) { return n.Punto.Temperatura.has_value(); });
        // The axes cover the good runs: one whose minimum lies far beyond its frames would
        // squeeze them into a line. The others are drawn where they fall inside.
        const bool alguna =
            std::any_of(p.begin(), p.end(), [](const TPuntoNoche& n) { return n.Bien; });
        for (const TPuntoNoche& n : puntos) {
            if (std::find(filtros.begin(), filtros.end(), n.Punto.Filtro) == filtros.end())
                filtros.push_back(n.Punto.Filtro);
            if (!std::isfinite(X(n)) || (alguna && !n.Bien)) continue;
            xMin = std::min(xMin, X(n)), xMax = std::max(xMax, X(n));
            yMin = std::min(yMin, n.Punto.Mejor), yMax = std::max(yMax, n.Punto.Mejor);
        }
        if (xMax < xMin) xMin = 0, xMax = 1, yMin = 0, yMax = 1;
        if (xMax - xMin < 1) xMin -= 0.5, xMax += 0.5;
        if (yMax - yMin < 1) yMin -= 0.5, yMax += 0.5;
        const double mx = (xMax - xMin) * 0.06, my = (yMax - yMin) * 0.1;
        xMin -= mx, xMax += mx, yMin -= my, yMax += my;
    }

    // A run without a temperature cannot be placed among those with one: not a number.
    double X(const TPuntoNoche& n) const {
        return conT ? n.Punto.Temperatura.value_or(NAN) : static_cast<double>(n.Serie);
    }

    QColor Color(const std::string& filtro) const {
        return ColorFiltro(filtro,
                           static_cast<size_t>(std::find(filtros.begin(), filtros.end(), filtro) -
                                               filtros.begin()));
    }

    void PintarGrafico(QPainter& p) const {
        TChart grafico; // built here, where Qt is up: the chart is a widget
        grafico.resize(Ancho, Alto);
        grafico.MarginTop = 4, grafico.MarginBottom = 6, grafico.MarginRight = 4;
        grafico.BackWall.Brush.Color = clWhite;
        // No thousands groups: beside a decimal comma they read as decimals.
        for (TCustomChartAxis* eje : {&grafico.LeftAxis, &grafico.BottomAxis}) {
            eje->AxisValuesFormat = "0.##";
            eje->SetAutomatic(false);
        }
        grafico.BottomAxis.SetMaximum(xMax);
        grafico.BottomAxis.SetMinimum(xMin);
        grafico.LeftAxis.SetMaximum(yMax);
        grafico.LeftAxis.SetMinimum(yMin);
        grafico.render(&p);
        const TDibujoGrafico d = Disposicion(grafico, Ancho, Alto);
        const auto punto = [&](double x, double y) {
            return QPointF(grafico.BottomAxis.CalcPosValor(x), grafico.LeftAxis.CalcPosValor(y));
        };
        p.save();
        p.setClipRect(QRect(QPoint(d.Area.Left, d.Area.Top), QPoint(d.Area.Right, d.Area.Bottom)));
        for (const TFiltroModelo& f : modelo ? modelo->Filtros : std::vector<TFiltroModelo>{}) {
            const double k = modelo->PasosPorGrado.value_or(0);
            p.setPen(QPen(Color(f.Filtro), 2));
            p.drawLine(punto(xMin, f.Ordenada + k * xMin), punto(xMax, f.Ordenada + k * xMax));
        }
        for (const TPuntoNoche& n : puntos) {
            if (!std::isfinite(X(n))) continue;
            const QColor c = Color(n.Punto.Filtro);
            p.setPen(QPen(c, 1.5));
            p.setBrush(n.Bien ? QBrush(c) : Qt::NoBrush); // a ring: left out of the model
            p.drawEllipse(punto(X(n), n.Punto.Mejor), n.Bien ? 4 : 5, n.Bien ? 4 : 5);
        }
        p.restore();
        p.setFont(Letra(12));
        p.setPen(Qt::black);
        p.drawText(QRect(d.Area.Left, Alto, d.Area.Right - d.Area.Left, Pie), Qt::AlignCenter,
                   QString::fromUtf8(conT ? "temperatura del enfocador (°C)" : "serie"));
    }

    // Each filter with its offset, then the slope and the fit's R².
    void PintarLeyenda(QPainter& p) const {
        int y = 6;
        const auto renglon = [&](const std::string& texto, const QColor& c, int alto) {
            p.setFont(Letra(alto));
            p.setPen(c);
            p.drawText(QRect(Ancho + 10, y, AnchoLeyenda - 14, alto + 6),
                       Qt::AlignLeft | Qt::AlignVCenter, Texto(texto));
            y += alto + 6;
        };
        for (const std::string& f : filtros) {
            std::string texto = f.empty() ? "(sin filtro)" : f;
            for (const TFiltroModelo& m : modelo ? modelo->Filtros : std::vector<TFiltroModelo>{})
                if (m.Filtro == f)
                    texto +=
                        (m.Desplazamiento < 0 ? "   " : "   +") + Numero(m.Desplazamiento, "0.0");
            renglon(texto, Color(f), 14);
        }
        y += 8;
        if (modelo && modelo->PasosPorGrado)
            renglon(Numero(*modelo->PasosPorGrado, "0.00") + " pasos por grado", Qt::black, 13);
        renglon(modelo ? "R² " + Numero(modelo->R2, "0.000") : "sin modelo", Qt::black, 13);
        if (std::any_of(puntos.begin(), puntos.end(), [](const TPuntoNoche& n) { return !n.Bien; }))
            renglon("○ fuera del modelo", Qt::black, 12);
    }
};

} // namespace

void DibujarNoche(const std::string& fichero, const std::vector<TPuntoNoche>& puntos,
                  const std::optional<TModeloFoco>& modelo, char decimal) {
    // The module has its own copy of the separators: the program's choice comes as decimal.
    SeparadoresUsuario.decimal = decimal;
    const Dibujo d(puntos, modelo);
    GuardarDibujo(fichero, Ancho + AnchoLeyenda, Arriba + Alto + Pie, [&](QPainter& p) {
        p.setFont(Letra(15));
        p.setPen(Qt::black);
        p.drawText(QRect(10, 4, Ancho, Arriba - 8), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8(d.conT ? "Mejor posición según la temperatura del enfocador"
                                            : "Mejor posición de cada serie"));
        d.PintarLeyenda(p);
        p.translate(0, Arriba);
        d.PintarGrafico(p);
    });
}
