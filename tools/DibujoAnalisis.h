// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures of the analyses, drawn with Qt off screen in the look of the window's charts: PNG,
// or SVG when the file name ends in ".svg". They live in a module of their own that
// quorvel-medir opens only when a picture is asked for, so that its other calls start without
// loading Qt.
#include "Curva.h"
#include "Inclinacion.h"
#include "DibujoNoche.h"
#include "PlanoFocal.h"

#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class TChart;
struct TDibujoGrafico;

// The layout the chart widget painted at that size (in pixels), for the marks drawn over it.
TDibujoGrafico Disposicion(TChart& grafico, int ancho, int alto);

// Paints a picture of that size, on the window's background, into the file as PNG or SVG;
// std::runtime_error when the file cannot be written.
void GuardarDibujo(const std::string& fichero, int ancho, int alto,
                   const std::function<void(QPainter&)>& pintar);

// Case-insensitive, for the picture's extension (given in lower case): ".png", ".svg".
inline bool TerminaEn(const std::string& texto, const std::string& final) {
    if (texto.size() < final.size()) return false;
    for (size_t k = 0; k < final.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(texto[texto.size() - final.size() + k])) !=
            final[k])
            return false;
    return true;
}

struct TFiguraCurva {
    std::string Nombre;       // "HFD", "FWHM"
    std::vector<double> X, Y; // Y not a number for a point left out of the figure
    TAjusteCurva Ajuste;
};

struct TFotoInclinacion {
    std::string Titulo;
    TInclinacion Mapa;
    std::vector<TEstrellaCampo> Estrellas;
    int Ancho = 0, Alto = 0;
};

// The drawings, each raising std::runtime_error when the file cannot be written. Numbers are
// written with the decimal separator given.
struct TDibujos {
    // The points joined in position order, the fitted curve and, when trusted, its best
    // position; one chart per figure, all over the same positions.
    void (*Curva)(const std::string& fichero, const std::vector<TFiguraCurva>& figuras,
                  const TSerieFoco& serie, char decimal);
    // The frame's outline with each ninth's HFD written in it, coloured from the best to the
    // worst, and the stars as circles sized by their HFD.
    void (*Inclinacion)(const std::string& fichero, const TFotoInclinacion& foto, char decimal);
    // The 3 × 3 map of the ninths' best positions relative to the centre's, and the lean.
    void (*Plano)(const std::string& fichero, const TPlanoFocal& plano, char decimal);
    // Each run's best position against its temperature, one colour per filter, and the model.
    void (*Noche)(const std::string& fichero, const std::vector<TPuntoNoche>& puntos,
                  const std::optional<TModeloFoco>& modelo, char decimal);
};

// The module's one entry, looked up by this name.
#define QUORVEL_DIBUJOS "QuorvelDibujos"
extern "C" const TDibujos* QuorvelDibujos();

// In quorvel-medir: the module, opened on the first call. Raises std::runtime_error, in
// Spanish, when it cannot be opened.
const TDibujos& Dibujos();
