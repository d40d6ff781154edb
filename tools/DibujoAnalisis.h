// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures of the analyses, drawn with Qt off screen in the look of the window's charts: PNG,
// or SVG when the file name ends in ".svg".
#include "Curva.h"
#include "Inclinacion.h"

#include <functional>
#include <string>
#include <vector>

class QPainter;

// Paints a picture of that size, on the window's background, into the file as PNG or SVG;
// std::runtime_error when the file cannot be written.
void GuardarDibujo(const std::string& fichero, int ancho, int alto,
                   const std::function<void(QPainter&)>& pintar);

// Case-insensitive, for the picture's extension (given in lower case): ".png", ".svg".
bool TerminaEn(const std::string& texto, const std::string& final);

struct TFiguraCurva {
    std::string Nombre;       // "HFD", "FWHM"
    std::vector<double> X, Y; // Y not a number for a point left out of the figure
    TAjusteCurva Ajuste;
};

// The points, the fitted curve and its best position, one chart per figure. Raises
// std::runtime_error when the file cannot be written.
void DibujarCurva(const std::string& fichero, const std::vector<TFiguraCurva>& figuras,
                  bool conPosicion);

// The frame's outline with each ninth's HFD written in it, coloured from the best to the
// worst, and the stars as circles sized by their HFD.
void DibujarInclinacion(const std::string& fichero, const std::string& titulo,
                        const TInclinacion& inclinacion,
                        const std::vector<TEstrellaCampo>& estrellas, int ancho, int alto);
