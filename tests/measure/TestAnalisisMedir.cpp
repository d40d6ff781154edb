// SPDX-License-Identifier: GPL-3.0-or-later
// quorvel-medir's analyses of a run, --curva and --inclinacion, run as a user runs them, on
// frames of quorvel-simular and of the shared generator.
#include "Ejecutar.h"
#include "EscritorFits.h"
#include "Fotos.h"
#include "Medida.h"
#include "Numeros.h"
#include "Simulacion.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Salida {
    int estado;
    std::vector<std::vector<std::string>> filas; // stdout, split on tabs
    std::string errores;
};

class AnalisisMedir : public ConFotos {
protected:
    Salida Medir(const std::vector<std::string>& argumentos) {
        const Resultado r = Ejecutar(carpeta_, MEDIR, argumentos);
        Salida s{r.estado, {}, r.errores};
        std::istringstream lineas(r.salida);
        for (std::string linea; std::getline(lineas, linea);) {
            s.filas.emplace_back();
            std::istringstream campos(linea);
            for (std::string campo; std::getline(campos, campo, '\t');)
                s.filas.back().push_back(campo);
            if (linea.ends_with('\t')) s.filas.back().emplace_back(); // an empty last column
        }
        return s;
    }
    static std::vector<std::string> Y(std::vector<std::string> a,
                                      const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    // A run of one star through focus at frame `mejor`; each frame's extra header cards come
    // from `tarjetas(i)`. Returns the files' names in order.
    std::vector<std::string> Run(int fotos, double mejor, double fwhmMax,
                                 const std::function<std::vector<std::string>(int)>& tarjetas) {
        std::mt19937_64 azar(77);
        const double b =
            std::max(mejor, fotos - 1 - mejor) / std::sqrt(std::pow(fwhmMax / 3.0, 2) - 1);
        std::vector<std::string> nombres;
        for (int i = 0; i < fotos; ++i) {
            const TEstrellaPerfil e{32.3, 31.6, 2.5e5,
                                    2.35482 * SigmaHiperbola(i, mejor, b, 3.0 / 2.35482)};
            const std::string ruta = carpeta_ / ("f" + std::to_string(100 + i) + ".fits");
            GuardarFichero(
                ruta, FitsDeCuentas(64, 64, ExponerPerfiles(64, 64, {e}, 0, azar), tarjetas(i)));
            nombres.push_back(ruta);
        }
        return nombres;
    }
    static std::vector<std::string> Ninguna(int) { return {}; }
};

const std::vector<std::string> CabeceraCurva{"Figura",    "Mejor",   "Minimo", "R2",
                                             "Puntos",    "Izquierda", "Derecha", "Estado",
                                             "Descartadas"};

TEST_F(AnalisisMedir, PositionFromFocusposFocposOrPlace) {
    // The same frames, positions 500 + 20 i as FOCUSPOS (integer), as FOCPOS (real), or none;
    // with both, FOCUSPOS.
    struct Caso {
        const char* que;
        std::function<std::vector<std::string>(int)> tarjetas;
        double uno, paso; // the first frame's x and the step
    };
    const Caso casos[] = {
        {"FOCUSPOS",
         [](int i) { return std::vector{TarjetaFits("FOCUSPOS", std::to_string(500 + 20 * i))}; },
         500, 20},
        {"FOCPOS",
         [](int i) {
             return std::vector{TarjetaFits("FOCPOS", std::to_string(500 + 20 * i) + ".0")};
         },
         500, 20},
        {"none", Ninguna, 1, 1},
        {"both: FOCUSPOS, not FOCPOS",
         [](int i) {
             return std::vector{TarjetaFits("FOCPOS", std::to_string(9000 - 7 * i) + ".0"),
                                TarjetaFits("FOCUSPOS", std::to_string(500 + 20 * i))};
         },
         500, 20},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        const Salida s = Medir(Y({"--curva"}, Run(11, 6.3, 8, c.tarjetas)));
        EXPECT_EQ(s.estado, 0) << s.errores;
        ASSERT_EQ(s.filas.size(), 3u);
        EXPECT_EQ(s.filas[0], CabeceraCurva);
        EXPECT_EQ(s.filas[1][0], "HFD");
        EXPECT_EQ(s.filas[1][7], "bien");
        EXPECT_EQ(s.filas[1][4], "11");
        EXPECT_NEAR(std::stod(s.filas[1][1]), c.uno + 6.3 * c.paso, 0.25 * c.paso);
        EXPECT_EQ(s.filas[2][0], "FWHM");
    }
}

TEST_F(AnalisisMedir, PlaceholderFwhmsAreLeftOut) {
    // Far out of focus the window's FWHM is the placeholder 10.
    const std::vector<std::string> ficheros = Run(13, 6, 13, Ninguna);
    int reales = 0;
    for (int i = 0; i < 13; ++i) {
        TPlaca placa;
        ASSERT_TRUE(placa.LeerFits(carpeta_ / ("f" + std::to_string(100 + i) + ".fits")));
        TListaOrdenada o;
        TListaAcumulada a;
        reales += MedirEstrella(placa, o, a).FWHM != 10;
    }
    ASSERT_LT(reales, 13);
    const Salida s = Medir(Y({"--curva"}, ficheros));
    ASSERT_EQ(s.filas.size(), 3u);
    EXPECT_EQ(s.filas[1][4], "13");
    EXPECT_EQ(s.filas[2][4], std::to_string(reales));
}

TEST_F(AnalisisMedir, RunsThatCannotBeTrustedExitOneWithTheirRows) {
    // Only the frames before focus: the minimum lies beyond the run.
    Salida s = Medir(Y({"--curva"}, Run(8, 11, 8, Ninguna)));
    EXPECT_EQ(s.estado, 1);
    ASSERT_EQ(s.filas.size(), 3u);
    ASSERT_EQ(s.filas[1].size(), 9u);
    EXPECT_EQ(s.filas[1][1], ""); // no best position past the last frame
    EXPECT_NE(s.filas[1][2], "");
    EXPECT_EQ(s.filas[1][4], "8");
    EXPECT_EQ(s.filas[1][5], "8");
    EXPECT_EQ(s.filas[1][6], "0");
    EXPECT_EQ(s.filas[1][7], "el mínimo cae fuera de lo medido");

    // Positions in some headers and not in others; a position that is not a number.
    const std::vector<std::string> con = Run(9, 4, 8, [](int i) {
        if (i == 3) return std::vector<std::string>{};
        return std::vector{TarjetaFits("FOCUSPOS", i == 5 ? "'cerca'" : std::to_string(i))};
    });
    s = Medir(Y({"--curva"}, con));
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(s.filas.empty());
    EXPECT_NE(s.errores.find("f105.fits: FOCUSPOS no es un número: cerca"), std::string::npos);
    EXPECT_NE(s.errores.find("hace falta en todas o en ninguna"), std::string::npos) << s.errores;
}

TEST_F(AnalisisMedir, UsageErrorsExitTwo) {
    for (const char* a : {"--paso-um 3 --curva x.fits", "--curva --inclinacion --paso-um 0 x.fits",
                          "--curva --inclinacion --paso-um", "--grafico a.png x.fits",
                          "--curva --grafico a.jpg x.fits", "--curva --grafico",
                          "--inclinacion --estrellas --campo x.fits", "--curva"}) {
        SCOPED_TRACE(a);
        std::vector<std::string> argumentos;
        std::istringstream palabras(a);
        for (std::string p; palabras >> p;) argumentos.push_back(p);
        const Salida s = Medir(argumentos);
        EXPECT_EQ(s.estado, 2) << s.errores;
        EXPECT_TRUE(s.filas.empty());
        EXPECT_EQ(s.errores.rfind("quorvel-medir: ", 0), 0u);
    }
}

TEST_F(AnalisisMedir, AnEmptyPictureNameIsRefused) {
    const Salida s = Medir({"--curva", "--grafico", "", "x.fits"});
    EXPECT_EQ(s.estado, 2);
    EXPECT_NE(s.errores.find("--grafico"), std::string::npos) << s.errores;
}

TEST_F(AnalisisMedir, LooseEndsOfARun) {
    // Every frame at one position: an error naming it, no fit.
    const auto en = [](const char* x) {
        return [x](int) { return std::vector{TarjetaFits("FOCUSPOS", x)}; };
    };
    Salida s = Medir(Y({"--curva"}, Run(9, 4, 8, en("1500"))));
    EXPECT_EQ(s.estado, 1);
    EXPECT_TRUE(s.filas.empty());
    EXPECT_NE(s.errores.find("misma posición del enfocador (1500)"), std::string::npos) << s.errores;

    // Frames in file order that never changed focus: said so.
    s = Medir(Y({"--curva"}, Run(9, 4, 3.05, Ninguna)));
    EXPECT_EQ(s.estado, 1);
    ASSERT_EQ(s.filas.size(), 3u);
    EXPECT_EQ(s.filas[1][7], "la anchura no cambia en la serie");
    EXPECT_EQ(s.filas[1][1], "");

    // The same file twice is warned about and still counted twice.
    std::vector<std::string> ficheros = Run(9, 4, 8, Ninguna);
    ficheros.push_back(ficheros[2]);
    s = Medir(Y({"--curva"}, ficheros));
    EXPECT_NE(s.errores.find(ficheros[2] + ": aviso: el mismo fichero"), std::string::npos)
        << s.errores;
    ASSERT_EQ(s.filas.size(), 3u);
    EXPECT_EQ(s.filas[1][4], "10");
}

TEST_F(AnalisisMedir, TheFrameTheFitLeftOutIsNamed) {
    // A run through focus at 5 with frame 7 blurred by a gust: twice as wide.
    std::vector<std::string> ficheros = Run(11, 5, 8, Ninguna);
    {
        std::mt19937_64 azar(3);
        const double b = 5 / std::sqrt(std::pow(8 / 3.0, 2) - 1);
        const TEstrellaPerfil e{32.3, 31.6, 2.5e5, 2 * 3.0 * std::hypot(1, (7 - 5) / b)};
        GuardarFichero(ficheros[7], FitsDeCuentas(64, 64, ExponerPerfiles(64, 64, {e}, 0, azar)));
    }
    const Salida s = Medir(Y({"--curva"}, ficheros));
    ASSERT_EQ(s.filas.size(), 3u);
    EXPECT_EQ(s.filas[1][8], ficheros[7]);
    EXPECT_EQ(s.filas[1][4], "10");
}

TEST_F(AnalisisMedir, PictureAxesWriteNoThousandsGroups) {
    // Positions past 31000: "31,200" beside a best of "31235,59" would read as 31.2.
    const std::vector<std::string> ficheros = Run(9, 4.3, 8, [](int i) {
        return std::vector{TarjetaFits("FOCUSPOS", std::to_string(31000 + 50 * i))};
    });
    const std::string ruta = carpeta_ / "curva.svg";
    const Salida s = Medir(Y({"--curva", "--grafico", ruta}, ficheros));
    EXPECT_EQ(s.estado, 0) << s.errores;
    std::ifstream f(ruta);
    const std::string svg(std::istreambuf_iterator<char>(f), {});
    EXPECT_NE(svg.find(">31200<"), std::string::npos);
    const size_t coma = svg.find(">31,");
    EXPECT_EQ(coma, std::string::npos) << svg.substr(coma == std::string::npos ? 0 : coma, 40);
}

TEST_F(AnalisisMedir, PicturesArePngOrSvgAndAFailedOneIsReported) {
    const std::vector<std::string> ficheros = Run(9, 4.5, 8, Ninguna);
    for (const std::string nombre : {"curva.png", "curva.SVG"}) {
        const std::string ruta = carpeta_ / nombre;
        const Salida s = Medir(Y({"--curva", "--grafico", ruta}, ficheros));
        EXPECT_EQ(s.estado, 0) << s.errores;
        EXPECT_EQ(s.errores, "");
        std::ifstream f(ruta, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(f), {});
        if (nombre.ends_with("png"))
            EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
        else
            EXPECT_NE(bytes.find("<svg"), std::string::npos);
    }
    const Salida s = Medir(Y({"--curva", "--grafico", carpeta_ / "no/hay/carpeta.png"}, ficheros));
    EXPECT_EQ(s.estado, 1);
    EXPECT_EQ(s.filas.size(), 3u);
    EXPECT_NE(s.errores.find("carpeta.png"), std::string::npos);
}

TEST_F(AnalisisMedir, SimulatorRunsThroughBothModes) {
    const std::string run = carpeta_ / "run", campo = carpeta_ / "campo";
    std::filesystem::create_directory(run);
    std::filesystem::create_directory(campo);
    ASSERT_EQ(Ejecutar(carpeta_, SIMULAR,
                       {"-n", "9", "-t", "0", "--semilla", "5", "--ancho", "96", "--alto", "96",
                        "--hiperbola", "--posicion", "1000,25", run})
                  .estado,
              0);
    std::vector<std::string> serie;
    for (const auto& f : std::filesystem::directory_iterator(run)) serie.push_back(f.path());
    std::sort(serie.begin(), serie.end());
    ASSERT_EQ(serie.size(), 9u);
    Salida s = Medir(Y({"--curva"}, serie));
    EXPECT_EQ(s.estado, 0) << s.errores;
    ASSERT_EQ(s.filas.size(), 3u);
    EXPECT_NEAR(std::stod(s.filas[1][1]), 1100, 25 / 4.0);

    // A field leaning along NAXIS1: its stars 60 % wider at the right edge.
    ASSERT_EQ(Ejecutar(carpeta_, SIMULAR,
                       {"-n", "1", "-t", "0", "--semilla", "6", "--ancho", "600", "--alto", "400",
                        "--campo", "150", "--sigma-min", "1.5", "--inclinacion", "0.6", campo})
                  .estado,
              0);
    s = Medir({"--inclinacion", "--grafico", carpeta_ / "mapa.png", campo + "/foco_0001.fits"});
    EXPECT_EQ(s.estado, 0) << s.errores;
    ASSERT_EQ(s.filas.size(), 2u);
    ASSERT_EQ(s.filas[0].size(), 14u);
    EXPECT_EQ(s.filas[0][3], "HFD_11");
    EXPECT_EQ(s.filas[0][11], "HFD_33");
    EXPECT_EQ(s.filas[0][12], "Dispersion");
    ASSERT_EQ(s.filas[1].size(), 14u);
    EXPECT_GT(std::stod(s.filas[1][9]), std::stod(s.filas[1][3])); // HFD_31 over HFD_11
    EXPECT_GT(std::stod(s.filas[1][13]), 20);
    EXPECT_TRUE(std::filesystem::file_size(carpeta_ / "mapa.png") > 1000);
}

} // namespace

namespace {

// The simulator's plane: a run of 11 frames 20 units apart, the best focus changing by 60
// units from left to right and by -30 from bottom to top, the corners 45 beyond the centre.
TEST_F(AnalisisMedir, TheSimulatorsTiltedPlaneFromARun) {
    const std::string run = carpeta_ / "plano";
    ASSERT_EQ(Ejecutar(carpeta_, SIMULAR,
                       {"-n", "11", "-t", "0", "--semilla", "8", "--ancho", "900", "--alto", "600",
                        "--campo", "400", "--sigma-min", "1.5", "--sigma-max", "4.5",
                        "--posicion", "1000,20", "--plano", "60,-30,45", run})
                  .estado,
              0);
    std::vector<std::string> serie;
    for (const auto& f : std::filesystem::directory_iterator(run)) serie.push_back(f.path());
    std::sort(serie.begin(), serie.end());
    const Salida s = Medir(Y({"--curva", "--inclinacion", "--paso-um", "2,5", "--grafico",
                              carpeta_ / "plano.svg"},
                             serie));
    EXPECT_EQ(s.estado, 0) << s.errores;
    ASSERT_EQ(s.filas.size(), 2u);
    ASSERT_EQ(s.filas[0].size(), 19u);
    EXPECT_EQ(s.filas[0][0], "Mejor_11");
    EXPECT_EQ(s.filas[0][9], "InclinacionX");
    EXPECT_EQ(s.filas[0][13], "InclinacionX_um");
    ASSERT_EQ(s.filas[1].size(), 19u);
    // Truths from the plane: the outer thirds' stars lie on average 2/3 of the frame apart; a
    // corner ninth's mean squared distance from the centre, relative to a corner's, is 4 · 13/108,
    // the centre's 4 · 1/108. The centre frame is at 1100.
    const auto num = [&](int k) { return std::stod(s.filas[1][static_cast<size_t>(k)]); };
    EXPECT_NEAR(num(9), 40, 6);
    EXPECT_NEAR(num(10), -20, 6);
    EXPECT_NEAR(num(11), 45 * 4 * 12 / 108.0, 6);
    EXPECT_NEAR(num(4), 1100 + 45 * 4 / 108.0, 6);
    // The tolerance, from the simulator's cone: sigma grows threefold over 5 frames of 20.
    EXPECT_NEAR(num(12), 100 / std::sqrt(8.0) * std::sqrt(0.21), 3);
    EXPECT_NEAR(num(13), 2.5 * num(9), 0.06);
    EXPECT_EQ(s.filas[1][17], "inclinado y curvado");
    EXPECT_EQ(s.filas[1][18], "bien");
    EXPECT_GT(std::filesystem::file_size(carpeta_ / "plano.svg"), 1000u);
}

} // namespace
