// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the whole per-frame path: the loader on arbitrary bytes, then the
// measurements of whatever loaded up to 64 x 64, the window's and the field's (the fit's cost
// grows with the frame, and larger frames add no new paths). Any error must be one of ours,
// raised, never a crash. Built a second time as fuzz_campo with QUORVEL_SOLO_CAMPO: the loader
// and the field measurement alone, several times faster, for long campaigns over the field.
#include "Campo.h"
#include "Medida.h"
#include "UTPlaca.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t tamano) {
    // In memory where the system offers it: a disk file costs a tenth of each execution.
    static const std::string ruta = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    std::string("/quorvel-fuzz-") + std::to_string(::getpid()) +
                                    ".fits";
    FILE* f = std::fopen(ruta.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(datos, 1, tamano, f);
    std::fclose(f);

    TPlaca Placa;
    try {
        if (!Placa.LeerFits(ruta)) return 0;
    } catch (const std::runtime_error&) {
        return 0; // refused frames are the expected outcome for most inputs
    }
    if (Placa.Ancho() > 64 || Placa.Alto() > 64) return 0;
#ifndef QUORVEL_SOLO_CAMPO
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    try {
        MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
    } catch (const std::runtime_error&) {
    }
#endif
    try {
        MedirCampo(Placa);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
