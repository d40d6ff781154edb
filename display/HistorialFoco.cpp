// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistorialFoco.h"

#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <string>

#include "Numeros.h"

TMediaMovil MediaHFD{}, MediaFWHM{}, MediaMaximo{};

void MediaMovil(TMediaMovil& Estado, float Valor) {
    Estado.Valores[Estado.Posicion] = Valor;
    ++Estado.Posicion;
    if (Estado.Posicion == 5) {
        Estado.Lleno = true;
        Estado.Posicion = 0;
    }
    Estado.Media = 0;
    if (Estado.Lleno) {
        // float + float stays float: the running sum is rounded after every addition.
        for (float v : Estado.Valores) Estado.Media = Estado.Media + v;
        Estado.Media = Estado.Media / 5.0f;
    }
}

namespace {

const QColor Rojo(255, 0, 0);
const QColor Verde(0, 128, 0);

// Texts are byte strings, one Latin-1 character per byte.
void PonerTexto(QLabel* etiqueta, const std::string& texto) {
    etiqueta->setText(QString::fromLatin1(texto.data(), static_cast<qsizetype>(texto.size())));
    etiqueta->adjustSize(); // the labels size themselves to their text
}

QLabel* CrearEtiqueta(QWidget* padre, int left, int top, const QString& texto, int alto,
                      const QColor* color) {
    auto* etiqueta = new QLabel(texto, padre);
    QFont letra;
    letra.setFamilies({"Comic Sans MS", "Comic Neue"});
    letra.setPixelSize(alto);
    letra.setWeight(QFont::Normal);
    etiqueta->setFont(letra);
    if (color) {
        QPalette paleta = etiqueta->palette();
        paleta.setColor(QPalette::WindowText, *color);
        etiqueta->setPalette(paleta);
    }
    etiqueta->move(left, top);
    etiqueta->adjustSize();
    return etiqueta;
}

TChart* CrearGrafico(QWidget* padre, int top, const char* formato, double incremento) {
    auto* c = new TChart(padre);
    c->setGeometry(13, top, 285, 121);
    c->BottomAxis.Visible = false;
    c->MarginTop = 10;
    c->MarginBottom = 10;
    c->MarginRight = 5;
    c->BackWall.Brush.Color = clWhite;
    c->BackWall.Brush.Clear = true;
    c->LeftAxis.AxisValuesFormat = formato;
    c->LeftAxis.Increment = incremento;
    // Series 0 the raw values, series 1 the average: the display addresses them by position.
    for (const auto& [color, ancho] : {std::pair{clRed, 1}, std::pair{clGreen, 2}}) {
        TFastLineSeries& s = c->AddSeries();
        s.SetSeriesColor(color);
        s.SetLinePenWidth(ancho);
    }
    return c;
}

std::string Formato2(double v) {
    return FormatearNumero(v, "0.00", SeparadoresUsuario.decimal);
}

} // namespace

THistorialFoco::THistorialFoco(QWidget* parent) : QWidget(parent) {
    Chart1 = CrearGrafico(this, 12, "#,##0.###", 0);
    Chart2 = CrearGrafico(this, 142, "#,##0.0", 0.2);
    Chart3 = CrearGrafico(this, 272, "#,##0.0", 0.2);

    Label1 = CrearEtiqueta(this, 308, 12, QString::fromUtf8("Máximo"), 16, nullptr);
    Label2 = CrearEtiqueta(this, 308, 58, "0", 21, &Rojo);
    Label7 = CrearEtiqueta(this, 308, 94, "0", 21, &Verde);
    Label3 = CrearEtiqueta(this, 308, 142, "FWHM", 16, nullptr);
    Label4 = CrearEtiqueta(this, 308, 186, "0.00", 21, &Rojo);
    Label8 = CrearEtiqueta(this, 308, 224, "0.00", 21, &Verde);
    Label5 = CrearEtiqueta(this, 308, 272, "HFD", 16, nullptr);
    Label6 = CrearEtiqueta(this, 308, 318, "0.00", 21, &Rojo);
    Label9 = CrearEtiqueta(this, 308, 354, "0.00", 21, &Verde);
}

void THistorialFoco::MostrarMedidas(int32_t Indice, int32_t Maximo, float FWHM, double HFD) {
    Chart1->Series(0).AddXY(Indice, Maximo, clRed);
    Chart2->Series(0).AddXY(Indice, FWHM, clRed);
    Chart3->Series(0).AddXY(Indice, HFD, clRed);
    PonerTexto(Label2, FormatearEntero(Maximo));
    PonerTexto(Label4, Formato2(FWHM));
    PonerTexto(Label6, Formato2(HFD));
    AjustarEje(Chart1);
    AjustarEje(Chart2);
    AjustarEje(Chart3);
    // An average point stands at the middle of its five frames.
    const double x = static_cast<double>(Indice) - 2;
    MediaMovil(MediaHFD, static_cast<float>(HFD));
    if (MediaHFD.Lleno) {
        Chart3->Series(1).AddXY(x, MediaHFD.Media, clGreen);
        PonerTexto(Label9, Formato2(MediaHFD.Media));
    }
    MediaMovil(MediaFWHM, FWHM);
    if (MediaFWHM.Lleno) {
        Chart2->Series(1).AddXY(x, MediaFWHM.Media, clGreen);
        PonerTexto(Label8, Formato2(MediaFWHM.Media));
    }
    MediaMovil(MediaMaximo, static_cast<float>(Maximo));
    if (MediaMaximo.Lleno) {
        Chart1->Series(1).AddXY(x, MediaMaximo.Media, clGreen);
        PonerTexto(Label7, FormatearEntero(Redondear(MediaMaximo.Media)));
    }
    QCoreApplication::processEvents();
}

void THistorialFoco::AjustarEje(TChart* Chart) {
    const TFastLineSeries& bruta = Chart->Series(0); // the average never widens the axis
    const double arriba = bruta.MaxYValue();
    const double abajo = bruta.MinYValue();
    const double margen = (arriba - abajo) / 20;
    if (margen > 0) {
        Chart->LeftAxis.SetMaximum(arriba + margen);
        Chart->LeftAxis.SetMinimum(abajo - margen);
    }
}

void THistorialFoco::PuestaACero() {
    for (TChart* c : {Chart1, Chart2, Chart3}) c->Series(0).Clear();
    for (TChart* c : {Chart1, Chart2, Chart3}) c->Series(1).Clear();
    for (TChart* c : {Chart1, Chart2, Chart3}) c->LeftAxis.SetAutomatic(false);
    for (TChart* c : {Chart1, Chart2, Chart3}) {
        // Maximum first, unless a run that stayed above 100000 would refuse it: the reset
        // would then fail on every later attempt too.
        if (c->LeftAxis.Minimum() > 100000) c->LeftAxis.SetMinimum(0);
        c->LeftAxis.SetMaximum(100000);
        c->LeftAxis.SetMinimum(0);
    }
    for (TMediaMovil* m : {&MediaHFD, &MediaFWHM, &MediaMaximo}) {
        m->Posicion = 0;
        m->Lleno = false;
    }
    // The reset texts keep their point whatever the user's separator.
    PonerTexto(Label2, "0");
    PonerTexto(Label4, "0.00");
    PonerTexto(Label6, "0.00");
    PonerTexto(Label7, "0");
    PonerTexto(Label8, "0.00");
    PonerTexto(Label9, "0.00");
    VaciarListaFotos();
    QCoreApplication::processEvents();
}
