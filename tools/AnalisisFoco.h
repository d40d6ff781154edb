// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The analyses of a whole run in quorvel-medir: the focus curve, the focal plane's tilt and
// curvature, and each frame's map of widths. Rows go through the tool's own row writer, so
// that they share its formats.
#include <functional>
#include <string>
#include <vector>

class TPlaca;

// Loads a frame named on the command line; false with the reason when it is none: a folder,
// a FIFO or a device is named as such, where the loader would only say that no file is there.
bool CargarFoto(TPlaca& Placa, const std::string& fichero, std::string& motivo,
                bool soloCabecera = false);

// Loads each file in turn and hands it to medir with its index; a file that cannot be loaded,
// or whose measurement raises, is named with the reason on standard error and the next one is
// measured. 0 when every file was measured, 1 otherwise. With soloCabecera each file's header
// alone is read: its keys, without the cost of its pixels.
using TMedirFoto = std::function<void(TPlaca&, const std::string& fichero, size_t k)>;
int RecorrerFotos(const std::vector<std::string>& ficheros, const TMedirFoto& medir,
                  bool soloCabecera = false);

struct TDibujos;
// Runs dibujar with the pictures' module, opened on the first picture; false when it raises,
// with its message (which names the file) on standard error.
bool Grafico(const std::function<void(const TDibujos&)>& dibujar);

struct TMedidaCampo;
// The field measurement, raising "ninguna estrella medible" when no star is usable.
TMedidaCampo MedirCampoConEstrellas(TPlaca& Placa);

using TEscribirFila = std::function<void(const std::vector<std::string>&)>;
using TFormatoNumero = std::function<std::string(double, const char*)>;

struct TSalidaAnalisis {
    TEscribirFila fila;
    TFormatoNumero numero;
    std::string grafico; // picture file, .png or .svg; empty for none
    char decimal = '.';  // the pictures' decimal separator
    double pasoUm = 0;   // the focuser's step in micrometres; 0 when not given
};

// Exit status: 0 when every file was measured and the HFD curve is to be trusted, 1 otherwise.
int AnalizarCurva(const std::vector<std::string>& ficheros, bool campo, const TSalidaAnalisis& s);
// The focal plane of a run of whole fields: each ninth's best position, the tilt and the
// curvature. Exit status: 0 when every file was measured and a verdict was reached, 1 otherwise.
int AnalizarPlano(const std::vector<std::string>& ficheros, const TSalidaAnalisis& s);
// The map of widths of each frame. Exit status: 0 when every file was measured, 1 otherwise.
int AnalizarInclinacion(const std::vector<std::string>& ficheros, const TSalidaAnalisis& s);
