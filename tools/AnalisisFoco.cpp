// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnalisisFoco.h"

#include "Campo.h"
#include "Consola.h"
#include "Curva.h"
#include "DibujoAnalisis.h"
#include "Errores.h"
#include "Inclinacion.h"
#include "Medida.h"
#include "Numeros.h"
#include "PlanoFocal.h"
#include "SerieFoco.h"
#include "UTPlaca.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <exception>
#include <optional>
#include <set>
#include <utility>
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

bool Grafico(const std::function<void(const TDibujos&)>& dibujar) {
    try {
        dibujar(Dibujos());
        return true;
    } catch (const std::exception& e) {
        Fallo(TextoError(e));
        return false;
    }
}

bool CargarFoto(TPlaca& Placa, const std::string& fichero, std::string& motivo, bool soloCabecera) {
    motivo = NoEsFoto(fichero);
    if (motivo.empty() && !(soloCabecera ? Placa.LeerSoloCabecera(fichero) : Placa.LeerFits(fichero)))
        motivo = Mensaje;
    return motivo.empty();
}

int RecorrerFotos(const std::vector<std::string>& ficheros, const TMedirFoto& medir,
                  bool soloCabecera) {
    // The same file twice counts twice in a run's curve: most likely a slip of the shell.
    std::set<std::pair<dev_t, ino_t>> vistos;
    for (const std::string& f : ficheros)
        if (struct stat st {}; ::stat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                               !vistos.insert({st.st_dev, st.st_ino}).second)
            Fallo(f, "aviso: el mismo fichero está dado más de una vez; cuenta cada vez");
    int estado = 0;
    for (size_t k = 0; k < ficheros.size(); ++k) {
        Vaciar("quorvel-medir"); // rows and reasons in the order of the files
        try {
            TPlaca Placa;
            std::string motivo;
            if (!CargarFoto(Placa, ficheros[k], motivo, soloCabecera)) throw std::runtime_error(motivo);
            medir(Placa, ficheros[k], k);
        } catch (const std::exception& e) {
            Fallo(ficheros[k], TextoError(e));
            estado = 1;
        }
    }
    return estado;
}

// Two decimals past the positions' own: a best position between two steps is no step.
static std::string FormatoMejor(double v, const TSerieFoco& serie, const TSalidaAnalisis& s) {
    return s.numero(v, ("0." + std::string(static_cast<size_t>(serie.Decimales) + 2, '0')).c_str());
}

TMedidaCampo MedirCampoConEstrellas(TPlaca& Placa) {
    TMedidaCampo m = MedirCampo(Placa);
    if (m.Estrellas.empty()) throw std::runtime_error("ninguna estrella medible");
    return m;
}

namespace {

// The run's points, frame by frame; each measured file's name beside them.
struct TPuntosSerie {
    std::vector<TPuntoFoco> puntos;
    std::vector<std::string> ficheros;
    int estado = 0;
};

TPuntoFoco Punto(TPlaca& Placa, size_t k) {
    return TPuntoFoco{PosicionEnfocador(Placa), static_cast<double>(k + 1), 0, 0};
}

// The files the fit left out though measured, named.
std::string Descartadas(const TAjusteCurva& a, const std::vector<double>& y,
                        const std::vector<std::string>& ficheros) {
    std::string r;
    for (size_t i = 0; i < ficheros.size(); ++i)
        if (a.Ajustado && !a.Usados[i] && std::isfinite(y[i]) && y[i] > 0)
            r += (r.empty() ? "" : " ") + ficheros[i];
    return r;
}

} // namespace

int AnalizarCurva(const std::vector<std::string>& ficheros, bool campo, const TSalidaAnalisis& s) {
    TPuntosSerie p;
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    p.estado = RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string& fichero, size_t k) {
        TPuntoFoco punto = Punto(Placa, k);
        if (campo) {
            const TMedidaCampo m = MedirCampoConEstrellas(Placa);
            punto.HFD = m.HFD;
            punto.FWHM = m.FWHM;
        } else {
            const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
            punto.HFD = f.HFD;
            punto.FWHM = f.FWHM;
        }
        p.puntos.push_back(punto);
        p.ficheros.push_back(fichero);
    });
    TSerieFoco serie;
    try {
        serie = AjustarSerie(p.puntos);
    } catch (const std::exception& e) {
        Fallo(TextoError(e));
        return 1;
    }

    std::vector<TFiguraCurva> figuras{{"HFD", serie.X, {}, serie.HFD},
                                      {"FWHM", serie.X, {}, serie.FWHM}};
    for (const TPuntoFoco& q : p.puntos) {
        figuras[0].Y.push_back(q.HFD);
        figuras[1].Y.push_back(q.FWHM == FWHMBorrosa ? NAN : q.FWHM);
    }
    s.fila({"Figura", "Mejor", "Minimo", "R2", "Puntos", "Izquierda", "Derecha", "Estado",
            "Descartadas"});
    for (const TFiguraCurva& f : figuras) {
        const TAjusteCurva& a = f.Ajuste;
        const auto valor = [&](double v, const std::string& formato) {
            return a.Ajustado ? s.numero(v, formato.c_str()) : std::string();
        };
        // An untrusted curve's minimum is no best position.
        s.fila({f.Nombre, a.Bien() ? FormatoMejor(a.P, serie, s) : "", valor(a.A, "0.000"),
                valor(a.R2, "0.000"), FormatearEntero(a.Puntos), FormatearEntero(a.Izquierda),
                FormatearEntero(a.Derecha), TextoEstado(a.Estado),
                Descartadas(a, f.Y, p.ficheros)});
    }
    if (!serie.HFD.Bien()) p.estado = 1;
    if (!s.grafico.empty() &&
        !Grafico([&](const TDibujos& d) { d.Curva(s.grafico, figuras, serie, s.decimal); }))
        p.estado = 1;
    return p.estado;
}

int AnalizarInclinacion(const std::vector<std::string>& ficheros, const TSalidaAnalisis& s) {
    std::vector<std::string> cabecera{"Archivo", "Estrellas", "HFD"};
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) cabecera.push_back("HFD_" + std::to_string(10 * i + j));
    for (const char* c : {"Dispersion", "DispersionPct"}) cabecera.push_back(c);
    s.fila(cabecera);

    // The picture shows the sharpest frame.
    std::optional<TFotoInclinacion> mejor;
    int estado = RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string& fichero, size_t) {
        TMedidaCampo m = MedirCampoConEstrellas(Placa);
        const TInclinacion t = MedirInclinacion(m.Estrellas, Placa.Ancho(), Placa.Alto());
        const auto opcional = [&](const std::optional<double>& v, const char* formato) {
            return v ? s.numero(*v, formato) : std::string();
        };
        std::vector<std::string> f{fichero, FormatearEntero(t.Estrellas), s.numero(t.HFD, "0.000")};
        for (const auto& columna : t.Noveno)
            for (const auto& n : columna) f.push_back(opcional(n, "0.000"));
        f.push_back(opcional(t.Dispersion, "0.000"));
        f.push_back(opcional(t.DispersionPct, "0.0"));
        s.fila(f);
        if (!s.grafico.empty() && (!mejor || t.HFD < mejor->Mapa.HFD))
            mejor = TFotoInclinacion{fichero, t, std::move(m.Estrellas), Placa.Ancho(), Placa.Alto()};
    });
    if (mejor && !Grafico([&](const TDibujos& d) { d.Inclinacion(s.grafico, *mejor, s.decimal); }))
        estado = 1;
    return estado;
}

int AnalizarPlano(const std::vector<std::string>& ficheros, const TSalidaAnalisis& s) {
    std::vector<TFotoPlano> fotos;
    int estado = RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string&, size_t k) {
        TMedidaCampo m = MedirCampoConEstrellas(Placa);
        TPuntoFoco punto = Punto(Placa, k);
        punto.HFD = m.HFD;
        punto.FWHM = m.FWHM;
        fotos.push_back({punto, std::move(m.Estrellas), Placa.Ancho(), Placa.Alto()});
    });
    TPlanoFocal plano;
    try {
        plano = AjustarPlanoFocal(fotos);
    } catch (const std::exception& e) {
        Fallo(e.what());
        return 1;
    }
    const bool micras = s.pasoUm > 0 && plano.Serie.ConPosicion;
    if (s.pasoUm > 0 && !micras) {
        Fallo("--paso-um necesita la posición del enfocador (FOCUSPOS o FOCPOS) en las fotos");
        estado = 1;
    }
    std::vector<std::string> cabecera, fila;
    const auto columna = [&](const std::string& nombre, const std::optional<double>& v) {
        cabecera.push_back(nombre);
        fila.push_back(v ? FormatoMejor(*v, plano.Serie, s) : "");
    };
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            columna("Mejor_" + std::to_string(10 * (i + 1) + j + 1), plano.Mejor[i][j]);
    const std::pair<const char*, std::optional<double>> figuras[] = {
        {"InclinacionX", plano.InclinacionX},
        {"InclinacionY", plano.InclinacionY},
        {"Curvatura", plano.Curvatura},
        {"Tolerancia", plano.Tolerancia}};
    for (const auto& [nombre, v] : figuras) columna(nombre, v);
    if (micras)
        for (const auto& [nombre, v] : figuras) {
            cabecera.push_back(std::string(nombre) + "_um");
            fila.push_back(v ? s.numero(*v * s.pasoUm, "0.0") : "");
        }
    cabecera.insert(cabecera.end(), {"Veredicto", "Estado"});
    fila.insert(fila.end(), {plano.Veredicto, TextoEstado(plano.Estado)});
    s.fila(cabecera);
    s.fila(fila);
    if (plano.Veredicto.empty()) {
        Fallo("sin curvas de enfoque fiables en el centro y en novenos opuestos no hay veredicto");
        estado = 1;
    }
    if (!s.grafico.empty() &&
        !Grafico([&](const TDibujos& d) { d.Plano(s.grafico, plano, s.decimal); }))
        estado = 1;
    return estado;
}
