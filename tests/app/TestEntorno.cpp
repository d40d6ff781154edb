// SPDX-License-Identifier: GPL-3.0-or-later
// Where the setting lives, and the Spanish of the toolkit's boxes and of system errors.
#include "Comun.h"
#include "Entorno.h"
#include "UQuorvel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace {

// Sets (or, with nullopt, clears) an environment variable for one test.
class Variable {
public:
    Variable(const char* nombre, std::optional<std::string> valor) : nombre_(nombre) {
        if (const char* v = std::getenv(nombre)) antes_ = v;
        Poner(valor);
    }
    ~Variable() { Poner(antes_); }

private:
    void Poner(const std::optional<std::string>& v) {
        if (v)
            ::setenv(nombre_, v->c_str(), 1);
        else
            ::unsetenv(nombre_);
    }
    const char* nombre_;
    std::optional<std::string> antes_;
};

// Answers the next modal box with the button that has the given role, noting every button text.
void ResponderCaja(QStringList& botones, QMessageBox::ButtonRole papel) {
    QTimer::singleShot(0, [&botones, papel] {
        auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!caja) return;
        QAbstractButton* elegido = nullptr;
        for (QAbstractButton* b : caja->buttons()) {
            botones << b->text();
            if (caja->buttonRole(b) == papel) elegido = b;
        }
        if (elegido) elegido->click();
    });
}

} // namespace

TEST(LugarDelAjuste, DesdeLaConstruccionAlLadoYSinoEnLaConfiguracionDelUsuario) {
    CarpetaTemporal construccion, otra, casa, xdg;
    const std::string enXdg = xdg.ruta.string() + "/quorvel/";
    const std::string enCasa = casa.ruta.string() + "/.config/quorvel/";
    const struct {
        std::string ejecutable, construido;
        std::optional<std::string> xdg;
        std::string esperado;
    } casos[] = {
        {construccion.ruta.string() + "/", construccion.ruta.string(), xdg.ruta.string(),
         construccion.ruta.string() + "/"},
        {construccion.ruta.string() + "/./", construccion.ruta.string() + "/", std::nullopt,
         construccion.ruta.string() + "/"},
        // Installed, or a copy elsewhere: never beside itself, even where it could write.
        {otra.ruta.string() + "/", construccion.ruta.string(), xdg.ruta.string(), enXdg},
        {"/usr/bin/", construccion.ruta.string(), std::nullopt, enCasa},
        {"/usr/bin/", construccion.ruta.string(), std::string(""), enCasa},
        {"/usr/bin/", construccion.ruta.string(), std::string("relativa/config"), enCasa},
        {"", "", xdg.ruta.string(), enXdg},
    };
    Variable home("HOME", casa.ruta.string());
    for (const auto& c : casos) {
        Variable variable("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(DirectorioDeAjustes(c.ejecutable, c.construido), c.esperado)
            << c.ejecutable << " built in " << c.construido;
        EXPECT_TRUE(fs::is_directory(c.esperado)) << "created when missing";
    }
}

TEST(LugarDelAjuste, CarpetaDeConstruccionSinEscrituraVaALaConfiguracion) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    CarpetaTemporal construccion, xdg;
    fs::permissions(construccion.ruta, fs::perms::owner_read | fs::perms::owner_exec);
    Variable variable("XDG_CONFIG_HOME", xdg.ruta.string());
    EXPECT_EQ(DirectorioDeAjustes(construccion.ruta.string(), construccion.ruta.string()),
              xdg.ruta.string() + "/quorvel/");
}

// The test executable does not run from the program's build folder, like an installed one.
TEST(LugarDelAjuste, VentanaFueraDeSuCarpetaGuardaEnXdg) {
    CarpetaTemporal xdg, fotos;
    Variable variable("XDG_CONFIG_HOME", xdg.ruta.string());
    {
        TFQuorvel v;
        EXPECT_EQ(v.DirPrograma, xdg.ruta.string() + "/quorvel/");
        v.Edit1->setText(QString::fromStdString(fotos.ruta.string()));
        v.close();
    }
    TFQuorvel v;
    EXPECT_EQ(v.Edit1->text().toStdString(), fotos.ruta.string());
    EXPECT_TRUE(v.Timer1->isActive());
    v.Edit1->clear();
    v.close();
}

TEST(Espanol, LasCajasDelProgramaHablanEspanol) {
    ASSERT_TRUE(CargarTraduccionQt()) << "qt6-translations-l10n installs qtbase_es.qm";
    CarpetaTemporal programa;
    TFQuorvel v(programa.ruta.string() + "/");

    QStringList botones;
    ResponderCaja(botones, QMessageBox::NoRole);
    v.Button2Click();
    EXPECT_EQ(botones, (QStringList{"&Sí", "&No"}));

    // The error box: a setting that cannot be written, with the reason in Spanish.
    TFQuorvel sinCarpeta(programa.ruta.string() + "/no-existe/");
    QString texto;
    QTimer::singleShot(0, [&texto] {
        if (auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            texto = caja->text();
    });
    botones.clear();
    ResponderCaja(botones, QMessageBox::AcceptRole);
    sinCarpeta.close();
    EXPECT_EQ(botones, QStringList{"Aceptar"});
    EXPECT_EQ(texto.toStdString(), "No se puede escribir " + programa.ruta.string() +
                                       "/no-existe/quorvel.ini: No existe el fichero o la carpeta");
}
