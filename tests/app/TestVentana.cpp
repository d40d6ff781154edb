// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven tick by tick on real files in a scratch folder.
#include "USelDir.h"
#include "Ventana.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

std::string Contenido(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

using Vigilancia = EnVentana;

} // namespace

TEST(Ajustes, SinFicheroQuedaInactiva) {
    CarpetaTemporal programa;
    Ventana v(programa.ruta.string() + "/");
    EXPECT_TRUE(v.Edit1->text().isEmpty());
    EXPECT_FALSE(v.Timer1->isActive());
    EXPECT_EQ(v.Label2->text(), "0");
    EXPECT_EQ(v.Chart1->Series(0).Count(), 0);
}

TEST(Ajustes, PrimeraLinea) {
    const struct {
        const char* contenido;
        const char* carpeta;
    } casos[] = {
        {"\r\n", ""},
        {"", ""},
        {"/datos/noche\r\n", "/datos/noche"},
        {"/datos/noche\n", "/datos/noche"},
        {"/datos/noche", "/datos/noche"},
        {"/uno\r\n/dos\r\n/tres\r\n", "/uno"},
        {"/con\rretorno\n", "/conretorno"},
    };
    for (const auto& c : casos) {
        CarpetaTemporal programa;
        GuardarFichero(programa / "quorvel.ini", c.contenido);
        Ventana v(programa.ruta.string() + "/");
        EXPECT_EQ(v.Edit1->text().toStdString(), c.carpeta) << c.contenido;
        EXPECT_TRUE(v.Timer1->isActive()) << "a settings file always starts the watch";
        v.close();
        EXPECT_EQ(Contenido(programa / "quorvel.ini"), std::string(c.carpeta) + "\r\n");
    }
}

TEST(Ajustes, CarpetaRecordadaEntreSesiones) {
    CarpetaTemporal programa;
    {
        Ventana v(programa.ruta.string() + "/");
        v.Edit1->setText("/cielo/m31");
        v.close();
    }
    Ventana v(programa.ruta.string() + "/");
    EXPECT_EQ(v.Edit1->text(), "/cielo/m31");
    EXPECT_TRUE(v.Timer1->isActive());
}

TEST(Ajustes, NoEscribibleAvisaYCierraIgualmente) {
    CarpetaTemporal programa;
    Ventana v(programa.ruta.string() + "/no-existe/");
    v.show();
    v.Edit1->setText("/cielo");
    EXPECT_TRUE(v.close());
    EXPECT_FALSE(v.isVisible());
    ASSERT_EQ(v.errores.size(), 1);
    EXPECT_TRUE(v.errores[0].contains("quorvel.ini"));
}

TEST(Ajustes, UnaCarpetaLlamadaComoElFicheroNoEsAjuste) {
    CarpetaTemporal programa;
    fs::create_directory(programa.ruta / "quorvel.ini");
    Ventana v(programa.ruta.string() + "/");
    EXPECT_FALSE(v.Timer1->isActive());
    EXPECT_TRUE(v.errores.isEmpty());
}

// A FIFO or a device under the settings file's name: the error box, and the program starts
// idle without ever waiting on it.
TEST(Ajustes, FicheroQueNoEsNormalAvisaYQuedaInactiva) {
    const struct {
        const char* caso;
        std::function<int(const char*)> crear;
    } casos[] = {
        {"tuberia", [](const char* r) { return ::mkfifo(r, 0600); }},
        {"dispositivo sin fin", [](const char* r) { return ::symlink("/dev/zero", r); }},
        {"dispositivo vacio", [](const char* r) { return ::symlink("/dev/null", r); }},
    };
    ::alarm(60); // an open that blocks ends the test program instead of hanging it
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        CarpetaTemporal programa;
        ASSERT_EQ(c.crear((programa / "quorvel.ini").c_str()), 0);
        Ventana v(programa.ruta.string() + "/");
        ASSERT_EQ(v.errores.size(), 1);
        EXPECT_TRUE(v.errores[0].contains("quorvel.ini"));
        EXPECT_FALSE(v.Timer1->isActive());
        EXPECT_TRUE(v.Edit1->text().isEmpty());
    }
    ::alarm(0);
}

TEST_F(Vigilancia, FotosPresentesSeMidenEnOrden) {
    Foto("a.fits", 10000);
    Foto("b.fits", 20000);
    Foto("c.fits", 30000);
    Arrancar();
    v->Timer1Timer();
    EXPECT_EQ(v->FotosProcesadas, 3);
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(v->Label2->text().toInt(), v->Chart1->Series(0).MaxYValue())
        << "the latest is the brightest";
    EXPECT_TRUE(v->Timer1->isActive());

    Foto("d.fits");
    Foto("e.fits");
    v->Timer1Timer();
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2, 3, 4}));
    EXPECT_EQ(v->Medias(), 1);
    v->Timer1Timer(); // nothing new: nothing measured twice
    EXPECT_EQ(v->XCrudas().size(), 5u);
}

TEST_F(Vigilancia, FotoNoAdmitidaOcupaPosicionSinPunto) {
    Foto("a.fits");
    GuardarFichero(fotos / "b.fits",
                   BloqueCabecera({TarjetaFits("SIMPLE", "T"), TarjetaFits("BITPIX", "8"),
                                   TarjetaFits("NAXIS", "2")}));
    Foto("c.fits");
    GuardarFichero(fotos / "notas.txt", "no es una foto");
    Arrancar();
    v->Timer1Timer();
    EXPECT_EQ(v->FotosProcesadas, 3);
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 2}));
}

// Cut inside the first header record, after the header, and inside the data.
const size_t Cortes[] = {0, 1000, 2880, 2880 + 4000};

// A frame caught while it is written waits, and the frames after it wait with it; once
// complete it is measured once, at its own position, and the rest follow.
TEST_F(Vigilancia, FotoEscritaEnDosMitadesSeMideUnaVezEnSuPosicion) {
    const std::string completa = FotoConEstrella(20000);
    for (const size_t corte : Cortes) {
        SCOPED_TRACE(corte);
        fs::remove_all(fotos.ruta);
        fs::create_directory(fotos.ruta);
        Foto("a.fits");
        GuardarFichero(fotos / "b.fits", completa.substr(0, corte));
        Foto("c.fits");
        Arrancar();
        v->Timer1Timer();
        v->Timer1Timer();
        EXPECT_EQ(v->FotosProcesadas, 1);
        EXPECT_EQ(v->XCrudas(), (std::vector<double>{0}));
        GuardarFichero(fotos / "b.fits", completa);
        v->Timer1Timer();
        v->Timer1Timer();
        EXPECT_EQ(v->FotosProcesadas, 3);
        EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2}));
    }
}

// Ten seconds after its last change a short frame is given up, exactly as a bad one, and the
// frames after it go on; a clock ten seconds or more ahead on the writer's side counts the same.
TEST_F(Vigilancia, FotoQueNoSeCompletaSeSaltaALosDiezSegundos) {
    using namespace std::chrono_literals;
    for (const auto edad : {11s, -11s}) {
        SCOPED_TRACE(edad.count());
        fs::remove_all(fotos.ruta);
        fs::create_directory(fotos.ruta);
        Foto("a.fits");
        GuardarFichero(fotos / "b.fits", FotoConEstrella(20000).substr(0, 2880 + 4000));
        Foto("c.fits");
        Foto("d.fits");
        Arrancar();
        v->Timer1Timer();
        EXPECT_EQ(v->XCrudas(), (std::vector<double>{0}));
        fs::last_write_time(fotos / "b.fits", fs::file_time_type::clock::now() - edad);
        v->Timer1Timer();
        EXPECT_EQ(v->FotosProcesadas, 4);
        EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 2, 3}));
        v->Timer1Timer();
        EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 2, 3})) << "given up for good";
    }
}

// Every frame is first seen half written, the next one arriving as the last one completes.
TEST_F(Vigilancia, RachaDeFotosQueLleganAMediasSeMideEntera) {
    const std::string completa = FotoConEstrella(20000);
    const int n = 5;
    const auto nombre = [](int i) { return "f" + std::to_string(10 + i) + ".fits"; };
    Arrancar();
    std::vector<double> esperadas;
    for (int i = 0; i <= n; ++i) {
        if (i > 0) GuardarFichero(fotos / nombre(i - 1), completa);
        if (i < n) GuardarFichero(fotos / nombre(i), completa.substr(0, Cortes[i % 4]));
        v->Timer1Timer();
        if (i > 0) esperadas.push_back(i - 1);
        EXPECT_EQ(v->XCrudas(), esperadas);
        EXPECT_EQ(v->FotosProcesadas, i);
    }
}

TEST_F(Vigilancia, CarpetaQueDesapareceYVuelve) {
    Foto("a.fits");
    Foto("b.fits");
    Arrancar();
    v->Timer1Timer();
    const fs::path aparte = fotos.ruta.string() + ".aparte";
    fs::rename(fotos.ruta, aparte);
    v->Timer1Timer();
    EXPECT_EQ(v->FotosProcesadas, 2) << "the entries handled in this run";
    EXPECT_TRUE(v->errores.isEmpty());
    fs::rename(aparte, fotos.ruta);
    v->Timer1Timer();
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1})) << "each file once in a run";
    Foto("c.fits");
    v->Timer1Timer();
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2}));
}

// The camera's counter grows a digit: the new frame comes after the known ones, measured once.
TEST_F(Vigilancia, ContadorQueCreceUnDigito) {
    for (const int ultimo : {9, 99}) {
        SCOPED_TRACE(ultimo);
        fs::remove_all(fotos.ruta);
        fs::create_directory(fotos.ruta);
        for (int i = 1; i <= ultimo; ++i) Foto("f_" + std::to_string(i) + ".fits", 10000);
        Arrancar();
        v->Timer1Timer();
        Foto("f_" + std::to_string(ultimo + 1) + ".fits", 30000);
        v->Timer1Timer();
        ASSERT_EQ(v->FotosProcesadas, ultimo + 1);
        const TFastLineSeries& maximos = v->Chart1->Series(0);
        ASSERT_EQ(maximos.Count(), ultimo + 1);
        EXPECT_EQ(maximos.XValues[ultimo], ultimo);
        EXPECT_GT(maximos.YValues[ultimo], 20000) << "the new frame, not the last one again";
        EXPECT_LT(maximos.YValues[ultimo - 1], 20000);
    }
}

// A complete frame whose header holds a value that is no number is bad, not half written:
// skipped at once, the frames after it measured in the same tick.
TEST_F(Vigilancia, FotoCompletaConValorMaloSeSaltaEnSeguida) {
    std::string mala = FotoConEstrella(20000);
    const std::string naxis1 = TarjetaFits("NAXIS1", "64");
    const size_t donde = mala.find(naxis1.substr(0, 30));
    ASSERT_NE(donde, std::string::npos);
    mala.replace(donde, 80, TarjetaFits("NAXIS1", "'abc'"));
    Foto("a.fits");
    GuardarFichero(fotos / "b.fits", mala);
    Foto("c.fits");
    Arrancar();
    v->Timer1Timer();
    EXPECT_EQ(v->FotosProcesadas, 3);
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 2}));
}

TEST_F(Vigilancia, PuestaACeroDurantUnCiclo) {
    for (const char* n : {"a.fits", "b.fits", "c.fits", "d.fits"}) Foto(n);
    Arrancar();
    v->respuesta = false;
    // Runs inside the message processing that follows the first displayed frame.
    QTimer::singleShot(0, v.get(), [this] { v->PuestaACero(); });
    v->Timer1Timer();
    EXPECT_TRUE(v->XCrudas().empty());
    EXPECT_EQ(v->FotosProcesadas, 0);
    EXPECT_EQ(v->ListaFotos->count(), 0);
    v->Timer1Timer(); // the next tick starts again from the first entry
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2, 3}));
}

// The folder read while a frame arrives: the listing shows a later frame before an earlier
// one. Each is measured once, the late one when it shows, at the next x.
TEST_F(Vigilancia, ListadoQueMuestraAntesUnaFotoPosterior) {
    Foto("f1.fits", 10000);
    Foto("f2.fits", 20000);
    Foto("f3.fits", 30000);
    Foto("f4.fits", 40000);
    Arrancar();
    const std::string d = fotos.ruta.string() + "/";
    std::vector<std::vector<std::string>> listados = {
        {d + "f1.fits", d + "f3.fits"},
        {d + "f1.fits", d + "f2.fits", d + "f3.fits"},
        {d + "f1.fits", d + "f2.fits", d + "f3.fits", d + "f4.fits"},
        {d + "f2.fits", d + "f4.fits"}, // two gone: nothing new
    };
    size_t tic = 0;
    v->Listar = [&](const std::string&) { return listados[std::min(tic, listados.size() - 1)]; };
    for (; tic < listados.size(); ++tic) v->Timer1Timer();
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2, 3}));
    const auto p = v->Puntos(v->Chart1);
    ASSERT_EQ(p.size(), 4u);
    // By their peaks: f1, f3, f2, f4.
    EXPECT_LT(p[0].second, p[2].second);
    EXPECT_LT(p[2].second, p[1].second);
    EXPECT_LT(p[1].second, p[3].second);
    EXPECT_EQ(v->FotosProcesadas, 4);
}

TEST_F(Vigilancia, TicDuranteUnCicloNoAnida) {
    for (const char* n : {"a.fits", "b.fits", "c.fits"}) Foto(n);
    Arrancar();
    int tics = 0;
    QTimer::singleShot(0, v.get(), [&] {
        ++tics;
        v->Timer1Timer();
    });
    v->Timer1Timer();
    EXPECT_EQ(tics, 1);
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2}));
}

TEST_F(Vigilancia, CierreDuranteUnCicloEscribeYCierraAlFinal) {
    for (const char* n : {"a.fits", "b.fits", "c.fits"}) Foto(n);
    Arrancar();
    v->show();
    v->Edit1->setText(QString::fromStdString(fotos.ruta.string()));
    fs::remove(programa / "quorvel.ini");
    bool escritoYVisible = false;
    QTimer::singleShot(0, v.get(), [&] {
        v->close();
        escritoYVisible = fs::exists(programa / "quorvel.ini") && v->isVisible();
    });
    v->Timer1Timer();
    EXPECT_TRUE(escritoYVisible);
    EXPECT_EQ(v->XCrudas().size(), 3u) << "the interrupted cycle finishes";
    EXPECT_FALSE(v->isVisible());
    EXPECT_FALSE(v->Timer1->isActive());
}

TEST_F(Vigilancia, PuestaACeroRespondidaNo) {
    Foto("a.fits");
    Arrancar();
    v->Timer1Timer();
    v->Timer1->stop();
    v->respuesta = false;
    v->Button2->click();
    ASSERT_EQ(v->preguntas.size(), 1);
    EXPECT_EQ(v->preguntas[0],
              QString::fromUtf8("Orvex - Quorvel|     ¿Borramos todas las imágenes y datos?     "));
    EXPECT_EQ(v->detalles[0].toStdString(),
              "Se borrará 1 foto FITS de la carpeta:\n" + fotos.ruta.string());
    EXPECT_TRUE(fs::exists(fotos / "a.fits"));
    EXPECT_EQ(v->XCrudas().size(), 1u);
    EXPECT_NE(v->Label2->text(), "0");
    EXPECT_TRUE(v->Timer1->isActive());
}

TEST_F(Vigilancia, PuestaACeroRespondidaSiBorraSoloLasListadas) {
    for (int i = 0; i < 10; ++i) Foto("f" + std::to_string(i) + ".fits");
    GuardarFichero(fotos / "notas.txt", "se queda");
    fs::create_directory(fotos.ruta / "sub");
    GuardarFichero(fotos / "sub/dentro.fits", FotoConEstrella(1000));
    CarpetaTemporal fuera;
    GuardarFichero(fuera / "objetivo.fits", FotoConEstrella(1000));
    ::symlink((fuera / "objetivo.fits").c_str(), (fotos / "zz-enlace.fits").c_str());
    Arrancar();
    v->Timer1Timer();
    ASSERT_EQ(v->FotosProcesadas, 11);
    // The kernel reports the deletions in the order they happen.
    const int avisos = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(avisos, 0);
    ASSERT_GE(::inotify_add_watch(avisos, fotos.ruta.c_str(), IN_DELETE), 0);
    v->respuesta = true;
    v->Button2->click();
    std::vector<std::string> borradas;
    alignas(inotify_event) char bufer[8192];
    for (ssize_t n; (n = ::read(avisos, bufer, sizeof bufer)) > 0;)
        for (ssize_t k = 0; k < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(bufer + k);
            borradas.push_back(e->name);
            k += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    ::close(avisos);
    EXPECT_EQ(v->detalles.value(0).toStdString(),
              "Se borrarán 11 fotos FITS de la carpeta:\n" + fotos.ruta.string());
    std::vector<std::string> alReves{"zz-enlace.fits"};
    for (int i = 9; i >= 0; --i) alReves.push_back("f" + std::to_string(i) + ".fits");
    EXPECT_EQ(borradas, alReves) << "from the last entry of the list to the first";
    std::vector<std::string> quedan;
    for (const auto& e : fs::directory_iterator(fotos.ruta))
        quedan.push_back(e.path().filename().string());
    std::sort(quedan.begin(), quedan.end());
    EXPECT_EQ(quedan, (std::vector<std::string>{"notas.txt", "sub"}));
    EXPECT_TRUE(fs::exists(fotos / "sub/dentro.fits"));
    EXPECT_TRUE(fs::exists(fuera / "objetivo.fits")) << "a link goes, its target stays";
    EXPECT_TRUE(v->XCrudas().empty());
    EXPECT_EQ(v->Label2->text(), "0");
    EXPECT_TRUE(v->Timer1->isActive());

    v->respuesta = false;
    v->Button2->click(); // before the next listing: nothing listed, nothing to delete
    EXPECT_EQ(v->detalles.value(1).toStdString(),
              "No hay ninguna foto en la lista: no se borrará ningún fichero.");
    Foto("nueva.fits");
    v->Timer1Timer();
    EXPECT_EQ(v->XCrudas(), std::vector<double>{0});
}

TEST_F(Vigilancia, CarpetaCanceladaDejaDeVigilar) {
    Foto("a.fits");
    Arrancar();
    TFSelDir selector;
    FSelDir = &selector;
    v->Timer1Timer();
    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<TFSelDir*>(QApplication::activeModalWidget()))
            d->Button1->click();
    });
    v->Button1->click();
    EXPECT_TRUE(v->Edit1->text().isEmpty());
    EXPECT_FALSE(v->Timer1->isActive());
    EXPECT_EQ(v->XCrudas().size(), 1u) << "the charts keep their points";
    // The box is empty, but the list still holds the frames of the folder watched before: the
    // question says so before anything is deleted.
    Foto("b.fits");
    v->respuesta = false;
    v->Button2->click();
    ASSERT_EQ(v->detalles.size(), 1);
    EXPECT_EQ(v->detalles[0].toStdString(),
              "Se borrará 1 foto FITS de la carpeta:\n" + fotos.ruta.string());
    v->Timer1->stop();
    v->Timer1Timer(); // the empty box lists nothing
    v->Button2->click();
    EXPECT_EQ(v->detalles[1].toStdString(),
              "No se vigila ninguna carpeta: no se borrará ningún fichero.");
    v->Timer1->stop();

    QTimer::singleShot(0, [this] {
        if (auto* d = qobject_cast<TFSelDir*>(QApplication::activeModalWidget())) {
            d->Edit1->setText(QString::fromStdString(fotos.ruta.string()));
            d->Button2->click();
        }
    });
    v->Button1->click();
    EXPECT_EQ(v->Edit1->text().toStdString(), fotos.ruta.string());
    EXPECT_TRUE(v->Timer1->isActive());
    EXPECT_TRUE(v->XCrudas().empty()) << "a chosen folder starts a new run";
    FSelDir = nullptr;
}

TEST_F(Vigilancia, ExtremoAExtremoConLaCamaraSimulada) {
    Arrancar();
    QProcess camara;
    camara.start(SIMULADOR, {"--fotos", "6", "--ancho", "160", "--alto", "120", "--intervalo",
                             "0.3", "--semilla", "3", QString::fromStdString(fotos.ruta.string())});
    ASSERT_TRUE(camara.waitForStarted());
    for (int i = 0; i < 200 && v->XCrudas().size() < 6; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    camara.waitForFinished();
    EXPECT_EQ(v->XCrudas(), (std::vector<double>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(v->Medias(), 2);
    EXPECT_NE(v->Label7->text(), "0");
    EXPECT_TRUE(v->errores.isEmpty());
}

// The wait holds the thread for longer than asked, asleep: the processor time it takes is a
// small part of the wait (a spin would take all of it).
TEST(Espera, DuermeMasDeLoPedido) {
    const auto procesador = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    for (const int32_t ms : {0, 1, 100, 300}) {
        const auto inicio = std::chrono::steady_clock::now();
        const double cpu = procesador();
        TFQuorvel::Esperar(ms);
        const double gastado = procesador() - cpu;
        EXPECT_GT(std::chrono::steady_clock::now() - inicio, std::chrono::milliseconds(ms)) << ms;
        if (ms >= 100) {
            EXPECT_LT(gastado, ms / 10.0) << ms;
        }
    }
    const auto inicio = std::chrono::steady_clock::now();
    TFQuorvel::Esperar(-5);
    EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(5));
}

TEST(Icono, ElDelProyecto) {
    CarpetaTemporal programa;
    Ventana v(programa.ruta.string() + "/");
    const QIcon icono = v.windowIcon();
    ASSERT_FALSE(icono.isNull());
    const QImage imagen = icono.pixmap(48, 48).toImage();
    ASSERT_FALSE(imagen.isNull()) << "the icon cannot be drawn (Qt's SVG support missing?)";
    // Drawn from the project's picture, not blank: more than one colour on it.
    QSet<QRgb> colores;
    for (int y = 0; y < imagen.height(); ++y)
        for (int x = 0; x < imagen.width(); ++x) colores.insert(imagen.pixel(x, y));
    EXPECT_GT(colores.size(), 2);
}
