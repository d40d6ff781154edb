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

// The focuser position of the header: FOCUSPOS, else FOCPOS; none when neither is there.
std::optional<double> Posicion(const TPlaca& Placa) {
    for (const char* clave : {"FOCUSPOS", "FOCPOS"}) {
        const std::string valor = Placa.LeerClave(clave);
        if (valor.empty()) continue;
        if (!EsNumero(valor))
            throw std::runtime_error(std::string(clave) + " no es un número: " + valor);
        const double x = ConvertirNumero(valor);
        if (!std::isfinite(x)) throw std::runtime_error(std::string(clave) + " fuera de rango");
        return x;
    }
    return std::nullopt;
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

// The writer's message names the file.
bool Grafico(const std::function<void()>& dibujar) {
    try {
        dibujar();
        return true;
    } catch (const std::exception& e) {
        Fallo(e.what());
        return false;
    }
}

} // namespace

bool CargarFoto(TPlaca& Placa, const std::string& fichero, std::string& motivo) {
    motivo = NoEsFoto(fichero);
    if (motivo.empty() && !Placa.LeerFits(fichero)) motivo = Mensaje;
    return motivo.empty();
}

int AnalizarCurva(const std::vector<std::string>& ficheros, bool campo, const TSalidaAnalisis& s) {
    struct Punto {
        std::optional<double> x;
        double lugar, hfd, fwhm;
    };
    std::vector<Punto> puntos;
    int estado = 0;
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    for (size_t k = 0; k < ficheros.size(); ++k) {
        try {
            TPlaca Placa;
            std::string motivo;
            if (!CargarFoto(Placa, ficheros[k], motivo)) {
                Fallo(ficheros[k], motivo);
                estado = 1;
                continue;
            }
            Punto p{Posicion(Placa), static_cast<double>(k + 1), 0, 0};
            if (campo) {
                const TMedidaCampo m = MedirCampo(Placa);
                if (m.Estrellas.empty()) throw std::runtime_error("ninguna estrella medible");
                p.hfd = m.HFD;
                p.fwhm = m.FWHM;
            } else {
                const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
                p.hfd = f.HFD;
                p.fwhm = f.FWHM;
            }
            puntos.push_back(p);
        } catch (const std::exception& e) {
            Fallo(ficheros[k], e.what());
            estado = 1;
        }
    }
    size_t conPosicion = 0;
    for (const Punto& p : puntos) conPosicion += p.x.has_value();
    if (conPosicion > 0 && conPosicion < puntos.size()) {
        Fallo("unas fotos dan su posición (FOCUSPOS o FOCPOS) y otras no: hace falta en todas o "
              "en ninguna");
        return 1;
    }

    std::vector<TFiguraCurva> figuras{{"HFD", {}, {}, {}}, {"FWHM", {}, {}, {}}};
    for (const Punto& p : puntos) {
        const double x = p.x ? *p.x : p.lugar;
        figuras[0].X.push_back(x);
        figuras[0].Y.push_back(p.hfd);
        figuras[1].X.push_back(x);
        // FWHMBorrosa stands for a star too wide to fit.
        figuras[1].Y.push_back(p.fwhm == FWHMBorrosa ? NAN : p.fwhm);
    }
    s.fila({"Figura", "Mejor", "Minimo", "R2", "Puntos", "Izquierda", "Derecha", "Estado"});
    for (TFiguraCurva& f : figuras) {
        f.Ajuste = AjustarCurva(f.X, f.Y);
        const TAjusteCurva& a = f.Ajuste;
        const auto valor = [&](double v, const char* formato) {
            return a.Ajustado ? s.numero(v, formato) : std::string();
        };
        s.fila({f.Nombre, valor(a.P, "0.00"), valor(a.A, "0.000"), valor(a.R2, "0.000"),
                FormatearEntero(a.Puntos), FormatearEntero(a.Izquierda), FormatearEntero(a.Derecha),
                a.Estado});
    }
    if (!figuras[0].Ajuste.Bien()) estado = 1;
    if (!s.grafico.empty() && !Grafico([&] { DibujarCurva(s.grafico, figuras, conPosicion > 0); }))
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
    int estado = 0;
    for (const std::string& fichero : ficheros) {
        try {
            TPlaca Placa;
            std::string motivo;
            if (!CargarFoto(Placa, fichero, motivo)) {
                Fallo(fichero, motivo);
                estado = 1;
                continue;
            }
            TMedidaCampo m = MedirCampo(Placa);
            if (m.Estrellas.empty()) throw std::runtime_error("ninguna estrella medible");
            const TInclinacion t = MedirInclinacion(m.Estrellas, Placa.Ancho(), Placa.Alto());
            const auto opcional = [&](const std::optional<double>& v, const char* formato) {
                return v ? s.numero(*v, formato) : std::string();
            };
            std::vector<std::string> f{fichero, FormatearEntero(t.Estrellas),
                                       s.numero(t.HFD, "0.000")};
            for (const auto& columna : t.Noveno)
                for (const auto& n : columna) f.push_back(opcional(n, "0.000"));
            f.push_back(opcional(t.Inclinacion, "0.000"));
            f.push_back(opcional(t.InclinacionPct, "0.0"));
            f.push_back(opcional(t.Curvatura, "0.000"));
            f.push_back(t.Veredicto);
            s.fila(f);
            if (!s.grafico.empty() && (!mejor || t.HFD < mejor->inclinacion.HFD))
                mejor = Dibujo{fichero, t, std::move(m.Estrellas), Placa.Ancho(), Placa.Alto()};
        } catch (const std::exception& e) {
            Fallo(fichero, e.what());
            estado = 1;
        }
    }
    if (mejor && !Grafico([&] {
            DibujarInclinacion(s.grafico, mejor->fichero, mejor->inclinacion, mejor->estrellas,
                               mejor->ancho, mejor->alto);
        }))
        estado = 1;
    return estado;
}
