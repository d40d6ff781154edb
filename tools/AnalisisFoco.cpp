// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnalisisFoco.h"

#include "Campo.h"
#include "Consola.h"
#include "Curva.h"
#include "SerieFoco.h"
#include "DibujoAnalisis.h"
#include "Errores.h"
#include "Inclinacion.h"
#include "Medida.h"
#include "Numeros.h"
#include "UTPlaca.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <exception>
#include <optional>
#include <stdexcept>

namespace {

void Fallo(const std::string& motivo) {
    Avisar("quorvel-medir", motivo);
}

void Fallo(const std::string& fichero, const std::string& motivo) {
    Fallo(fichero + ": " + motivo);
}

// Why a name is no frame, when it names something other than a regular file: the loader
// would only say that no file is there. Empty for a regular file and for a missing name.
std::string NoEsFoto(const std::string& nombre) {
    struct stat st {};
    if (::stat(nombre.c_str(), &st) != 0) return errno == ENOENT ? "" : DescripcionError(errno);
    if (S_ISDIR(st.st_mode)) return "es una carpeta, no una foto FITS";
    if (S_ISFIFO(st.st_mode)) return "es una tubería (FIFO), no una foto FITS";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "es un dispositivo, no una foto FITS";
    if (!S_ISREG(st.st_mode)) return "no es un fichero regular, no una foto FITS";
    return "";
}

} // namespace

bool Grafico(const std::function<void()>& dibujar) {
    try {
        dibujar();
        return true;
    } catch (const std::exception& e) {
        Fallo(TextoError(e));
        return false;
    }
}

bool CargarFoto(TPlaca& Placa, const std::string& fichero, std::string& motivo) {
    motivo = NoEsFoto(fichero);
    if (motivo.empty() && !Placa.LeerFits(fichero)) motivo = Mensaje;
    return motivo.empty();
}

int RecorrerFotos(const std::vector<std::string>& ficheros, const TMedirFoto& medir) {
    int estado = 0;
    for (size_t k = 0; k < ficheros.size(); ++k) {
        Vaciar("quorvel-medir"); // rows and reasons in the order of the files
        try {
            TPlaca Placa;
            std::string motivo;
            if (!CargarFoto(Placa, ficheros[k], motivo)) throw std::runtime_error(motivo);
            medir(Placa, ficheros[k], k);
        } catch (const std::exception& e) {
            Fallo(ficheros[k], TextoError(e));
            estado = 1;
        }
    }
    return estado;
}

TMedidaCampo MedirCampoConEstrellas(TPlaca& Placa) {
    TMedidaCampo m = MedirCampo(Placa);
    if (m.Estrellas.empty()) throw std::runtime_error("ninguna estrella medible");
    return m;
}

int AnalizarCurva(const std::vector<std::string>& ficheros, bool campo, const TSalidaAnalisis& s) {
    std::vector<TPuntoFoco> puntos;
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    int estado = RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string&, size_t k) {
        TPuntoFoco p{PosicionEnfocador(Placa), static_cast<double>(k + 1), 0, 0};
        if (campo) {
            const TMedidaCampo m = MedirCampoConEstrellas(Placa);
            p.HFD = m.HFD;
            p.FWHM = m.FWHM;
        } else {
            const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
            p.HFD = f.HFD;
            p.FWHM = f.FWHM;
        }
        puntos.push_back(p);
    });
    TSerieFoco serie;
    try {
        serie = AjustarSerie(puntos);
    } catch (const std::exception& e) {
        Fallo(TextoError(e));
        return 1;
    }

    std::vector<TFiguraCurva> figuras{{"HFD", serie.X, {}, serie.HFD},
                                      {"FWHM", serie.X, {}, serie.FWHM}};
    for (const TPuntoFoco& p : puntos) {
        figuras[0].Y.push_back(p.HFD);
        figuras[1].Y.push_back(p.FWHM == FWHMBorrosa ? NAN : p.FWHM);
    }
    // Two decimals past the positions' own: a best position between two steps is no step.
    const std::string formatoMejor = "0." + std::string(static_cast<size_t>(serie.Decimales) + 2, '0');
    s.fila({"Figura", "Mejor", "Minimo", "R2", "Puntos", "Izquierda", "Derecha", "Estado"});
    for (const TFiguraCurva& f : figuras) {
        const TAjusteCurva& a = f.Ajuste;
        const auto valor = [&](double v, const std::string& formato) {
            return a.Ajustado ? s.numero(v, formato.c_str()) : std::string();
        };
        s.fila({f.Nombre, valor(a.P, formatoMejor), valor(a.A, "0.000"), valor(a.R2, "0.000"),
                FormatearEntero(a.Puntos), FormatearEntero(a.Izquierda), FormatearEntero(a.Derecha),
                TextoEstado(a.Estado)});
    }
    if (!serie.HFD.Bien()) estado = 1;
    if (!s.grafico.empty() && !Grafico([&] { DibujarCurva(s.grafico, figuras, serie.ConPosicion); }))
        estado = 1;
    return estado;
}

int AnalizarInclinacion(const std::vector<std::string>& ficheros, const TSalidaAnalisis& s) {
    std::vector<std::string> cabecera{"Archivo", "Estrellas", "HFD"};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) cabecera.push_back("HFD_" + std::to_string(10 * i + j));
    for (const char* c : {"Inclinacion", "InclinacionPct", "Curvatura", "Veredicto"})
        cabecera.push_back(c);
    s.fila(cabecera);

    // The picture shows the sharpest frame, where a tilt matters.
    struct Dibujo {
        std::string fichero;
        TInclinacion inclinacion;
        std::vector<TEstrellaCampo> estrellas;
        int ancho = 0, alto = 0;
    };
    std::optional<Dibujo> mejor;
    int estado = RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string& fichero, size_t) {
        TMedidaCampo m = MedirCampoConEstrellas(Placa);
        const TInclinacion t = MedirInclinacion(m.Estrellas, Placa.Ancho(), Placa.Alto());
        const auto opcional = [&](const std::optional<double>& v, const char* formato) {
            return v ? s.numero(*v, formato) : std::string();
        };
        std::vector<std::string> f{fichero, FormatearEntero(t.Estrellas), s.numero(t.HFD, "0.000")};
        for (const auto& columna : t.Noveno)
            for (const auto& n : columna) f.push_back(opcional(n, "0.000"));
        f.push_back(opcional(t.Inclinacion, "0.000"));
        f.push_back(opcional(t.InclinacionPct, "0.0"));
        f.push_back(opcional(t.Curvatura, "0.000"));
        f.push_back(t.Veredicto);
        s.fila(f);
        if (!s.grafico.empty() && (!mejor || t.HFD < mejor->inclinacion.HFD))
            mejor = Dibujo{fichero, t, std::move(m.Estrellas), Placa.Ancho(), Placa.Alto()};
    });
    if (mejor && !Grafico([&] {
            DibujarInclinacion(s.grafico, mejor->fichero, mejor->inclinacion, mejor->estrellas,
                               mejor->ancho, mejor->alto);
        }))
        estado = 1;
    return estado;
}
