// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnalisisNoche.h"

#include "Campo.h"
#include "Consola.h"
#include "DibujoAnalisis.h"
#include "Errores.h"
#include "Medida.h"
#include "Noche.h"
#include "Numeros.h"
#include "SerieFoco.h"
#include "UTPlaca.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace {

void Fallo(const std::string& motivo) {
    Avisar("quorvel-medir", motivo);
}

struct TSerieNoche {
    int Numero = 0; // 1 the night's first
    TTramo Tramo;
    std::string Inicio, Filtro;
    std::optional<double> Temperatura;
    TSerieFoco Ajuste;
    size_t Medidas = 0; // the run's frames that could be measured
};

// The run's name in messages: its number, filter and start.
std::string Nombre(const TSerieNoche& s) {
    std::string n = "serie " + std::to_string(s.Numero);
    if (!s.Filtro.empty()) n += " (" + s.Filtro + ")";
    if (!s.Inicio.empty()) n += " de " + s.Inicio;
    return n;
}

// Measures each run's frames and fits its curves; a run whose fit raises is named and left
// out. estado becomes 1 when a frame or a run fails.
std::vector<TSerieNoche> MedirSeries(const std::vector<TFotoNoche>& fotos, bool campo,
                                     int& estado) {
    std::vector<TSerieNoche> series;
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    int numero = 0;
    for (const TTramo& t : BuscarSeries(fotos)) {
        TSerieNoche s{++numero,
                      t,
                      fotos[t.Primera].Fecha,
                      fotos[t.Primera].Filtro,
                      TemperaturaSerie(fotos, t),
                      {}};
        std::vector<std::string> ficheros;
        for (size_t k = t.Primera; k < t.Primera + t.Fotos; ++k)
            ficheros.push_back(fotos[k].Fichero);
        std::vector<TPuntoFoco> puntos;
        estado |= RecorrerFotos(ficheros, [&](TPlaca& Placa, const std::string&, size_t k) {
            TPuntoFoco p{PosicionEnfocador(Placa), static_cast<double>(k + 1), 0, 0};
            if (campo) {
                const TMedidaCampo m = MedirCampoConEstrellas(Placa);
                p.HFD = m.HFD, p.FWHM = m.FWHM;
            } else {
                const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
                p.HFD = f.HFD, p.FWHM = f.FWHM;
            }
            puntos.push_back(p);
        });
        s.Medidas = puntos.size();
        try {
            s.Ajuste = AjustarSerie(puntos);
            series.push_back(std::move(s));
        } catch (const std::exception& e) {
            Fallo(Nombre(s) + ": " + TextoError(e));
            estado = 1;
        }
    }
    return series;
}

// Two decimals past the positions' own, as --curva writes its best position.
std::string FormatoPasos(const std::vector<TSerieNoche>& series) {
    int decimales = 0;
    for (const TSerieNoche& s : series) decimales = std::max(decimales, s.Ajuste.Decimales);
    return "0." + std::string(static_cast<size_t>(decimales) + 2, '0');
}

void EscribirSeries(const std::vector<TSerieNoche>& series, const TSalidaAnalisis& s) {
    s.fila(
        {"Serie", "Inicio", "Fotos", "Filtro", "Temperatura", "Mejor", "Minimo", "R2", "Estado"});
    for (const TSerieNoche& n : series) {
        const TAjusteCurva& a = n.Ajuste.HFD;
        const auto valor = [&](double v, const std::string& formato) {
            return a.Ajustado ? s.numero(v, formato.c_str()) : std::string();
        };
        s.fila({FormatearEntero(n.Numero), n.Inicio,
                FormatearEntero(static_cast<int64_t>(n.Medidas)), n.Filtro,
                n.Temperatura ? s.numero(*n.Temperatura, "0.00") : std::string(),
                valor(a.P, "0." + std::string(static_cast<size_t>(n.Ajuste.Decimales) + 2, '0')),
                valor(a.A, "0.000"), valor(a.R2, "0.000"), TextoEstado(a.Estado)});
    }
}

void EscribirModelo(const TModeloFoco& m, const std::string& formato, const TSalidaAnalisis& s) {
    s.fila({"Filtro", "Desplazamiento", "PasosPorGrado", "Series", "R2"});
    for (const TFiltroModelo& f : m.Filtros)
        s.fila({f.Filtro, s.numero(f.Desplazamiento, formato.c_str()),
                m.PasosPorGrado ? s.numero(*m.PasosPorGrado, formato.c_str()) : std::string(),
                FormatearEntero(f.Series), s.numero(m.R2, "0.000")});
}

} // namespace

int AnalizarNoche(const std::vector<std::string>& ficheros, bool campo, bool modelo,
                  const TSalidaAnalisis& s) {
    std::vector<TFotoNoche> fotos;
    // Headers first: the exposures between the runs are never measured, and their pixels,
    // most of a night's bytes, are not read.
    int estado = RecorrerFotos(
        ficheros,
        [&](TPlaca& Placa, const std::string& fichero, size_t) {
            fotos.push_back(LeerFotoNoche(Placa, fichero));
        },
        true);
    OrdenarNoche(fotos);
    const std::vector<TSerieNoche> series = MedirSeries(fotos, campo, estado);
    if (series.empty()) {
        Fallo("ninguna serie de enfoque entre las fotos: hacen falta " +
              std::to_string(FotosMinimasSerie) +
              " fotos seguidas de un filtro con posiciones distintas que avancen en un sentido");
        return 1;
    }
    if (!modelo) EscribirSeries(series, s);

    std::vector<TPuntoNoche> puntos;
    std::vector<TPuntoModelo> buenas;
    for (const TSerieNoche& n : series) {
        const bool bien = n.Ajuste.HFD.Bien();
        if (!n.Ajuste.HFD.Ajustado) continue; // no best position to draw
        puntos.push_back({n.Numero, {n.Filtro, n.Temperatura, n.Ajuste.HFD.P}, bien});
        if (bien) buenas.push_back(puntos.back().Punto);
    }
    const bool conT = std::any_of(buenas.begin(), buenas.end(),
                                  [](const TPuntoModelo& p) { return p.Temperatura.has_value(); });
    for (const TSerieNoche& n : series) {
        if (modelo && !n.Ajuste.HFD.Bien())
            Fallo(Nombre(n) + ": " + TextoEstado(n.Ajuste.HFD.Estado) + "; fuera del modelo");
        else if (modelo && conT && !n.Temperatura)
            Fallo(Nombre(n) + ": sin temperatura; fuera del modelo");
    }

    std::optional<TModeloFoco> m;
    try {
        m = AjustarModelo(buenas);
    } catch (const std::exception& e) {
        if (modelo) {
            Fallo(TextoError(e));
            estado = 1;
        }
    }
    if (modelo && m) EscribirModelo(*m, FormatoPasos(series), s);
    if (!s.grafico.empty() && !Grafico([&](const TDibujos& d) { d.Noche(s.grafico, puntos, m, s.decimal); })) estado = 1;
    return estado;
}
