// SPDX-License-Identifier: GPL-3.0-or-later
#include "USelDir.h"

#include <QFile>
#include <QKeyEvent>
#include <QScreen>

namespace {

// "MS Sans Serif" is not on Linux; the system's sans font takes its place.
QFont FuenteVentana(int pixeles) {
    QFont f("MS Sans Serif");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixeles);
    return f;
}

} // namespace

TFSelDir::TFSelDir(QWidget* parent) : TFSelDir(LeerUnidades(), parent) {}

TFSelDir::TFSelDir(std::vector<TUnidad> unidades, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Selección de Carpeta");
    setFixedSize(369, 237);
    setFont(FuenteVentana(11));

    // Made in tab order, which is the focus chain's order.
    Button1 = new QPushButton("Cancelar", this);
    Button1->setGeometry(284, 172, 75, 25);
    Button2 = new QPushButton("Aceptar", this);
    Button2->setGeometry(284, 205, 75, 25);
    DriveComboBox1 = new TDriveComboBox(std::move(unidades), this);
    DriveComboBox1->setGeometry(12, 204, 261, 22);
    DriveComboBox1->setFont(FuenteVentana(13));
    DirectoryListBox1 = new TDirectoryListBox(this);
    DirectoryListBox1->setGeometry(12, 36, 257, 161);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(12, 8, 257, 21);

    // Neither button is the default: Enter presses only the button that has the focus.
    for (QPushButton* b : {Button1, Button2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(Button1, &QPushButton::clicked, this, &TFSelDir::Button1Click);
    connect(Button2, &QPushButton::clicked, this, [this] { done(1); });
    connect(DriveComboBox1, &TDriveComboBox::Cambio, this, &TFSelDir::DriveComboBox1Change);
    connect(DirectoryListBox1, &TDirectoryListBox::Cambio, this,
            &TFSelDir::DirectoryListBox1Change);
}

void TFSelDir::FormActivate() {
    DirectoryListBox1->PonerUnidad(DriveComboBox1->Unidad());
    Edit1->setText(DirectoryListBox1->Directorio());
}

void TFSelDir::DriveComboBox1Change() {
    DirectoryListBox1->PonerUnidad(DriveComboBox1->Unidad());
}

void TFSelDir::DirectoryListBox1Change() {
    Edit1->setText(DirectoryListBox1->Directorio());
}

void TFSelDir::Button1Click() {
    done(2);
}

void TFSelDir::reject() {
    done(2);
}

void TFSelDir::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;
    if (const QScreen* s = screen()) {
        QRect marco = frameGeometry();
        marco.moveCenter(s->availableGeometry().center());
        move(marco.topLeft());
    }
    FormActivate();
}

void TFSelDir::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Escape: // no cancel button: Escape does nothing
        e->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Reaches the dialog from a button that is not a default one, or from the path box.
        if (auto* b = qobject_cast<QPushButton*>(focusWidget())) b->click();
        e->accept();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

std::string TFSelDir::Carpeta() const {
    const QByteArray real = DirectoryListBox1->DirectorioBytes();
    const QByteArray texto = QFile::encodeName(Edit1->text());
    return (QFile::decodeName(real) == Edit1->text() ? real : texto).toStdString();
}
