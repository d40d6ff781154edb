// SPDX-License-Identifier: GPL-3.0-or-later
#include "DibujoAnalisis.h"

#include "Ficheros.h"
#include "Grafico.h"
#include "Numeros.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

const QColor Rojo(255, 0, 0), Verde(0, 128, 0), Gris(128, 128, 128);

// The tool has no window: Qt draws off screen whatever display the user has.
std::unique_ptr<QApplication> AbrirQt() {
    if (QCoreApplication::instance()) return nullptr;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes on the session it runs in are no concern of a picture; a picture that
    // cannot be written is reported by the writer.
    qInstallMessageHandler([](QtMsgType tipo, const QMessageLogContext&, const QString& texto) {
        if (tipo == QtCriticalMsg || tipo == QtFatalMsg)
            std::fprintf(stderr, "quorvel-medir: %s\n", texto.toLocal8Bit().constData());
    });
    static int argc = 1;
    static char nombre[] = "quorvel-medir";
    static char* argv[] = {nombre, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

// The window's label font, "Comic Sans MS" with its fallback.
QFont Letra(int alto) {
    QFont letra;
    letra.setFamilies({"Comic Sans MS", "Comic Neue"});
    letra.setPixelSize(alto);
    return letra;
}

QFont LetraGrafico() {
    QFont letra;
    letra.setPixelSize(11);
    return letra;
}

QString Texto(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Numero(double v, const char* formato) {
    return FormatearNumero(v, formato, SeparadoresUsuario.decimal);
}

// Paints a picture of that size, on the window's background, into the file as PNG or SVG.
void Guardar(const std::string& fichero, int ancho, int alto,
             const std::function<void(QPainter&)>& pintar) {
    const auto qt = AbrirQt();
    const auto conFondo = [&](QPainter& p) {
        p.fillRect(QRect(0, 0, ancho, alto), QApplication::palette().color(QPalette::Window));
        pintar(p);
    };
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (TerminaEn(fichero, ".svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(ancho, alto));
        svg.setViewBox(QRect(0, 0, ancho, alto));
        svg.setTitle("Quorvel");
        QPainter p(&svg);
        conFondo(p);
    } else {
        QImage imagen(ancho, alto, QImage::Format_RGB32);
        {
            QPainter p(&imagen);
            p.setRenderHint(QPainter::Antialiasing);
            conFondo(p);
        }
        if (!imagen.save(&buffer, "PNG"))
            throw std::runtime_error("No se puede dibujar " + fichero);
    }
    // Drawn in memory and written whole: a failed write keeps the old picture.
    EscribirEntero(fichero, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

constexpr int AnchoGrafico = 560, AltoGrafico = 240, AnchoEtiquetas = 190;

void PintarFigura(QPainter& p, const TFiguraCurva& f, bool conPosicion) {
    const TAjusteCurva& a = f.Ajuste;
    TChart grafico;
    grafico.resize(AnchoGrafico, AltoGrafico);
    grafico.MarginTop = 6;
    grafico.MarginBottom = 6;
    grafico.MarginRight = 4;
    grafico.BackWall.Brush.Color = clWhite;
    grafico.LeftAxis.AxisValuesFormat = "#,##0.0";
    grafico.BottomAxis.AxisValuesFormat = "#,##0.###";
    // The window's two series: red the measured values, green the curve through them.
    for (const auto& [color, ancho] : {std::pair{clRed, 1}, std::pair{clGreen, 2}}) {
        TFastLineSeries& s = grafico.AddSeries();
        s.SetSeriesColor(color);
        s.SetLinePenWidth(ancho);
    }
    double xMin = HUGE_VAL, xMax = -HUGE_VAL, yMax = 0;
    for (size_t i = 0; i < f.X.size(); ++i) {
        if (!std::isfinite(f.Y[i])) continue;
        grafico.Series(0).AddXY(f.X[i], f.Y[i], clRed);
        xMin = std::min(xMin, f.X[i]);
        xMax = std::max(xMax, f.X[i]);
        yMax = std::max(yMax, f.Y[i]);
    }
    if (xMax < xMin) xMin = 0, xMax = 1;
    if (xMax == xMin) xMin -= 1, xMax += 1;
    if (a.Ajustado)
        for (int k = 0; k <= 200; ++k) {
            const double x = xMin + (xMax - xMin) * k / 200;
            grafico.Series(1).AddXY(x, Hiperbola(x, a.A, a.B, a.P), clGreen);
        }
    const double margen = (xMax - xMin) * 0.04;
    grafico.BottomAxis.SetAutomatic(false);
    grafico.BottomAxis.SetMaximum(xMax + margen);
    grafico.BottomAxis.SetMinimum(xMin - margen);
    grafico.LeftAxis.SetAutomatic(false);
    grafico.LeftAxis.SetMaximum(std::max(yMax, 1.0) * 1.12);
    grafico.LeftAxis.SetMinimum(0);
    grafico.render(&p);

    // The same layout as the widget painted, for the marks over it.
    const QFontMetrics metricas(grafico.font());
    const TDibujoGrafico d = grafico.Componer(AnchoGrafico, AltoGrafico, [&](const std::string& s) {
        return TMedidaTexto{metricas.horizontalAdvance(Texto(s)), metricas.height()};
    });
    const auto punto = [&](double x, double y) {
        return QPointF(grafico.BottomAxis.CalcPosValor(x), grafico.LeftAxis.CalcPosValor(y));
    };
    p.save();
    p.setClipRect(QRect(QPoint(d.Area.Left, d.Area.Top), QPoint(d.Area.Right, d.Area.Bottom)));
    for (size_t i = 0; i < f.X.size(); ++i) {
        if (!std::isfinite(f.Y[i])) continue;
        if (a.Usados[i]) {
            p.setPen(Rojo);
            p.setBrush(Rojo);
            p.drawEllipse(punto(f.X[i], f.Y[i]), 3, 3);
        } else { // rejected: a ring
            p.setPen(QPen(Gris, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(punto(f.X[i], f.Y[i]), 5, 5);
        }
    }
    if (a.Ajustado) {
        const QPointF fondo = punto(a.P, a.A);
        p.setPen(QPen(Verde, 1, Qt::DashLine));
        p.drawLine(QPointF(fondo.x(), d.Area.Top), QPointF(fondo.x(), d.Area.Bottom));
        p.setPen(Verde);
        p.setBrush(Verde);
        p.drawEllipse(fondo, 4.5, 4.5);
        p.setFont(LetraGrafico());
        const QString texto = Texto(Numero(a.P, "0.00"));
        const int ancho = p.fontMetrics().horizontalAdvance(texto) + 6;
        // Beside the line, on the side with room.
        const double x =
            fondo.x() + 4 + ancho < d.Area.Right ? fondo.x() + 4 : fondo.x() - 4 - ancho;
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        const QRectF caja(x, d.Area.Top + 3, ancho, p.fontMetrics().height() + 2);
        p.drawRect(caja);
        p.drawText(caja, Qt::AlignCenter, texto);
    }
    p.restore();

    // The readouts beside the chart, as the window shows them.
    int y = 8;
    const auto linea = [&](const QString& texto, int alto, const QColor& color) {
        p.setFont(Letra(alto));
        p.setPen(color);
        p.drawText(QRect(AnchoGrafico + 10, y, AnchoEtiquetas - 12, alto + 8),
                   Qt::AlignLeft | Qt::AlignVCenter, texto);
        y += alto + 8;
    };
    linea(Texto(f.Nombre), 16, Qt::black);
    linea(QString::fromUtf8(conPosicion ? "mejor posición" : "mejor foto"), 12, Qt::black);
    linea(a.Ajustado ? Texto(Numero(a.P, "0.00")) : "-", 21, Rojo);
    linea(QString::fromUtf8("mínimo"), 12, Qt::black);
    linea(a.Ajustado ? Texto(Numero(a.A, "0.00")) : "-", 21, Verde);
    linea(a.Ajustado ? Texto("R² " + Numero(a.R2, "0.000")) : QString(), 12, Qt::black);
    linea(Texto(TextoEstado(a.Estado)), 12, a.Bien() ? Verde : Rojo);
}

} // namespace

void GuardarDibujo(const std::string& fichero, int ancho, int alto,
                   const std::function<void(QPainter&)>& pintar) {
    Guardar(fichero, ancho, alto, pintar);
}

bool TerminaEn(const std::string& texto, const std::string& final) {
    if (texto.size() < final.size()) return false;
    for (size_t k = 0; k < final.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(texto[texto.size() - final.size() + k])) !=
            final[k])
            return false;
    return true;
}

void DibujarCurva(const std::string& fichero, const std::vector<TFiguraCurva>& figuras,
                  bool conPosicion) {
    const int ancho = AnchoGrafico + AnchoEtiquetas,
              alto = AltoGrafico * static_cast<int>(figuras.size());
    Guardar(fichero, ancho, alto, [&](QPainter& p) {
        for (const TFiguraCurva& f : figuras) {
            PintarFigura(p, f, conPosicion);
            p.translate(0, AltoGrafico);
        }
    });
}

void DibujarInclinacion(const std::string& fichero, const std::string& titulo,
                        const TInclinacion& t, const std::vector<TEstrellaCampo>& estrellas,
                        int anchoFoto, int altoFoto) {
    // The frame scaled to fit 600 x 440, NAXIS2 upwards as FITS frames are shown.
    const double escala = std::min(600.0 / anchoFoto, 440.0 / altoFoto);
    const double w = anchoFoto * escala, h = altoFoto * escala;
    const int izquierda = 40, arriba = 70;
    const int ancho = static_cast<int>(w) + izquierda + 30,
              alto = static_cast<int>(h) + arriba + 40;
    const auto aPixel = [&](double x, double y) {
        return QPointF(izquierda + (x + 0.5) * escala, arriba + h - (y + 0.5) * escala);
    };
    double mejor = HUGE_VAL, peor = -HUGE_VAL;
    for (const auto& columna : t.Noveno)
        for (const auto& n : columna)
            if (n) mejor = std::min(mejor, *n), peor = std::max(peor, *n);

    Guardar(fichero, ancho, alto, [&](QPainter& p) {
        p.setFont(Letra(16));
        p.setPen(Qt::black);
        p.drawText(QRect(izquierda, 6, ancho - izquierda, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   Texto(titulo));
        std::string resumen =
            "HFD " + Numero(t.HFD, "0.00") + " px, " + std::to_string(t.Estrellas) + " estrellas";
        if (t.Inclinacion)
            resumen += "   inclinación " + Numero(*t.Inclinacion, "0.00") + " px (" +
                       Numero(*t.InclinacionPct, "0.0") + " %): " + t.Veredicto;
        if (t.Curvatura) resumen += "   curvatura " + Numero(*t.Curvatura, "0.00") + " px";
        p.setFont(Letra(12));
        p.drawText(QRect(izquierda, 34, ancho - izquierda, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   Texto(resumen));

        // The ninths: green the sharpest, red the softest; the stars over them, their texts
        // over both.
        const auto celda = [&](int i, int j) {
            return QRectF(izquierda + w * i / 3, arriba + h * (2 - j) / 3, w / 3, h / 3);
        };
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const auto& n = t.Noveno[i][j];
                QColor color(230, 230, 230);
                if (n) {
                    const double u = peor > mejor ? (*n - mejor) / (peor - mejor) : 0;
                    color = QColor::fromHsvF(static_cast<float>((1 - u) / 3), 0.45f, 1.0f);
                }
                p.fillRect(celda(i, j), color);
                p.setPen(QPen(Gris, 1));
                p.drawRect(celda(i, j));
            }
        // A circle per star, of radius 4 pixels for the median HFD.
        const double k = t.HFD > 0 ? 4 / t.HFD : 1;
        p.setPen(QPen(QColor(40, 40, 40, 170), 1));
        p.setBrush(Qt::NoBrush);
        for (const TEstrellaCampo& e : estrellas)
            p.drawEllipse(aPixel(e.X, e.Y), k * e.HFD, k * e.HFD);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const auto& n = t.Noveno[i][j];
                p.setFont(Letra(21));
                p.setPen(Qt::black);
                p.drawText(celda(i, j), Qt::AlignCenter, n ? Texto(Numero(*n, "0.00")) : "-");
                // The ninth's name, as its column is named: HFD_11 ... HFD_33.
                p.setFont(LetraGrafico());
                p.setPen(Gris);
                p.drawText(celda(i, j).adjusted(5, 3, -5, -3), Qt::AlignLeft | Qt::AlignTop,
                           QString("HFD_%1%2").arg(i + 1).arg(j + 1));
            }
        p.setPen(QPen(Qt::black, 2));
        p.drawRect(QRectF(izquierda, arriba, w, h));

        p.setFont(LetraGrafico());
        p.setPen(Qt::black);
        p.drawText(QRectF(izquierda, arriba + h + 4, w, 16), Qt::AlignRight | Qt::AlignTop,
                   QString::fromUtf8("NAXIS1 →"));
        p.drawText(QRectF(izquierda, arriba - 16, w, 16), Qt::AlignLeft | Qt::AlignBottom,
                   QString::fromUtf8("NAXIS2 ↑"));
    });
}
