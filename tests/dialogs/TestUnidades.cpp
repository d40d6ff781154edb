// SPDX-License-Identifier: GPL-3.0-or-later
#include "Arbol.h"
#include "ListaUnidades.h"
#include "Rutas.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const char* const tablaMontajes = R"(proc /proc proc rw,relatime 0 0
sysfs /sys sysfs rw 0 0
overlay / overlay rw,lowerdir=/a 0 0
devtmpfs /dev devtmpfs rw 0 0
cgroup2 /sys/fs/cgroup cgroup2 rw 0 0
tmpfs /tmp tmpfs rw 0 0
tmpfs /run/user/1000 tmpfs rw 0 0
tmpfs /dev/shm tmpfs rw 0 0
/dev/sda2 /home ext4 rw 0 0
/dev/sdb1 /media/ana/FOTOS vfat rw 0 0
/dev/sdc1 /run/media/ana/Disco exfat rw 0 0
Server:/Export /mnt/nfs nfs4 rw 0 0
//nas/Astro /mnt/astro cifs rw 0 0
ana@host:/data /mnt/ssh fuse.sshfs rw 0 0
/dev/sr0 /mnt/cd iso9660 ro 0 0
/dev/loop3 /snap/core/1 squashfs ro 0 0
/dev/sdd1 /mnt/mi\040disco ext4 rw 0 0
/dev/sde1 /mnt/nuevo ext4 rw 0 0
/dev/sdf1 /mnt/nuevo xfs rw 0 0
mal formada
)";

struct Esperada {
    const char* raiz;
    TTipoUnidad tipo;
    const char* dispositivo;
};

} // namespace

TEST(Unidades, TablaDeMontajes) {
    const std::vector<Esperada> esperadas = {
        {"/", TTipoUnidad::Fija, "overlay"},
        {"/home", TTipoUnidad::Fija, "/dev/sda2"},
        {"/media/ana/FOTOS", TTipoUnidad::Extraible, "/dev/sdb1"},
        {"/mnt/astro", TTipoUnidad::Red, "//nas/Astro"},
        {"/mnt/cd", TTipoUnidad::CdRom, "/dev/sr0"},
        {"/mnt/mi disco", TTipoUnidad::Fija, "/dev/sdd1"},
        {"/mnt/nfs", TTipoUnidad::Red, "Server:/Export"},
        {"/mnt/nuevo", TTipoUnidad::Fija, "/dev/sdf1"}, // the later mount hides the first
        {"/mnt/ssh", TTipoUnidad::Red, "ana@host:/data"},
        {"/run/media/ana/Disco", TTipoUnidad::Extraible, "/dev/sdc1"},
        {"/tmp", TTipoUnidad::Ram, "tmpfs"},
    };
    const std::vector<TUnidad> unidades = UnidadesDeTabla(tablaMontajes);
    ASSERT_EQ(unidades.size(), esperadas.size());
    for (size_t i = 0; i < esperadas.size(); ++i) {
        SCOPED_TRACE(esperadas[i].raiz);
        EXPECT_EQ(unidades[i].Raiz, esperadas[i].raiz);
        EXPECT_EQ(unidades[i].Tipo, esperadas[i].tipo);
        EXPECT_EQ(unidades[i].Dispositivo, esperadas[i].dispositivo);
    }
}

TEST(Unidades, SinTablaQuedaLaRaiz) {
    for (const char* tabla : {"", "\n\n", "basura sin campos\n"}) {
        const std::vector<TUnidad> unidades = UnidadesDeTabla(tabla);
        ASSERT_EQ(unidades.size(), 1u) << tabla;
        EXPECT_EQ(unidades[0].Raiz, "/");
    }
}

TEST(Unidades, Textos) {
    struct Caso {
        TUnidad unidad;
        const char* texto;
    };
    const Caso casos[] = {
        {{"/", TTipoUnidad::Fija, "Sistema", "/dev/sda1"}, "/ [sistema]"},
        {{"/home", TTipoUnidad::Fija, "", "/dev/sda2"}, "/home []"},
        {{"/tmp", TTipoUnidad::Ram, "", "tmpfs"}, "/tmp []"},
        {{"/mnt/cd", TTipoUnidad::CdRom, "NOCHE_M31", "/dev/sr0"}, "/mnt/cd [noche_m31]"},
        // The mount point is a path and keeps its case; the medium is not read.
        {{"/media/Ana/FOTOS", TTipoUnidad::Extraible, "FOTOS", "/dev/sdb1"}, "/media/Ana/FOTOS"},
        {{"/mnt/NFS", TTipoUnidad::Red, "", "Server:/Export"}, "/mnt/NFS server:/export"},
        {{"/mnt/red", TTipoUnidad::Red, "Etiqueta", ""}, "/mnt/red [etiqueta]"},
    };
    for (const Caso& c : casos) EXPECT_EQ(TextoUnidad(c.unidad), QString(c.texto));
}

TEST(Unidades, EstaBajo) {
    struct Caso {
        const char* ruta;
        const char* raiz;
        bool bajo;
    };
    const Caso casos[] = {
        {"/", "/", true},           {"/home/ana", "/", true},
        {"/home", "/home", true},   {"/home/ana", "/home", true},
        {"/homes", "/home", false}, {"/", "/home", false},
        {"/home", "", false},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(EstaBajo(c.ruta, c.raiz), c.bajo) << c.ruta << " " << c.raiz;
}

TEST(Unidades, LasDelSistemaEmpiezanPorLaRaiz) {
    const std::vector<TUnidad> unidades = LeerUnidades();
    ASSERT_FALSE(unidades.empty());
    EXPECT_EQ(unidades[0].Raiz, "/");
    for (const TUnidad& u : unidades) {
        if (u.Tipo == TTipoUnidad::Red) continue;
        struct stat st {};
        EXPECT_TRUE(stat(u.Raiz.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            << u.Raiz.constData();
    }
}

class ListaUnidades : public ArbolTemporal {};

TEST_F(ListaUnidades, LaActualEsLaRaizMasProfundaDelDirectorio) {
    const QByteArray a = Carpeta("a"), ab = Carpeta("a/b");
    Carpeta("a/b/c");
    Carpeta("ab");
    Entrar("a/b/c");
    TDriveComboBox lista({{"/", TTipoUnidad::Fija, {}, {}},
                          {a, TTipoUnidad::Fija, {}, {}},
                          {ab, TTipoUnidad::Ram, {}, {}},
                          {Ruta("ab"), TTipoUnidad::Fija, {}, {}}});
    EXPECT_EQ(lista.Unidad(), ab);
    EXPECT_EQ(lista.currentIndex(), 2);
    EXPECT_EQ(lista.count(), 4);
    EXPECT_FALSE(lista.isEditable());
}

TEST_F(ListaUnidades, SinRaizQueLoContenga) {
    Entrar("");
    TDriveComboBox lista({{Carpeta("otra"), TTipoUnidad::Fija, {}, {}}});
    EXPECT_TRUE(lista.Unidad().isEmpty());
    EXPECT_EQ(lista.currentIndex(), -1);
}

TEST_F(ListaUnidades, CambioSoloAlElegirOtraRaiz) {
    const QByteArray a = Carpeta("a"), b = Carpeta("b");
    Entrar("a");
    TDriveComboBox lista({{"/", TTipoUnidad::Fija, {}, {}},
                          {a, TTipoUnidad::Fija, {}, {}},
                          {b, TTipoUnidad::Fija, {}, {}}});
    QSignalSpy cambios(&lista, &TDriveComboBox::Cambio);
    const auto elegir = [&](int i) {
        lista.setCurrentIndex(i);
        emit lista.activated(i);
    };
    elegir(1);
    EXPECT_EQ(cambios.count(), 0);
    elegir(2);
    EXPECT_EQ(cambios.count(), 1);
    EXPECT_EQ(lista.Unidad(), b);
    elegir(2);
    EXPECT_EQ(cambios.count(), 1);
    elegir(0);
    EXPECT_EQ(cambios.count(), 2);
    EXPECT_EQ(lista.Unidad(), "/");
}
