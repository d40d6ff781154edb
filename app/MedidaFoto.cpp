// SPDX-License-Identifier: GPL-3.0-or-later
#include "MedidaFoto.h"

#include "Campo.h"
#include "Errores.h"
#include "Medida.h"
#include "UTPlaca.h"

#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

bool EnEscritura(const std::string& ruta) {
    struct stat st {};
    timespec ahora{};
    if (::stat(ruta.c_str(), &st) != 0 || ::clock_gettime(CLOCK_REALTIME, &ahora) != 0)
        return false;
    const int64_t edadNs = (static_cast<int64_t>(ahora.tv_sec) - st.st_mtim.tv_sec) * 1000000000 +
                           (ahora.tv_nsec - st.st_mtim.tv_nsec);
    // Either way: a clock far ahead on the writer's side must not hold the watch up for good.
    return std::llabs(edadNs) < SegundosDeEscritura * 1000000000;
}

TResultadoFoto MedirFoto(const std::string& ruta, TModoMedida modo, TListaOrdenada& ListaOrdenada,
                         TListaAcumulada& ListaAcumulada, const std::function<void()>& Pausa) {
    TResultadoFoto r;
    try {
        TPlaca Placa;
        // A frame that failed to load has no axes: the measurement fails on it.
        Placa.LeerFits(ruta);
        if (modo == TModoMedida::Estrella) {
            const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
            r.Estado = TResultadoFoto::Medida;
            r.Maximo = f.Maximo;
            r.FWHM = f.FWHM;
            r.HFD = f.HFD;
        } else {
            if (Placa.Ancho() == 0) return r;
            try {
                r.Posicion = PosicionEnfocador(Placa);
            } catch (const std::exception& e) {
                r.PosicionIlegible = e.what();
            }
            if (Pausa) Pausa();
            const TMedidaCampo m = MedirCampo(Placa, Pausa);
            r.Estrellas = static_cast<int32_t>(m.Estrellas.size());
            r.Estado = m.Estrellas.empty() ? TResultadoFoto::SinEstrellas : TResultadoFoto::Medida;
            r.Maximo = m.Maximo;
            r.FWHM = m.FWHM;
            r.HFD = m.HFD;
        }
    } catch (const ErrorIncompleto&) {
        if (EnEscritura(ruta)) r.Estado = TResultadoFoto::Pendiente;
    } catch (...) {
        // A frame that cannot be loaded or measured is skipped without a word.
    }
    return r;
}
