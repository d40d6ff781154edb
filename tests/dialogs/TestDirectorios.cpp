// SPDX-License-Identifier: GPL-3.0-or-later
#include "Arbol.h"
#include "DibujoElemento.h"
#include "ListaDirectorios.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ListaDirectorios : public ArbolTemporal {
protected:
    static QStringList Textos(const TDirectoryListBox& l) {
        QStringList r;
        for (int i = 0; i < l.count(); ++i) r << l.item(i)->text();
        return r;
    }
    // The path levels of the tree's own location, for the expected lists.
    QStringList Niveles(const QByteArray& relativa = {}) const {
        QStringList r{"/"};
        for (const QByteArray& p : Ruta(relativa).split('/'))
            if (!p.isEmpty()) r << QFile::decodeName(p);
        return r;
    }
    static QListWidgetItem* Buscar(const TDirectoryListBox& l, const QString& texto) {
        for (int i = l.count() - 1; i >= 0; --i)
            if (l.item(i)->text() == texto) return l.item(i);
        return nullptr;
    }
    static void DobleClic(TDirectoryListBox& l, QListWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        QCoreApplication::processEvents(); // lays the items out after a rebuild
        // As the window system delivers it: a click, then the second press as a double click.
        const QPoint p = l.visualItemRect(item).center();
        QTest::mouseClick(l.viewport(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(l.viewport(), Qt::LeftButton, {}, p);
        QTest::mouseRelease(l.viewport(), Qt::LeftButton, {}, p);
    }
    static void Intro(TDirectoryListBox& l, QListWidgetItem* item) {
        ASSERT_NE(item, nullptr);
        l.setCurrentItem(item);
        QTest::keyClick(&l, Qt::Key_Return);
    }
};

} // namespace

TEST_F(ListaDirectorios, EmpiezaEnElDirectorioDelProceso) {
    Carpeta("noche/m31");
    Entrar("noche/m31");
    TDirectoryListBox lista;
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("noche/m31"));
    EXPECT_EQ(lista.Directorio(), QFile::decodeName(Ruta("noche/m31")));
    EXPECT_TRUE(lista.Estado().isEmpty());
}

TEST_F(ListaDirectorios, NivelesYSubdirectoriosOrdenadosSinOcultos) {
    for (const char* c : {"beta", "Alpha", "gamma", "Delta", ".oculta", "alpha2"}) Carpeta(c);
    Archivo("zeta.fits");
    Archivo("Bravo");
    ASSERT_EQ(symlink(Ruta("gamma").constData(), Ruta("enlace").constData()), 0);
    ASSERT_EQ(symlink(Ruta("no-existe").constData(), Ruta("roto").constData()), 0);
    Entrar("");
    TDirectoryListBox lista;

    const QStringList niveles = Niveles();
    const QStringList subdirectorios{"Alpha", "alpha2", "beta", "Delta", "enlace", "gamma"};
    EXPECT_EQ(Textos(lista), niveles + subdirectorios);
    // The current directory's item, the last level, is the selected one.
    EXPECT_EQ(lista.currentRow(), niveles.size() - 1);
    EXPECT_TRUE(lista.currentItem()->isSelected());

    // Levels indented 4 per level; subdirectories 4 beyond the separators of the path.
    const int separadores = int(Ruta().count('/'));
    for (int i = 0; i < lista.count(); ++i) {
        const int sangria = i < niveles.size() ? 4 * i : 4 * separadores + 4;
        EXPECT_EQ(lista.item(i)->data(RolSangria).toInt(), sangria) << i;
    }
    EXPECT_EQ(lista.item(niveles.size())->data(TDirectoryListBox::RolRuta).toByteArray(),
              Ruta("Alpha"));
}

TEST_F(ListaDirectorios, AbrirPorDobleClicEIntro) {
    Carpeta("a/b/c");
    Carpeta("a/otra");
    Entrar("a");
    TDirectoryListBox lista;
    lista.resize(257, 400);
    lista.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lista));
    QSignalSpy cambios(&lista, &TDirectoryListBox::Cambio);

    DobleClic(lista, Buscar(lista, "b"));
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("a/b"));
    Intro(lista, Buscar(lista, "c"));
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("a/b/c"));
    EXPECT_EQ(Textos(lista), Niveles("a/b/c"));
    EXPECT_EQ(cambios.count(), 2);

    // Its own item changes nothing.
    Intro(lista, lista.item(lista.count() - 1));
    DobleClic(lista, lista.item(lista.count() - 1));
    EXPECT_EQ(cambios.count(), 2);

    // A level item goes up to that level.
    DobleClic(lista, Buscar(lista, "a"));
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("a"));
    EXPECT_EQ(Textos(lista), Niveles("a") + (QStringList{"b", "otra"}));
    Intro(lista, lista.item(0));
    EXPECT_EQ(lista.DirectorioBytes(), "/");
    EXPECT_EQ(lista.Directorio(), "/");
    EXPECT_EQ(lista.item(0)->text(), "/");
    EXPECT_EQ(lista.currentRow(), 0);
    EXPECT_EQ(cambios.count(), 4);

    // Subdirectories of the root: "/" and the name, no doubled separator.
    Intro(lista, Buscar(lista, QFile::decodeName(Ruta().split('/')[1])));
    EXPECT_EQ(lista.DirectorioBytes(), "/" + Ruta().split('/')[1]);
}

TEST_F(ListaDirectorios, PonerDirectorioSoloCambiaSiDifiere) {
    Carpeta("x");
    Entrar("");
    TDirectoryListBox lista;
    QSignalSpy cambios(&lista, &TDirectoryListBox::Cambio);
    lista.PonerDirectorio(Ruta());
    lista.PonerDirectorio(Ruta() + "/");
    lista.PonerDirectorio("");
    EXPECT_EQ(cambios.count(), 0);
    lista.PonerDirectorio(Ruta("x") + "//");
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("x"));
    EXPECT_EQ(cambios.count(), 1);
}

TEST_F(ListaDirectorios, CarpetaDesaparecida) {
    Carpeta("se-va/dentro");
    Carpeta("queda");
    Entrar("");
    TDirectoryListBox lista;
    QListWidgetItem* item = Buscar(lista, "se-va");
    ASSERT_NE(item, nullptr);
    ASSERT_EQ(rmdir(Ruta("se-va/dentro").constData()), 0);
    ASSERT_EQ(rmdir(Ruta("se-va").constData()), 0);
    QSignalSpy cambios(&lista, &TDirectoryListBox::Cambio);
    lista.Abrir(item);
    // It is entered, shown without subdirectories, and the reason is kept.
    EXPECT_EQ(cambios.count(), 1);
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("se-va"));
    EXPECT_EQ(Textos(lista), Niveles("se-va"));
    EXPECT_FALSE(lista.Estado().isEmpty());
    EXPECT_EQ(lista.toolTip(), lista.Estado());
    // Going back up reads again.
    lista.Abrir(lista.item(lista.count() - 2));
    EXPECT_TRUE(lista.Estado().isEmpty());
    EXPECT_EQ(Textos(lista), Niveles() + (QStringList{"queda"}));
}

TEST_F(ListaDirectorios, CarpetaSinPermiso) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    Carpeta("cerrada/dentro");
    Entrar("");
    ASSERT_EQ(chmod(Ruta("cerrada").constData(), 0), 0);
    TDirectoryListBox lista;
    lista.PonerDirectorio(Ruta("cerrada"));
    EXPECT_EQ(Textos(lista), Niveles("cerrada"));
    EXPECT_FALSE(lista.Estado().isEmpty());
    chmod(Ruta("cerrada").constData(), 0755);
}

TEST_F(ListaDirectorios, NombreQueNoEsUtf8) {
    const QByteArray crudo = "caf\xe9";
    Carpeta(crudo + "/interior");
    Entrar("");
    TDirectoryListBox lista;
    QListWidgetItem* item = Buscar(lista, QFile::decodeName(crudo));
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->text().contains(QChar::ReplacementCharacter));
    lista.Abrir(item);
    EXPECT_EQ(lista.DirectorioBytes(), Ruta(crudo));
    EXPECT_TRUE(lista.Estado().isEmpty());
    EXPECT_EQ(lista.item(lista.count() - 1)->text(), "interior");
}

TEST_F(ListaDirectorios, UltimoDirectorioDeCadaRaiz) {
    const QByteArray a = Carpeta("a"), b = Carpeta("b");
    Carpeta("a/uno");
    Carpeta("b/dos");
    Entrar("a/uno");
    TDirectoryListBox lista;
    QSignalSpy cambios(&lista, &TDirectoryListBox::Cambio);

    // The first root that holds the start directory is taken as its own.
    lista.PonerUnidad(a);
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("a/uno"));
    EXPECT_EQ(cambios.count(), 0);

    lista.PonerUnidad(b);
    EXPECT_EQ(lista.DirectorioBytes(), b);
    lista.PonerDirectorio(Ruta("b/dos"));
    lista.PonerUnidad(a);
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("a/uno"));
    lista.PonerUnidad(a);
    lista.PonerUnidad("");
    EXPECT_EQ(lista.Unidad(), a);
    lista.PonerUnidad(b);
    EXPECT_EQ(lista.DirectorioBytes(), Ruta("b/dos"));
    EXPECT_EQ(cambios.count(), 4);
}

TEST_F(ListaDirectorios, UnaRaizQueNoLoContieneLoLleva) {
    const QByteArray otra = Carpeta("otra");
    Carpeta("aqui");
    Entrar("aqui");
    TDirectoryListBox lista;
    lista.PonerUnidad(otra);
    EXPECT_EQ(lista.DirectorioBytes(), otra);
}

TEST_F(ListaDirectorios, SeReLeeAlMostrarse) {
    Entrar("");
    TDirectoryListBox lista;
    EXPECT_EQ(Textos(lista), Niveles());
    Carpeta("nueva");
    lista.show();
    EXPECT_EQ(Textos(lista), Niveles() + (QStringList{"nueva"}));
}
