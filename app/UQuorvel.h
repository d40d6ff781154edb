// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: layout, the two commands and the folder watch cycle.
#include "FocoEnVivo.h"
#include "HistorialFoco.h"
#include "MedidaFoto.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

class QCloseEvent;
class QLabel;
class QMoveEvent;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class TFSelDir;

extern TFSelDir* FSelDir; // created after the main window, hidden until "Carpeta..."

class TFQuorvel : public THistorialFoco {
    Q_OBJECT
public:
    // dirPrograma: where "quorvel.ini" lives; empty means the choice of DirectorioDeAjustes()
    // (Entorno.h). Tests pass crear = false, set the seams below and then call Crear(). modo:
    // how every frame is measured, for the window's whole life.
    explicit TFQuorvel(const std::string& dirPrograma = {}, bool crear = true,
                       TModoMedida modo = TModoMedida::Estrella);
    void Crear(); // the creation handler, through the error box

    void FormCreate();
    void FormClose();
    void Button1Click();
    void Button2Click();
    void Timer1Timer();
    void ListarFotos();
    static void Esperar(int32_t ms);
    void ProcesarFotos();

    // Seams for the confirmation box and the error box, so tests never block on them; detalle
    // is the box's informative text.
    std::function<bool(const QString& titulo, const QString& texto, const QString& detalle)>
        Preguntar;
    std::function<void(const QString& texto)> MostrarError;

    QPushButton* Button1;
    QPushButton* Button2;
    QLineEdit* Edit1;
    QListWidget* ListaFotos;
    QTimer* Timer1;
    QLabel* LineaFoco = nullptr; // field mode: the live focus answer, under the charts
    // The folder's frames as full paths, in listing order (FotosDeCarpeta); a seam for tests.
    std::function<std::vector<std::string>(const std::string& carpeta)> Listar;
    // The entries handled (measured, skipped or without stars) since the last reset; the next
    // one handled is plotted at this x.
    int32_t FotosProcesadas = 0;
    std::string DirPrograma;
    const TModoMedida Modo;

    // The watched folder as bytes: what Edit1 shows, or the exact name it was set from.
    std::string Carpeta() const;
    void FijarCarpeta(const std::string& bytes);

protected:
    void VaciarListaFotos() override;
    void closeEvent(QCloseEvent* evento) override;
    void moveEvent(QMoveEvent* evento) override;

private:
    // Runs a handler's body; an error escaping it goes to the error box and skips the rest.
    void Ejecutar(const std::function<void()>& cuerpo);
    std::string ArchivoAjustes() const;
    void Centrar(); // the window's frame in the middle of the screen
    // The title; in field mode with the stars used in the latest frame (none yet: -1).
    void MostrarEstrellas(int32_t estrellas);
    void AnotarFoco(const TResultadoFoto& r); // field mode: the frame joins the live answer

    TFocoEnVivo foco_; // the run since the last reset, with focuser positions

    // What the reset's question tells: which folder the list was read from.
    QString TextoBorrado() const;

    std::string carpetaBytes_;
    std::string carpetaListada_;            // the folder of the latest listing
    std::unordered_set<std::string> vistas_; // the paths handled since the last reset
    bool enCiclo_ = false;         // a tick that comes due inside a cycle is not run
    bool cierrePendiente_ = false; // closed during a cycle: close when the cycle ends
    bool centradoConMarco_ = false;
};
