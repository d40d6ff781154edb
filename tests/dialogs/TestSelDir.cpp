// SPDX-License-Identifier: GPL-3.0-or-later
#include "Arbol.h"
#include "USelDir.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Roots "/", A and B, made of folders of the tree; the process starts in A/inicio.
class DialogoCarpeta : public ArbolTemporal {
protected:
    void SetUp() override {
        ArbolTemporal::SetUp();
        a = Carpeta("A");
        b = Carpeta("B");
        Carpeta("A/inicio/sub");
        Carpeta("B/fotos");
        Entrar("A/inicio");
        dialogo =
            std::make_unique<TFSelDir>(std::vector<TUnidad>{{"/", TTipoUnidad::Fija, {}, {}},
                                                            {a, TTipoUnidad::Fija, "Datos", {}},
                                                            {b, TTipoUnidad::Ram, {}, {}}},
                                       nullptr);
    }

    // Shows the dialog modally; `respuesta` runs on it while shown. Should it leave the dialog
    // open, the test fails with result -1 instead of hanging.
    int Mostrar(const std::function<void(TFSelDir&)>& respuesta) {
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TFSelDir*>(QApplication::activeModalWidget());
            if (!d) {
                ADD_FAILURE() << "no modal dialog shown";
                return;
            }
            respuesta(*d);
        });
        QTimer vigilante;
        vigilante.setSingleShot(true);
        QObject::connect(&vigilante, &QTimer::timeout, dialogo.get(), [this] {
            ADD_FAILURE() << "the dialog stayed open";
            dialogo->done(-1);
        });
        vigilante.start(5000);
        return dialogo->exec();
    }

    static void Elegir(TFSelDir& d, int indice) {
        d.DriveComboBox1->setCurrentIndex(indice);
        emit d.DriveComboBox1->activated(indice);
    }
    static QListWidgetItem* Buscar(TDirectoryListBox* l, const QString& texto) {
        for (int i = l->count() - 1; i >= 0; --i)
            if (l->item(i)->text() == texto) return l->item(i);
        return nullptr;
    }

    QString Texto(const QByteArray& relativa) const { return QFile::decodeName(Ruta(relativa)); }

    QByteArray a, b;
    std::unique_ptr<TFSelDir> dialogo;
};

} // namespace

TEST_F(DialogoCarpeta, Forma) {
    TFSelDir& d = *dialogo;
    EXPECT_EQ(d.windowTitle(), "Selección de Carpeta");
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint |
                                    Qt::WindowMinMaxButtonsHint));
    EXPECT_EQ(d.font().pixelSize(), 11);
    EXPECT_EQ(d.DriveComboBox1->font().pixelSize(), 13);
    EXPECT_EQ(d.Button1->text(), "Cancelar");
    EXPECT_EQ(d.Button2->text(), "Aceptar");
    EXPECT_FALSE(d.Button1->isDefault() || d.Button1->autoDefault());
    EXPECT_FALSE(d.Button2->isDefault() || d.Button2->autoDefault());
    EXPECT_TRUE(d.Edit1->text().isEmpty());

    // On the left from the top: the folder's box, the directory list, the drive list; on the
    // right, lower down, "Cancelar" above "Aceptar". Nothing overlaps or leaves the dialog.
    const QRect texto = d.Edit1->geometry(), lista = d.DirectoryListBox1->geometry(),
                unidades = d.DriveComboBox1->geometry(), cancelar = d.Button1->geometry(),
                aceptar = d.Button2->geometry();
    EXPECT_EQ(lista.left(), texto.left());
    EXPECT_EQ(unidades.left(), texto.left());
    EXPECT_LT(texto.bottom(), lista.top());
    EXPECT_LT(lista.bottom(), unidades.top());
    EXPECT_EQ(aceptar.left(), cancelar.left());
    EXPECT_EQ(aceptar.size(), cancelar.size());
    EXPECT_LT(cancelar.bottom(), aceptar.top());
    EXPECT_GT(cancelar.top(), lista.top());
    for (const QRect& r : {texto, lista, unidades}) EXPECT_LT(r.right(), cancelar.left());
    for (const QRect& r : {texto, lista, unidades, cancelar, aceptar})
        EXPECT_TRUE(d.rect().contains(r)) << r.x() << "," << r.y();

    // Tab order: the focus chain's tab stops, from the dialog round to it again.
    const std::vector<QWidget*> esperado = {d.Button1, d.Button2, d.DriveComboBox1,
                                            d.DirectoryListBox1, d.Edit1};
    std::vector<QWidget*> orden;
    for (QWidget* w = d.nextInFocusChain(); w != &d; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) orden.push_back(w);
    EXPECT_EQ(orden, esperado);
}

TEST_F(DialogoCarpeta, PrimeraVezElDirectorioDelProcesoLuegoDondeQuedo) {
    EXPECT_EQ(Mostrar([&](TFSelDir& d) {
                  EXPECT_EQ(d.Edit1->text(), Texto("A/inicio"));
                  EXPECT_EQ(d.DriveComboBox1->currentIndex(), 1);
                  d.DirectoryListBox1->Abrir(Buscar(d.DirectoryListBox1, "sub"));
                  EXPECT_EQ(d.Edit1->text(), Texto("A/inicio/sub"));
                  d.Edit1->setText("escrito a mano");
                  d.Button1->click();
              }),
              2);
    EXPECT_EQ(Mostrar([&](TFSelDir& d) {
                  EXPECT_EQ(d.Edit1->text(), Texto("A/inicio/sub"));
                  d.Button2->click();
              }),
              1);
    EXPECT_EQ(dialogo->Edit1->text(), Texto("A/inicio/sub"));
}

TEST_F(DialogoCarpeta, Unidades) {
    EXPECT_EQ(Mostrar([&](TFSelDir& d) {
                  QSignalSpy cambios(d.DirectoryListBox1, &TDirectoryListBox::Cambio);
                  d.Edit1->setText("escrito");
                  Elegir(d, 1); // the current one
                  EXPECT_EQ(d.Edit1->text(), "escrito");
                  EXPECT_EQ(cambios.count(), 0);

                  Elegir(d, 2);
                  EXPECT_EQ(d.Edit1->text(), Texto("B"));
                  d.DirectoryListBox1->Abrir(Buscar(d.DirectoryListBox1, "fotos"));
                  Elegir(d, 1);
                  EXPECT_EQ(d.Edit1->text(), Texto("A/inicio"));
                  Elegir(d, 0);
                  EXPECT_EQ(d.Edit1->text(), "/"); // a root keeps its separator
                  Elegir(d, 2);
                  EXPECT_EQ(d.Edit1->text(), Texto("B/fotos"));
                  d.Button2->click();
              }),
              1);
    EXPECT_EQ(dialogo->Edit1->text(), Texto("B/fotos"));
}

TEST_F(DialogoCarpeta, RespuestasDeLosBotones) {
    EXPECT_EQ(Mostrar([](TFSelDir& d) {
                  d.Edit1->clear();
                  d.Button2->click();
              }),
              1);
    EXPECT_EQ(dialogo->Edit1->text(), "");
    EXPECT_EQ(Mostrar([](TFSelDir& d) { d.Button1->click(); }), 2);
    EXPECT_EQ(Mostrar([](TFSelDir& d) {
                  d.Edit1->setText("/cualquier/cosa");
                  d.Button1->click();
              }),
              2);
    // Closed any other way: as "Cancelar".
    EXPECT_EQ(Mostrar([](TFSelDir& d) { d.close(); }), 2);
    EXPECT_FALSE(dialogo->isVisible());
}

TEST_F(DialogoCarpeta, EscapeNoHaceNada) {
    EXPECT_EQ(Mostrar([](TFSelDir& d) {
                  QTest::keyClick(&d, Qt::Key_Escape);
                  QTest::keyClick(d.Edit1, Qt::Key_Escape);
                  QTest::keyClick(d.DirectoryListBox1, Qt::Key_Escape);
                  EXPECT_TRUE(d.isVisible());
                  d.Button2->click();
              }),
              1);
}

TEST_F(DialogoCarpeta, IntroSoloPulsaElBotonConElFoco) {
    EXPECT_EQ(Mostrar([](TFSelDir& d) {
                  d.Edit1->setFocus();
                  QTest::keyClick(d.Edit1, Qt::Key_Return);
                  QTest::keyClick(d.Edit1, Qt::Key_Enter);
                  EXPECT_TRUE(d.isVisible());
                  d.Button2->setFocus();
                  QTest::keyClick(d.Button2, Qt::Key_Return);
              }),
              1);
    EXPECT_EQ(Mostrar([](TFSelDir& d) {
                  d.Button1->setFocus();
                  QTest::keyClick(d.Button1, Qt::Key_Enter);
              }),
              2);
}

TEST_F(DialogoCarpeta, IntroEnLaListaAbreSinCerrar) {
    EXPECT_EQ(Mostrar([&](TFSelDir& d) {
                  TDirectoryListBox* l = d.DirectoryListBox1;
                  l->setFocus();
                  l->setCurrentItem(Buscar(l, "sub"));
                  QTest::keyClick(l, Qt::Key_Return);
                  EXPECT_TRUE(d.isVisible());
                  EXPECT_EQ(d.Edit1->text(), Texto("A/inicio/sub"));
                  d.Button1->click();
              }),
              2);
}

TEST_F(DialogoCarpeta, CentradoEnLaPantalla) {
    Mostrar([](TFSelDir& d) {
        const QRect pantalla = d.screen()->availableGeometry();
        EXPECT_LE((d.frameGeometry().center() - pantalla.center()).manhattanLength(), 2);
        d.move(0, 0);
        d.Button1->click();
    });
    Mostrar([](TFSelDir& d) {
        const QRect pantalla = d.screen()->availableGeometry();
        EXPECT_LE((d.frameGeometry().center() - pantalla.center()).manhattanLength(), 2);
        d.Button1->click();
    });
}
