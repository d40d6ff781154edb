// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder selection dialog. Created once, hidden between showings, shown modally; it
// answers 1 for "Aceptar" and 2 for "Cancelar" (or any other way of closing), and the caller
// then reads the folder from Edit1.
#include "ListaDirectorios.h"
#include "ListaUnidades.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <string>
#include <vector>

class TFSelDir : public QDialog {
    Q_OBJECT
public:
    // The drive list is this system's roots.
    explicit TFSelDir(QWidget* parent = nullptr);
    // The drive list holds the given roots instead.
    TFSelDir(std::vector<TUnidad> unidades, QWidget* parent);

    QPushButton* Button1;
    QPushButton* Button2;
    TDriveComboBox* DriveComboBox1;
    TDirectoryListBox* DirectoryListBox1;
    QLineEdit* Edit1;

    void FormActivate();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void Button1Click();

    // The chosen folder as bytes: the directory list's real name while Edit1 still shows it,
    // otherwise what was typed.
    std::string Carpeta() const;

    // Every way of closing other than the buttons answers "Cancelar".
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};
