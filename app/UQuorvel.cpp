// SPDX-License-Identifier: GPL-3.0-or-later
#include "UQuorvel.h"

#include "Ajustes.h"
#include "Entorno.h"
#include "Errores.h"
#include "Ficheros.h"
#include "Listado.h"
#include "Reloj.h"
#include "USelDir.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <chrono>
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

void AplicarFuente(QWidget* w, const QString& familia, int pixeles) {
    QFont f(familia);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixeles);
    w->setFont(f);
}

} // namespace

TFQuorvel::TFQuorvel(const std::string& dirPrograma, bool crear, TModoMedida modo)
    : DirPrograma(dirPrograma), Modo(modo) {
    MostrarEstrellas(-1);
    setWindowIcon(QIcon(":/org.quorvel.quorvel.svg"));
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
    if (Modo == TModoMedida::Campo) {
        // Room for the live focus answer under the charts: the commands move down.
        constexpr int alto = 30;
        LineaFoco = new QLabel(this);
        LineaFoco->setGeometry(13, 396, 369, alto - 2);
        LineaFoco->setWordWrap(true);
        LineaFoco->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setFixedSize(395, 480 + alto);
        for (QWidget* w : std::initializer_list<QWidget*>{Button1, Button2, Edit1})
            w->move(w->x(), w->y() + alto);
    }
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

    Preguntar = [this](const QString& titulo, const QString& texto, const QString& detalle) {
        QMessageBox caja(QMessageBox::NoIcon, titulo, texto, QMessageBox::Yes | QMessageBox::No,
                         this);
        caja.setInformativeText(detalle);
        caja.setDefaultButton(QMessageBox::Yes);
        return caja.exec() == QMessageBox::Yes;
    };
    MostrarError = [this](const QString& texto) { QMessageBox::critical(this, "Quorvel", texto); };
    Listar = FotosDeCarpeta;

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
        MostrarError(QString::fromStdString(TextoError(e)));
    }
}

std::string TFQuorvel::ArchivoAjustes() const {
    return DirPrograma + "quorvel.ini";
}

void TFQuorvel::FormCreate() {
    if (DirPrograma.empty()) DirPrograma = DirectorioDeAjustes();
    if (!ExisteNoCarpeta(ArchivoAjustes())) return;
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
                      QString::fromUtf8("     ¿Borramos todas las imágenes y datos?     "),
                      TextoBorrado())) {
            for (int i = ListaFotos->count(); i-- > 0;) {
                const QByteArray ruta = ListaFotos->item(i)->data(RutaReal).toByteArray();
                ::unlink(ruta.constData()); // a file that cannot go is passed over
            }
            PuestaACero();
        }
        Timer1->start();
    });
}

QString TFQuorvel::TextoBorrado() const {
    const int n = ListaFotos->count();
    const QString carpeta = DeBytes(carpetaListada_);
    // The folder on a line of its own: a long path wraps at its own slashes, not mid-sentence.
    if (n == 1) return QString("Se borrará 1 foto FITS de la carpeta:\n%1").arg(carpeta);
    if (n > 1) return QString("Se borrarán %1 fotos FITS de la carpeta:\n%2").arg(n).arg(carpeta);
    if (carpeta.isEmpty()) return "No se vigila ninguna carpeta: no se borrará ningún fichero.";
    if (!carpeta.startsWith('/'))
        return QString("La carpeta %1 no es una ruta absoluta y no se vigila: no se borrará "
                       "ningún fichero.")
            .arg(carpeta);
    // Emptied by a reset, or a folder without frames.
    return "No hay ninguna foto en la lista: no se borrará ningún fichero.";
}

void TFQuorvel::VaciarListaFotos() {
    ListaFotos->clear();
    vistas_.clear();
    FotosProcesadas = 0;
    foco_.Vaciar();
    if (LineaFoco) LineaFoco->clear();
    MostrarEstrellas(-1);
}

void TFQuorvel::MostrarEstrellas(int32_t estrellas) {
    // The title is where the field mode shows itself, with the stars of the latest frame.
    QString titulo = "Quorvel";
    if (Modo == TModoMedida::Campo) {
        titulo += " - campo";
        if (estrellas >= 0)
            titulo += QString(" (%1 %2)").arg(estrellas).arg(estrellas == 1 ? "estrella"
                                                                            : "estrellas");
        titulo += QString::fromStdString(foco_.Titulo());
    }
    setWindowTitle(titulo);
}

void TFQuorvel::AnotarFoco(const TResultadoFoto& r) {
    if (r.PosicionIlegible.empty())
        foco_.Anotar(r.Posicion, r.HFD, r.FWHM);
    else
        foco_.Rechazar(r.PosicionIlegible);
    LineaFoco->setText(QString::fromStdString(foco_.Linea()));
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
    carpetaListada_ = Carpeta();
    for (const std::string& ruta : Listar(carpetaListada_)) {
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
    // A whole field takes tens of milliseconds to measure: in field mode the window's messages
    // also run during the measurement, every few milliseconds, not only after each frame.
    std::function<void()> pausa;
    if (Modo == TModoMedida::Campo)
        pausa = [ultima = std::chrono::steady_clock::time_point{}]() mutable {
            const auto ahora = std::chrono::steady_clock::now();
            if (ahora - ultima < std::chrono::milliseconds(5)) return;
            QCoreApplication::processEvents();
            ultima = std::chrono::steady_clock::now();
        };
    const int n = ListaFotos->count();
    for (int k = 0; k < n; ++k) {
        try {
            const auto ruta = [&] {
                const QListWidgetItem* item = ListaFotos->item(k);
                if (!item)
                    throw ErrorRango("La lista de fotos ya no tiene la posición " +
                                     std::to_string(k));
                return item->data(RutaReal).toByteArray().toStdString();
            };
            // Each file once, whatever its place in this listing: a frame that shows up
            // between known ones (it arrived while the folder was read) is measured now.
            const std::string esta = ruta();
            if (vistas_.count(esta)) continue;
            const TResultadoFoto r = MedirFoto(esta, Modo, ListaOrdenada, ListaAcumulada, pausa);
            // A reset while the frame was measured empties the list: the frame belonged to the
            // run that was cleared, and its figures are not plotted.
            ruta();
            // This entry, and those after it, wait for the next tick.
            if (r.Estado == TResultadoFoto::Pendiente) return;
            // Counted before the display lets a reset run, which then starts a clean run.
            const int32_t x = FotosProcesadas++;
            vistas_.insert(esta);
            if (r.Estado == TResultadoFoto::Medida && Modo == TModoMedida::Campo) AnotarFoco(r);
            if (r.Estado != TResultadoFoto::Saltada && Modo == TModoMedida::Campo)
                MostrarEstrellas(r.Estrellas);
            if (r.Estado == TResultadoFoto::Medida) MostrarMedidas(x, r.Maximo, r.FWHM, r.HFD);
        } catch (...) {
            // An entry gone from the list, or a failed display: skipped without a word.
        }
    }
}
