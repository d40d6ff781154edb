// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the camera wrote into a frame, as the field measurement needs it: whether the frame is
// a colour mosaic, and the level at which its counts clip. A mosaic is measured on the means
// of its 2 x 2 blocks, where the filters no longer show, and its figures go back to the
// image's own.
#include "Campo.h"
#include "UTPlaca.h"

#include <cstdint>
#include <functional>
#include <memory>

// The frame a field is measured on.
struct TFotoMedible {
    const FITSImageArea* area = nullptr; // the frame itself, or the block means
    const uint16_t* datos = nullptr;     // area's pixels, rows of ancho
    int ancho = 0, alto = 0;
    // The first saturated value of datos: a star with a pixel at or above it has a cut top.
    int32_t saturada = 0;
    bool mosaico = false;
    std::unique_ptr<FITSImageArea> bloques; // owns area when mosaico
};

// The frame loaded in Placa as it is measured: the frame itself for a mono camera; for a colour
// mosaic the mean of the 2 x 2 block from each pixel, one pixel fewer each way (the clip level
// where any of its four pixels clips, 0 where one is zero padding), each warm pixel first put
// back to its filter's sky.
// Raises std::runtime_error, with a Spanish message, when memory runs out. Pausa, when given,
// is called every few milliseconds of the work on a mosaic, as MedirCampo calls it.
TFotoMedible FotoMedible(const TPlaca& Placa, const std::function<void()>& Pausa = {});

// Positions, HFD and FWHM of a measurement on the block means as the frame's own, and its
// medians again. Nothing changes for a mono frame.
void AFotoOriginal(const TFotoMedible& Foto, TMedidaCampo& Medida);

// The steps, for the tests.
// A colour mosaic named by the header: BAYERPAT, or COLORTYP, one of the four 2 x 2 tiles.
bool MosaicoEnCabecera(const TPlaca& Placa);
// A colour mosaic seen in the sky: the levels of the four places of a 2 x 2 tile differ,
// and the two greens, on one diagonal, agree.
bool MosaicoEnCielo(const uint16_t* datos, int ancho, int alto);
// The first value at which the camera's counts clip: SATURATE or DATAMAX, else the top of a
// plateau in the data (many pixels at one maximum value well above the sky), never above the
// window's saturation level (a pixel above 60000 is saturated whatever the camera says).
int32_t NivelSaturacion(const TPlaca& Placa, const uint16_t* datos, int ancho, int alto);
