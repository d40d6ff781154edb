// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The analyses of a whole run in quorvel-medir: the focus curve and the tilt of the focal
// plane. Rows go through the tool's own row writer, so that they share its formats.
#include <functional>
#include <string>
#include <vector>

class TPlaca;

// Loads a frame named on the command line; false with the reason when it is none: a folder,
// a FIFO or a device is named as such, where the loader would only say that no file is there.
bool CargarFoto(TPlaca& Placa, const std::string& fichero, std::string& motivo);

// Loads each file in turn and hands it to medir with its index; a file that cannot be loaded,
// or whose measurement raises, is named with the reason on standard error and the next one is
// measured. 0 when every file was measured, 1 otherwise.
using TMedirFoto = std::function<void(TPlaca&, const std::string& fichero, size_t k)>;
int RecorrerFotos(const std::vector<std::string>& ficheros, const TMedirFoto& medir);

// Runs dibujar, a picture's writer; false when it raises, with its message (which names the
// file) on standard error.
bool Grafico(const std::function<void()>& dibujar);

struct TMedidaCampo;
// The field measurement, raising "ninguna estrella medible" when no star is usable.
TMedidaCampo MedirCampoConEstrellas(TPlaca& Placa);

using TEscribirFila = std::function<void(const std::vector<std::string>&)>;
using TFormatoNumero = std::function<std::string(double, const char*)>;

struct TSalidaAnalisis {
    TEscribirFila fila;
    TFormatoNumero numero;
    std::string grafico; // picture file, .png or .svg; empty for none
};

// Exit status: 0 when every file was measured and the HFD curve is to be trusted, 1 otherwise.
int AnalizarCurva(const std::vector<std::string>& ficheros, bool campo, const TSalidaAnalisis& s);
// Exit status: 0 when every file was measured, 1 otherwise.
int AnalizarInclinacion(const std::vector<std::string>& ficheros, const TSalidaAnalisis& s);
