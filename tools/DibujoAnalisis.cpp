// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures' module, opened by quorvel-medir when a picture is asked for.
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
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

const QColor Rojo(255, 0, 0), Verde(0, 128, 0), Gris(128, 128, 128);
constexpr int MargenTitulo = 16; // room for an axis' title

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

// The module holds its own copy of the separators. The axes write no thousands groups, which
// beside a decimal comma read as decimals.
void Separadores(char decimal) {
    SeparadoresUsuario.decimal = decimal;
}

// Both axes' titles beside a chart drawn at (izquierda, 0) of that size.
void TitulosEjes(QPainter& p, int izquierda, int ancho, int alto, const std::string& x,
                 const std::string& y) {
    p.save();
    p.setFont(LetraGrafico());
    p.setPen(Qt::black);
    p.drawText(QRect(izquierda, alto, ancho, MargenTitulo), Qt::AlignCenter, Texto(x));
    p.translate(0, alto);
    p.rotate(-90);
    p.drawText(QRect(0, 0, alto, MargenTitulo), Qt::AlignCenter, Texto(y));
    p.restore();
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

// The best position as the readout names it: without positions, a place between two frames is
// no frame.
std::string TextoMejor(double p, const TSerieFoco& serie) {
    const std::string formato = "0." + std::string(static_cast<size_t>(serie.Decimales) + 2, '0');
    if (serie.ConPosicion || std::fabs(p - std::nearbyint(p)) < 0.05)
        return Numero(p, formato.c_str());
    const double antes = std::floor(p);
    return "entre " + Numero(antes, "0") + " y " + Numero(antes + 1, "0") + " (" +
           Numero(p, "0.00") + ")";
}

// One figure's chart over positions xMin to xMax (the same for every figure), its axes' titles
// and the readouts beside it.
void PintarFigura(QPainter& p, const TFiguraCurva& f, const TSerieFoco& serie, double xMin,
                  double xMax) {
    const TAjusteCurva& a = f.Ajuste;
    const int ancho = AnchoGrafico - MargenTitulo, alto = AltoGrafico - MargenTitulo;
    TChart grafico;
    grafico.resize(ancho, alto);
    grafico.MarginTop = 6;
    grafico.MarginBottom = 3;
    grafico.MarginRight = 4;
    grafico.BackWall.Brush.Color = clWhite;
    grafico.LeftAxis.AxisValuesFormat = "0.0";
    grafico.BottomAxis.AxisValuesFormat = "0.###";
    // The window's two series: red the measured values, green the curve through them.
    for (const auto& [color, grosor] : {std::pair{clRed, 1}, std::pair{clGreen, 2}}) {
        TFastLineSeries& s = grafico.AddSeries();
        s.SetSeriesColor(color);
        s.SetLinePenWidth(grosor);
    }
    // Joined in position order, whatever order the files came in.
    std::vector<size_t> orden;
    double yMax = 0;
    for (size_t i = 0; i < f.X.size(); ++i)
        if (std::isfinite(f.Y[i])) orden.push_back(i), yMax = std::max(yMax, f.Y[i]);
    std::stable_sort(orden.begin(), orden.end(), [&](size_t i, size_t j) { return f.X[i] < f.X[j]; });
    for (size_t i : orden) grafico.Series(0).AddXY(f.X[i], f.Y[i], clRed);
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
    TitulosEjes(p, MargenTitulo, ancho, alto,
                serie.ConPosicion ? "posición del enfocador" : "foto, en el orden dado",
                f.Nombre + " (píxeles)");
    p.save();
    p.translate(MargenTitulo, 0);
    grafico.render(&p);

    // The same layout as the widget painted, for the marks over it.
    const TDibujoGrafico d = Disposicion(grafico, ancho, alto);
    const auto punto = [&](double x, double y) {
        return QPointF(grafico.BottomAxis.CalcPosValor(x), grafico.LeftAxis.CalcPosValor(y));
    };
    p.setClipRect(QRect(QPoint(d.Area.Left, d.Area.Top), QPoint(d.Area.Right, d.Area.Bottom)));
    for (size_t i : orden) {
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
    // An untrusted curve's minimum is no best position: it is not marked.
    if (a.Bien()) {
        const QPointF fondo = punto(a.P, a.A);
        p.setPen(QPen(Verde, 1, Qt::DashLine));
        p.drawLine(QPointF(fondo.x(), d.Area.Top), QPointF(fondo.x(), d.Area.Bottom));
        p.setPen(Verde);
        p.setBrush(Verde);
        p.drawEllipse(fondo, 4.5, 4.5);
        p.setFont(LetraGrafico());
        const QString texto = Texto(TextoMejor(a.P, serie));
        const int anchoTexto = p.fontMetrics().horizontalAdvance(texto) + 6;
        // Beside the line, on the side with room.
        const double x = fondo.x() + 4 + anchoTexto < d.Area.Right ? fondo.x() + 4
                                                                  : fondo.x() - 4 - anchoTexto;
        p.setPen(Qt::black);
        p.setBrush(Qt::white);
        const QRectF caja(x, d.Area.Top + 3, anchoTexto, p.fontMetrics().height() + 2);
        p.drawRect(caja);
        p.drawText(caja, Qt::AlignCenter, texto);
    }
    p.restore();

    // The readouts beside the chart, as the window shows them.
    int y = 8;
    const auto linea = [&](const QString& texto, int altoLetra, const QColor& color) {
        p.setFont(Letra(altoLetra));
        p.setPen(color);
        p.drawText(QRect(AnchoGrafico + 10, y, AnchoEtiquetas - 12, altoLetra + 8),
                   Qt::AlignLeft | Qt::AlignVCenter, texto);
        y += altoLetra + 8;
    };
    const bool entreFotos = !serie.ConPosicion && a.Bien() &&
                            std::fabs(a.P - std::nearbyint(a.P)) >= 0.05;
    linea(Texto(f.Nombre), 16, Qt::black);
    linea(QString::fromUtf8(serie.ConPosicion ? "mejor posición"
                            : entreFotos      ? "mejor foco, entre las fotos"
                                              : "mejor foto"),
          12, Qt::black);
    linea(a.Bien() ? Texto(TextoMejor(a.P, serie)) : "-", entreFotos ? 14 : 21, Rojo);
    linea(QString::fromUtf8("mínimo"), 12, Qt::black);
    linea(a.Ajustado ? Texto(Numero(a.A, "0.00") + " px") : "-", 21, Verde);
    linea(a.Ajustado ? Texto("R² " + Numero(a.R2, "0.000")) : QString(), 12, Qt::black);
    linea(Texto(TextoEstado(a.Estado)), 12, a.Bien() ? Verde : Rojo);
}

} // namespace

TDibujoGrafico Disposicion(TChart& grafico, int ancho, int alto) {
    const QFontMetrics metricas(grafico.font());
    return grafico.Componer(ancho, alto, [&](const std::string& s) {
        return TMedidaTexto{metricas.horizontalAdvance(Texto(s)), metricas.height()};
    });
}

void GuardarDibujo(const std::string& fichero, int ancho, int alto,
                   const std::function<void(QPainter&)>& pintar) {
    Guardar(fichero, ancho, alto, pintar);
}

namespace {

void DibujarCurva(const std::string& fichero, const std::vector<TFiguraCurva>& figuras,
                  const TSerieFoco& serie, char decimal) {
    Separadores(decimal);
    double xMin = HUGE_VAL, xMax = -HUGE_VAL;
    for (const TFiguraCurva& f : figuras)
        for (double x : f.X) xMin = std::min(xMin, x), xMax = std::max(xMax, x);
    if (xMax < xMin) xMin = 0, xMax = 1;
    if (xMax == xMin) xMin -= 1, xMax += 1;
    const int ancho = AnchoGrafico + AnchoEtiquetas,
              alto = AltoGrafico * static_cast<int>(figuras.size());
    Guardar(fichero, ancho, alto, [&](QPainter& p) {
        for (const TFiguraCurva& f : figuras) {
            PintarFigura(p, f, serie, xMin, xMax);
            p.translate(0, AltoGrafico);
        }
    });
}

void DibujarInclinacion(const std::string& fichero, const TFotoInclinacion& foto, char decimal) {
    Separadores(decimal);
    const TInclinacion& t = foto.Mapa;
    const int anchoFoto = foto.Ancho, altoFoto = foto.Alto;
    // The frame scaled to fit 600 x 440, NAXIS2 upwards as FITS frames are shown.
    const double escala = std::min(600.0 / anchoFoto, 440.0 / altoFoto);
    const double w = anchoFoto * escala, h = altoFoto * escala;
    const int izquierda = 40, arriba = 84;
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
                   Texto(foto.Titulo));
        std::string resumen =
            "HFD " + Numero(t.HFD, "0.00") + " px, " + std::to_string(t.Estrellas) + " estrellas";
        if (t.Dispersion)
            resumen += "   del noveno más nítido al más borroso " + Numero(*t.Dispersion, "0.00") + " px (" +
                       Numero(t.DispersionPct.value_or(0), "0.0") + " %)";
        p.setFont(Letra(12));
        p.drawText(QRect(izquierda, 32, ancho - izquierda, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   Texto(resumen));
        p.setFont(LetraGrafico());
        p.setPen(Gris);
        p.drawText(QRect(izquierda, 54, ancho - izquierda, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8("Una foto no separa la inclinación de la curvatura: "
                                     "hace falta una serie (--curva --inclinacion)."));
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
        for (const TEstrellaCampo& e : foto.Estrellas)
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

// An arrow of that length from the centre along (dx, dy), dy upwards.
void Flecha(QPainter& p, const QPointF& c, double dx, double dy, double largo) {
    const double n = std::hypot(dx, dy);
    if (!(n > 0)) return;
    const QPointF f(c.x() + largo * dx / n, c.y() - largo * dy / n);
    const double angulo = std::atan2(f.y() - c.y(), f.x() - c.x());
    p.setPen(QPen(QColor(0, 0, 160, 150), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, f);
    for (const double abertura : {-0.45, 0.45})
        p.drawLine(f, f - QPointF(16 * std::cos(angulo + abertura), 16 * std::sin(angulo + abertura)));
}

// The grid of the ninths, NAXIS2 upwards as frames are shown: each ninth's best position minus
// the centre's, blue where it focuses further out, orange further in, and an arrow towards
// where the best position grows: from the centre towards the side that focuses further out, in
// the grid's proportions.
void DibujarPlano(const std::string& fichero, const TPlanoFocal& plano, char decimal) {
    Separadores(decimal);
    const int lado = 150, alto3 = 110, izquierda = 40, arriba = 96;
    const int ancho = izquierda + 3 * lado + 40, alto = arriba + 3 * alto3 + 70;
    const std::string unidad = plano.Serie.ConPosicion ? "" : " fotos";
    const std::string formato =
        "0." + std::string(static_cast<size_t>(plano.Serie.Decimales) + 1, '0');
    const auto numero = [&](const std::optional<double>& v, bool signo) {
        if (!v) return std::string("-");
        return (signo && *v > 0 ? "+" : "") + Numero(*v, formato.c_str());
    };
    const std::optional<double> centro = plano.Mejor[1][1];
    double escala = plano.Tolerancia.value_or(0);
    for (const auto& columna : plano.Mejor)
        for (const auto& m : columna)
            if (m && centro) escala = std::max(escala, std::fabs(*m - *centro));

    Guardar(fichero, ancho, alto, [&](QPainter& p) {
        p.setPen(Qt::black);
        p.setFont(Letra(16));
        p.drawText(QRect(izquierda, 6, ancho - izquierda, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromUtf8("Mejor foco de cada noveno menos el del centro"));
        p.setFont(Letra(12));
        p.drawText(QRect(izquierda, 32, ancho - izquierda, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   Texto("inclinación X " + numero(plano.InclinacionX, true) + ", Y " +
                         numero(plano.InclinacionY, true) + unidad + "   curvatura " +
                         numero(plano.Curvatura, true) + unidad));
        p.drawText(QRect(izquierda, 52, ancho - izquierda, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   Texto("tolerancia " + numero(plano.Tolerancia, false) + unidad + " (HFD +" +
                         Numero(100 * EnsanchamientoTolerado, "0") + " %)   " +
                         (plano.Veredicto.empty() ? TextoEstado(plano.Estado) : plano.Veredicto)));
        const auto celda = [&](int i, int j) {
            return QRectF(izquierda + lado * i, arriba + alto3 * (2 - j), lado, alto3);
        };
        const auto diferencia = [&](int i, int j) -> std::optional<double> {
            if (!plano.Mejor[i][j] || !centro) return std::nullopt;
            return *plano.Mejor[i][j] - *centro;
        };
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                QColor color(230, 230, 230);
                if (const auto d = diferencia(i, j)) {
                    const float u = escala > 0 ? static_cast<float>(std::fabs(*d) / escala) : 0;
                    color = QColor::fromHsvF(*d > 0 ? 0.6f : 0.08f, 0.6f * u, 1.0f);
                }
                p.fillRect(celda(i, j), color);
                p.setPen(QPen(Gris, 1));
                p.drawRect(celda(i, j));
            }
        // The lean, under the numbers.
        if (plano.InclinacionX && plano.InclinacionY)
            Flecha(p, celda(1, 1).center(), *plano.InclinacionX / lado,
                   *plano.InclinacionY / alto3, 1.2 * alto3);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                p.setPen(Qt::black);
                p.setFont(Letra(21));
                p.drawText(celda(i, j), Qt::AlignCenter,
                           Texto(i == 1 && j == 1 && centro ? "0" : numero(diferencia(i, j), true)));
                p.setFont(LetraGrafico());
                p.setPen(Gris);
                const QRectF dentro = celda(i, j).adjusted(5, 3, -5, -3);
                p.drawText(dentro, Qt::AlignLeft | Qt::AlignTop,
                           QString("Mejor_%1%2").arg(i + 1).arg(j + 1));
                p.drawText(dentro, Qt::AlignRight | Qt::AlignBottom,
                           Texto(numero(plano.Mejor[i][j], false)));
            }
        p.setPen(QPen(Qt::black, 2));
        p.drawRect(QRectF(izquierda, arriba, 3 * lado, 3 * alto3));
        p.setFont(LetraGrafico());
        p.setPen(Qt::black);
        const double abajo = arriba + 3 * alto3;
        p.drawText(QRectF(izquierda, abajo + 4, 3 * lado, 16), Qt::AlignRight | Qt::AlignTop,
                   QString::fromUtf8("NAXIS1 →"));
        p.drawText(QRectF(izquierda, arriba - 16, 3 * lado, 16), Qt::AlignLeft | Qt::AlignBottom,
                   QString::fromUtf8("NAXIS2 ↑"));
        p.drawText(QRectF(izquierda, abajo + 24, 3 * lado, 36), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromUtf8("La flecha apunta hacia donde el mejor foco está en "
                                     "posiciones mayores;\nazul: enfoca más allá que el centro, "
                                     "naranja: más acá."));
    });
}

const TDibujos Tabla{DibujarCurva, DibujarInclinacion, DibujarPlano, DibujarNoche};

} // namespace

extern "C" const TDibujos* QuorvelDibujos() {
    return &Tabla;
}
