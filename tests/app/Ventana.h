// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window tests' one window and one fixture: the display widgets opened to the tests, the
// boxes answered and recorded, a settings file that names the watched folder.
#include "Comun.h"
#include "UQuorvel.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

class Ventana : public TFQuorvel {
public:
    explicit Ventana(const std::string& dir, TModoMedida modo = TModoMedida::Estrella)
        : TFQuorvel(dir, false, modo) {
        Preguntar = [this](const QString& titulo, const QString& texto, const QString& detalle) {
            preguntas << titulo + "|" + texto;
            detalles << detalle;
            return respuesta;
        };
        MostrarError = [this](const QString& texto) { errores << texto; };
        Crear();
    }
    using TFQuorvel::Chart1;
    using TFQuorvel::Chart2;
    using TFQuorvel::Chart3;
    using TFQuorvel::Label2;
    using TFQuorvel::Label7;

    // The plotted (x, y) of one chart's raw series.
    static std::vector<std::pair<double, double>> Puntos(TChart* c) {
        std::vector<std::pair<double, double>> p;
        TFastLineSeries& s = c->Series(0);
        for (int32_t i = 0; i < s.Count(); ++i) p.emplace_back(s.XValues[i], s.YValues[i]);
        return p;
    }
    // The frame numbers of the peaks' raw series.
    std::vector<double> XCrudas() {
        std::vector<double> x;
        for (const auto& p : Puntos(Chart1)) x.push_back(p.first);
        return x;
    }
    int32_t Medias() { return Chart1->Series(1).Count(); }

    bool respuesta = false; // to every question box
    QStringList preguntas, detalles, errores;
};

// A window whose settings file names the folder, so it starts watching at once.
struct EnVentana : ::testing::Test {
    CarpetaTemporal programa, fotos;
    std::unique_ptr<Ventana> v;

    void Arrancar(const std::string& carpeta, TModoMedida modo = TModoMedida::Estrella) {
        GuardarFichero(programa / "quorvel.ini", carpeta + "\r\n");
        v = std::make_unique<Ventana>(programa.ruta.string() + "/", modo);
    }
    void Arrancar(TModoMedida modo = TModoMedida::Estrella) { Arrancar(fotos.ruta.string(), modo); }
    void Foto(const std::string& nombre, double pico = 20000) {
        GuardarFichero(fotos / nombre, FotoConEstrella(pico));
    }
};
