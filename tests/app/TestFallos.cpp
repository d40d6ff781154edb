// SPDX-License-Identifier: GPL-3.0-or-later
// Faults around the watch cycle: files and folders changing under it, odd folder texts.
#include "Limites.h"
#include "Ventana.h"

#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <unistd.h>

namespace {

struct Fallos : EnVentana {
    void Fotos(int n) {
        for (int i = 0; i < n; ++i)
            GuardarFichero(fotos / ("f" + std::to_string(100 + i) + ".fits"),
                           FotoConEstrella(9000));
    }
    // One tick, and the window must come out of it watching and without an error box.
    void Tic() {
        v->Timer1Timer();
        EXPECT_TRUE(v->errores.isEmpty()) << v->errores.join("; ").toStdString();
        EXPECT_TRUE(v->Timer1->isActive());
    }
};

} // namespace

TEST_F(Fallos, FotoBorradaOTruncadaEntreListadoYLectura) {
    Fotos(4);
    Arrancar();
    v->ListarFotos();
    fs::remove(fotos / "f101.fits");
    fs::resize_file(fotos / "f102.fits", 3000);
    // Shrunk long ago, not caught in the middle of a write.
    fs::last_write_time(fotos / "f102.fits",
                        fs::file_time_type::clock::now() - std::chrono::seconds(60));
    v->ProcesarFotos();
    EXPECT_EQ(v->XCrudas().size(), 2u);
    EXPECT_EQ(v->FotosProcesadas, 4);
    Tic();
}

TEST_F(Fallos, FotoSinPermisoDeLectura) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    Fotos(2);
    fs::permissions(fotos / "f100.fits", fs::perms::none);
    Arrancar();
    Tic();
    EXPECT_EQ(v->XCrudas().size(), 1u);
}

TEST_F(Fallos, CarpetaBorradaSustituidaYRestaurada) {
    Fotos(3);
    Arrancar();
    Tic();
    const fs::path aparte = fotos.ruta.string() + ".aparte";
    fs::rename(fotos.ruta, aparte);
    Tic();
    EXPECT_EQ(v->ListaFotos->count(), 0);
    GuardarFichero(fotos.ruta.string(), "ahora soy un fichero");
    Tic();
    EXPECT_EQ(v->ListaFotos->count(), 0);
    fs::remove(fotos.ruta);
    fs::rename(aparte, fotos.ruta);
    Tic();
    EXPECT_EQ(v->XCrudas().size(), 3u) << "each file once in a run, back or not";
    EXPECT_EQ(v->FotosProcesadas, 3);
}

TEST_F(Fallos, TextosDeCarpetaRaros) {
    Fotos(2);
    fs::create_directory(fotos.ruta / "sub");
    GuardarFichero(fotos / "sub/g.fits", FotoConEstrella(5000));
    const struct {
        std::string texto;
        size_t puntos;
    } casos[] = {
        {fotos.ruta.string() + "/", 2},          // trailing "/"
        {fotos.ruta.string() + "/f100.fits", 0}, // names a file
        {"sub", 0},                              // relative: not read from the working folder
        {fotos.ruta.string() + "/no-existe", 0},
    };
    const fs::path antes = fs::current_path();
    fs::current_path(fotos.ruta);
    for (const auto& c : casos) {
        Arrancar(c.texto);
        Tic();
        EXPECT_EQ(v->XCrudas().size(), c.puntos) << c.texto;
    }
    fs::current_path(antes);
}

TEST_F(Fallos, CarpetaConNombreQueNoEsUtf8) {
    const std::string raro = fotos.ruta.string() + "/noche-\xff\xfe";
    fs::create_directory(raro);
    GuardarFichero(raro + "/a.fits", FotoConEstrella(9000));
    GuardarFichero(raro + "/b.fits", FotoConEstrella(9000));
    Arrancar(raro);
    Tic();
    EXPECT_EQ(v->XCrudas().size(), 2u);
    EXPECT_EQ(v->Carpeta(), raro);
    v->close();
    std::ifstream f(programa / "quorvel.ini", std::ios::binary);
    std::string linea;
    std::getline(f, linea);
    EXPECT_EQ(linea, raro + "\r") << "the setting keeps the real bytes";
}

TEST_F(Fallos, MilesDeFicherosAjenosYEnlacesRaros) {
    Fotos(10);
    for (int i = 0; i < 2000; ++i)
        GuardarFichero(fotos / ("otro" + std::to_string(i) + ".txt"), "x");
    ::symlink((fotos / "bucle2.fits").c_str(), (fotos / "bucle1.fits").c_str());
    ::symlink((fotos / "bucle1.fits").c_str(), (fotos / "bucle2.fits").c_str());
    fs::create_directory(fotos.ruta / "d");
    ::symlink((fotos.ruta / "d").c_str(), (fotos / "x.fits").c_str());
    Arrancar();
    Tic();
    EXPECT_EQ(v->ListaFotos->count(), 10);
    EXPECT_EQ(v->XCrudas().size(), 10u);
}

TEST_F(Fallos, AjustesBajoPresion) {
    // A megabyte without a line end, and NUL bytes: the first line is taken as it is.
    const std::string largo(1 << 20, 'a');
    GuardarFichero(programa / "quorvel.ini", "/" + largo);
    v = std::make_unique<Ventana>(programa.ruta.string() + "/");
    // The edit box holds at most 32767 characters: no path is that long, the rest is cut.
    EXPECT_TRUE(v->Edit1->text().startsWith("/aaa"));
    Tic();
    GuardarFichero(programa / "quorvel.ini", std::string("/da\0tos\r\nresto", 14));
    v = std::make_unique<Ventana>(programa.ruta.string() + "/");
    EXPECT_EQ(v->Carpeta(), std::string("/da\0tos", 7));
    Tic();
    // A folder path of 4,000 characters survives a close and a start.
    const std::string camino = "/" + std::string(4000, 'c');
    v->Edit1->setText(QString::fromStdString(camino));
    EXPECT_TRUE(v->close());
    v = std::make_unique<Ventana>(programa.ruta.string() + "/");
    EXPECT_EQ(v->Carpeta(), camino);
    Tic();
}

TEST_F(Fallos, AjusteDeSoloLecturaSeLeeYSeSustituyeAlCerrar) {
    Arrancar("/cielo/anterior");
    fs::permissions(programa / "quorvel.ini", fs::perms::owner_read | fs::perms::group_read);
    v = std::make_unique<Ventana>(programa.ruta.string() + "/");
    EXPECT_EQ(v->Carpeta(), "/cielo/anterior");
    v->Edit1->setText("/cielo/nuevo");
    EXPECT_TRUE(v->close());
    EXPECT_TRUE(v->errores.isEmpty()) << "the file is replaced, not written into";
    std::ifstream f(programa / "quorvel.ini", std::ios::binary);
    std::string linea;
    std::getline(f, linea);
    EXPECT_EQ(linea, "/cielo/nuevo\r");
}

TEST_F(Fallos, DiscoLlenoAlCerrarConservaElAjusteAnterior) {
    Arrancar("/cielo/anterior");
    v->Edit1->setText("/cielo/nuevo");
    v->show();
    {
        LimiteEscritura limite(4); // the new line does not fit
        EXPECT_TRUE(v->close());
    }
    EXPECT_FALSE(v->isVisible()) << "the window closes all the same";
    ASSERT_EQ(v->errores.size(), 1);
    EXPECT_EQ(v->errores[0].toStdString(), "No se puede escribir " + (programa / "quorvel.ini") +
                                               ": Fichero demasiado grande");
    std::ifstream f(programa / "quorvel.ini", std::ios::binary);
    std::string linea;
    std::getline(f, linea);
    EXPECT_EQ(linea, "/cielo/anterior\r");
    EXPECT_FALSE(fs::exists(programa / ".quorvel.ini.part"));
}

// A relative folder, in the setting or typed into the box, is no folder: nothing is listed,
// measured or deleted, wherever the program was started.
TEST_F(Fallos, CarpetaRelativaNiSeListaNiSeBorra) {
    fs::create_directory(fotos.ruta / "rel");
    GuardarFichero(fotos / "rel/a.fits", FotoConEstrella(9000));
    const fs::path antes = fs::current_path();
    fs::current_path(fotos.ruta);
    Arrancar("rel");
    Tic();
    v->Edit1->setText("./rel");
    Tic();
    EXPECT_EQ(v->ListaFotos->count(), 0);
    EXPECT_TRUE(v->XCrudas().empty());
    v->respuesta = true;
    v->Button2->click();
    EXPECT_TRUE(fs::exists(fotos / "rel/a.fits"));
    ASSERT_EQ(v->detalles.size(), 1);
    EXPECT_EQ(v->detalles[0].toStdString(),
              "La carpeta ./rel no es una ruta absoluta y no se vigila: no se borrará ningún "
              "fichero.");
    fs::current_path(antes);
}

// A frame whose header claims more pixels than the program takes is skipped, without a box,
// and the watch goes on with the next frame.
TEST_F(Fallos, FotoDemasiadoGrandeSeSalta) {
    Fotos(1);
    ASSERT_TRUE(FotoEnorme(fotos / "f101.fits", 32768, 32768));
    GuardarFichero(fotos / "f102.fits", FotoConEstrella(9000));
    Arrancar();
    Tic();
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 2}));
    EXPECT_EQ(v->FotosProcesadas, 3);
}
