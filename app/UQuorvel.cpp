// SPDX-License-Identifier: GPL-3.0-or-later
#include "UQuorvel.h"

#include "Entorno.h"
#include "Errores.h"
#include "Medida.h"
#include "Reloj.h"
#include "USelDir.h"
#include "UTPlaca.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

TFSelDir* FSelDir = nullptr;

namespace {

constexpr int RutaReal = Qt::UserRole; // the entry's path as bytes, for opening and deleting

QString DeBytes(const std::string& s) {
    return QFile::decodeName(QByteArray::fromStdString(s));
}
std::string ABytes(const QString& s) {
    return QFile::encodeName(s).toStdString();
}

bool ExisteFichero(const std::string& ruta) {
    struct stat st {};
    return ::stat(ruta.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Opened without blocking and checked on the descriptor: a FIFO or a device of that name is a
// settings file that cannot be read, not one to wait on.
std::string LeerPrimeraLinea(const std::string& ruta) {
    const int fd = ::open(ruta.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("No se puede abrir " + ruta + ": " + DescripcionError(errno));
    const struct Cerrar {
        int fd;
        ~Cerrar() { ::close(fd); }
    } cerrar{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw std::runtime_error("No se puede leer " + ruta + ": no es un fichero regular");
    std::string linea;
    char bloque[4096];
    for (;;) {
        const ssize_t n = ::read(fd, bloque, sizeof bloque);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw std::runtime_error("No se puede leer " + ruta + ": " + DescripcionError(errno));
        const char* fin = std::find(bloque, bloque + n, '\n');
        linea.append(bloque, static_cast<size_t>(fin - bloque));
        if (n == 0 || fin != bloque + n) break;
    }
    linea.erase(std::remove(linea.begin(), linea.end(), '\r'), linea.end());
    return linea;
}

// A file last modified within this time may still be in the middle of being written.
constexpr int64_t SegundosDeEscritura = 10;

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

// Written beside the old file and renamed over it, so a failed write never leaves a
// truncated setting behind.
void EscribirLinea(const std::string& ruta, const std::string& linea) {
    const std::string temporal = ruta + ".tmp";
    FILE* f = std::fopen(temporal.c_str(), "wb");
    if (!f)
        throw std::runtime_error("No se puede escribir " + ruta + ": " + DescripcionError(errno));
    const std::string contenido = linea + "\r\n";
    const bool escrito = std::fwrite(contenido.data(), 1, contenido.size(), f) == contenido.size();
    const bool cerrado = std::fclose(f) == 0;
    if (!escrito || !cerrado || std::rename(temporal.c_str(), ruta.c_str()) != 0) {
        const std::string causa = DescripcionError(errno);
        std::remove(temporal.c_str());
        throw std::runtime_error("No se puede escribir " + ruta + ": " + causa);
    }
}

char MinusculaLatin1(char c) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return static_cast<char>(u + 32);
    return c;
}

// The name with ASCII letters folded to upper case: the listing's first sort key.
std::string Plegado(std::string nombre) {
    for (char& c : nombre)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return nombre;
}

bool EsDigito(char c) {
    return c >= '0' && c <= '9';
}

// Negative, zero or positive as a comes before, level with or after b, runs of digits compared
// by their value: the camera's counter, padded or not, keeps the listing in shooting order.
int CompararNatural(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (EsDigito(a[i]) && EsDigito(b[j])) {
            while (i < a.size() && a[i] == '0') ++i; // leading zeros do not count
            while (j < b.size() && b[j] == '0') ++j;
            size_t fa = i, fb = j;
            while (fa < a.size() && EsDigito(a[fa])) ++fa;
            while (fb < b.size() && EsDigito(b[fb])) ++fb;
            if (fa - i != fb - j) return fa - i < fb - j ? -1 : 1; // more digits, larger
            if (const int c = a.compare(i, fa - i, b, j, fb - j); c != 0) return c;
            i = fa;
            j = fb;
        } else {
            const auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
            if (ca != cb) return ca < cb ? -1 : 1;
            ++i;
            ++j;
        }
    }
    return (i < a.size()) - (j < b.size());
}

void AplicarFuente(QWidget* w, const QString& familia, int pixeles) {
    QFont f(familia);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixeles);
    w->setFont(f);
}

} // namespace

bool EsExtensionFits(const std::string& ruta) {
    std::string texto(ruta);
    std::transform(texto.begin(), texto.end(), texto.begin(), MinusculaLatin1);
    const size_t barra = texto.rfind('/');
    const size_t punto = texto.rfind('.');
    if (punto == std::string::npos || (barra != std::string::npos && punto < barra)) return false;
    const std::string extension = texto.substr(punto, 5);
    return extension == ".fit" || extension == ".fts" || extension == ".fits";
}

std::vector<std::string> FotosDeCarpeta(const std::string& carpeta) {
    // An empty text is no folder: listing the root would let "Puesta a cero" delete there.
    if (carpeta.empty()) return {};
    // (folded name, name): the same order from one tick to the next, whatever the file system.
    std::vector<std::pair<std::string, std::string>> nombres;
    if (DIR* d = ::opendir(carpeta.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] == '.') continue; // hidden files, "." and ".."
            struct stat st {};
            const std::string ruta = carpeta + "/" + e->d_name;
            if (::stat(ruta.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                nombres.emplace_back(Plegado(e->d_name), e->d_name);
        }
        ::closedir(d);
    }
    // Names level by value ("f_01", "f_1") keep a fixed order by their bytes.
    std::sort(nombres.begin(), nombres.end(), [](const auto& a, const auto& b) {
        const int c = CompararNatural(a.first, b.first);
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<std::string> lista;
    lista.reserve(nombres.size());
    for (const auto& n : nombres) lista.push_back(carpeta + "/" + n.second);
    // From the last entry to the first, so deletions leave the rest in place.
    for (size_t i = lista.size(); i-- > 0;)
        if (!EsExtensionFits(lista[i])) lista.erase(lista.begin() + static_cast<std::ptrdiff_t>(i));
    return lista;
}

TFQuorvel::TFQuorvel(const std::string& dirPrograma, bool crear) : DirPrograma(dirPrograma) {
    setWindowTitle("Quorvel");
    setWindowIcon(QIcon(":/org.quorvel.Quorvel.svg"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(395, 480);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    setPalette(p);
    setAutoFillBackground(true);
    AplicarFuente(this, "MS Sans Serif", 11);

    Button1 = new QPushButton("Carpeta...", this);
    Button1->setGeometry(13, 402, 100, 30);
    Button2 = new QPushButton("Puesta a cero", this);
    Button2->setGeometry(13, 442, 100, 30);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(124, 407, 245, 21);
    ListaFotos = new QListWidget(this);
    ListaFotos->setGeometry(84, 76, 133, 133);
    ListaFotos->hide();
    for (QPushButton* b : {Button1, Button2}) b->setAutoDefault(false);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, ListaFotos);
    setTabOrder(ListaFotos, Chart1);
    setTabOrder(Chart1, Chart2);
    setTabOrder(Chart2, Chart3);
    setTabOrder(Chart3, Edit1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &TFQuorvel::Timer1Timer);
    connect(Button1, &QPushButton::clicked, this, &TFQuorvel::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFQuorvel::Button2Click);

    Preguntar = [this](const QString& titulo, const QString& texto) {
        QMessageBox caja(QMessageBox::NoIcon, titulo, texto, QMessageBox::Yes | QMessageBox::No,
                         this);
        caja.setDefaultButton(QMessageBox::Yes);
        return caja.exec() == QMessageBox::Yes;
    };
    MostrarError = [this](const QString& texto) { QMessageBox::critical(this, "Quorvel", texto); };

    Centrar();

    if (crear) Crear();
}

void TFQuorvel::Centrar() {
    if (const QScreen* pantalla = QGuiApplication::primaryScreen()) {
        QRect marco = frameGeometry();
        marco.moveCenter(pantalla->availableGeometry().center());
        move(marco.topLeft());
    }
}

void TFQuorvel::moveEvent(QMoveEvent* evento) {
    THistorialFoco::moveEvent(evento);
    // The frame's size is known only once the window manager has framed the shown window:
    // centred again then, so that the frame, not the client area, sits in the middle.
    if (!centradoConMarco_ && frameGeometry().size() != size()) {
        centradoConMarco_ = true;
        Centrar();
    }
}

void TFQuorvel::Crear() {
    Ejecutar([this] { FormCreate(); });
}

void TFQuorvel::Ejecutar(const std::function<void()>& cuerpo) {
    try {
        cuerpo();
    } catch (const std::exception& e) {
        MostrarError(QString::fromUtf8(e.what()));
    }
}

std::string TFQuorvel::ArchivoAjustes() const {
    return DirPrograma + "quorvel.ini";
}

void TFQuorvel::FormCreate() {
    if (DirPrograma.empty()) DirPrograma = DirectorioDeAjustes();
    if (!ExisteFichero(ArchivoAjustes())) return;
    FijarCarpeta(LeerPrimeraLinea(ArchivoAjustes()));
    PuestaACero();
    Timer1->start();
}

void TFQuorvel::FormClose() {
    EscribirLinea(ArchivoAjustes(), Carpeta());
}

void TFQuorvel::FijarCarpeta(const std::string& bytes) {
    carpetaBytes_ = bytes;
    Edit1->setText(DeBytes(bytes));
}

std::string TFQuorvel::Carpeta() const {
    // A name that is not valid UTF-8 shows with replacement characters; as long as the box
    // still shows it unchanged, its real bytes are used.
    return DeBytes(carpetaBytes_) == Edit1->text() ? carpetaBytes_ : ABytes(Edit1->text());
}

void TFQuorvel::closeEvent(QCloseEvent* evento) {
    // A failed write is reported, but the window closes all the same.
    if (!cierrePendiente_) Ejecutar([this] { FormClose(); });
    if (enCiclo_) {
        // Closed from inside a cycle: the cycle finishes first, then the window goes.
        cierrePendiente_ = true;
        evento->ignore();
        return;
    }
    Timer1->stop();
    evento->accept();
}

void TFQuorvel::Button1Click() {
    Ejecutar([this] {
        Timer1->stop();
        if (FSelDir && FSelDir->exec() == 1)
            FijarCarpeta(FSelDir->Carpeta());
        else
            FijarCarpeta({});
        if (!Edit1->text().isEmpty()) {
            PuestaACero();
            Timer1->start();
        }
    });
}

void TFQuorvel::Button2Click() {
    Ejecutar([this] {
        Timer1->stop();
        if (Preguntar("Orvex - Quorvel",
                      QString::fromUtf8("     ¿Borramos todas las imágenes y datos?     "))) {
            for (int i = ListaFotos->count(); i-- > 0;) {
                const QByteArray ruta = ListaFotos->item(i)->data(RutaReal).toByteArray();
                ::unlink(ruta.constData()); // a file that cannot go is passed over
            }
            PuestaACero();
        }
        Timer1->start();
    });
}

void TFQuorvel::VaciarListaFotos() {
    ListaFotos->clear();
    FotosProcesadas = 0;
}

void TFQuorvel::Timer1Timer() {
    if (enCiclo_) return; // due while a cycle runs: the cycle's own restart brings the next one
    enCiclo_ = true;
    Ejecutar([this] {
        Timer1->stop();
        ListarFotos();
        Esperar(100);
        ProcesarFotos();
        Timer1->start();
    });
    enCiclo_ = false;
    if (cierrePendiente_) {
        Timer1->stop();
        close();
    }
}

void TFQuorvel::ListarFotos() {
    ListaFotos->clear();
    for (const std::string& ruta : FotosDeCarpeta(Carpeta())) {
        auto* item = new QListWidgetItem(DeBytes(ruta));
        item->setData(RutaReal, QByteArray::fromStdString(ruta));
        ListaFotos->addItem(item);
    }
}

void TFQuorvel::Esperar(int32_t ms) {
    const uint32_t inicio = ContadorMs();
    for (;;) {
        const int64_t transcurrido = static_cast<uint32_t>(ContadorMs() - inicio);
        if (transcurrido > static_cast<int64_t>(ms)) return;
        // Asleep rather than spinning: the thread is held all the same, and an idle window
        // leaves the processor (and a laptop's battery) alone.
        std::this_thread::sleep_for(std::chrono::milliseconds(ms - transcurrido + 1));
    }
}

void TFQuorvel::ProcesarFotos() {
    TListaOrdenada ListaOrdenada;
    TListaAcumulada ListaAcumulada;
    const int n = ListaFotos->count();
    for (int k = FotosProcesadas; k < n; ++k) {
        TPlaca Placa; // released at the end of the entry, whatever happened
        std::string ruta;
        try {
            const QListWidgetItem* item = ListaFotos->item(k);
            if (!item)
                throw ErrorRango("La lista de fotos ya no tiene la posición " + std::to_string(k));
            ruta = item->data(RutaReal).toByteArray().toStdString();
            Placa.LeerFits(ruta);
            const TFigurasFoco f = MedirEstrella(Placa, ListaOrdenada, ListaAcumulada);
            MostrarMedidas(k, f.Maximo, f.FWHM, f.HFD);
        } catch (const ErrorIncompleto&) {
            // Still being written: this entry, and those after it, wait for the next tick.
            if (EnEscritura(ruta)) {
                FotosProcesadas = k;
                return;
            }
        } catch (...) {
            // A frame that cannot be loaded or measured is skipped without a word.
        }
    }
    FotosProcesadas = ListaFotos->count();
}
