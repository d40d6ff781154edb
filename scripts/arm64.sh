#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package on arm64, checked end to end on an amd64 machine:
#  1. builds quorvel-medir and quorvel-simular for amd64 here, the reference;
#  2. makes a clean Debian 12 chroot with mmdebstrap, from this machine's Debian apt sources;
#  3. cross-builds the package for arm64 there as a packager would, without tests
#     (DEB_BUILD_OPTIONS=nocheck, profiles cross,nocheck), and checks that no test was configured;
#  4. checks the package's contents and dependencies with dpkg-deb, installs it with apt in a
#     second chroot, arm64 only, and there, under qemu-user, has its quorvel-simular write the
#     same simulated frames as the amd64 one and its quorvel-medir measure them: a single star,
#     a field, and focus runs with --curva; frames and CSVs must match the amd64 ones byte for
#     byte; its quorvel-medir --curva --grafico must draw a PNG (its pictures' module found);
#  5. cross-builds it again with its tests, checks that the build itself ran none of them, and
#     lets debhelper run them with CTest, the arm64 test programs under qemu-user.
# Each step's messages go to a log; on a failure the script names the step, shows the end of its
# log and stops. Needs root, mmdebstrap, arch-test and qemu-user-static with binfmt-support, and
# setup.sh's packages for step 1. It takes a long while: it is not part of ./test.sh.
#
#   scripts/arm64.sh [CARPETA]
# CARPETA (build-arm64 by default) keeps the chroot, the packages, the frames, the CSVs and the
# logs; it is made anew on every run, but for the compiler cache of the chroot's builds.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/comun.sh

trabajo=$(realpath -m "${1:-build-arm64}")
raiz=$trabajo/raiz
raiz64=$trabajo/raiz-arm64
registros=$trabajo/registros
resumen=$trabajo/resumen.txt
# Inside the chroot: the source, and the arm64 package's own folder of frames and CSVs.
fuente=/build/quorvel
obj=$fuente/obj-aarch64-linux-gnu

# etapa NOMBRE ORDEN...: runs ORDEN with its messages in NOMBRE's log and writes how long it took;
# if it fails, says where the script stopped and why, and stops it.
paso=0
etapa() {
    local nombre=$1
    shift
    paso=$((paso + 1))
    local registro
    registro=$registros/$(printf %02d "$paso")-${nombre//[^a-zA-Z0-9]/-}.log
    printf '%-40s ' "$nombre..."
    local inicio=$SECONDS estado
    set +e
    (set -e; "$@") >"$registro" 2>&1
    estado=$?
    set -e
    local segundos=$((SECONDS - inicio))
    if [ "$estado" -ne 0 ]; then
        echo "FALLO ($segundos s)"
        tail -n 40 "$registro" | sed 's/^/  | /'
        echo "arm64.sh se detuvo en el paso «$nombre»; su registro completo: $registro" >&2
        exit 1
    fi
    echo "bien ($segundos s)"
    printf '%-40s %5d s\n' "$nombre" "$segundos" >>"$resumen"
}

# dentro RAIZ CARPETA DESTINO ORDEN: runs the shell line ORDEN in the chroot RAIZ as root, with
# its own /dev, /proc and /sys and the folder CARPETA at DESTINO, gone when it ends. An arm64
# program there runs under qemu-user through binfmt_misc.
dentro() {
    unshare --mount --propagation private -- bash -euc '
        mount --rbind /dev "$1/dev"
        mount -t proc proc "$1/proc"
        mount --rbind /sys "$1/sys"
        mount --bind "$2" "$1$3"
        exec chroot "$1" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive CCACHE_DIR=/build/ccache \
            CMAKE_CXX_COMPILER_LAUNCHER=ccache bash -euxo pipefail -c "$4"' _ "$@"
}
# The build chroot (amd64, with arm64 as a second architecture), with the compiler cache.
en_raiz() { dentro "$raiz" "$trabajo/ccache" /build/ccache "$1"; }
# The arm64 chroot, where everything runs under qemu-user, with the build chroot's /build.
en_arm64() { dentro "$raiz64" "$raiz/build" /build "$1"; }

requisitos() {
    [ "$(id -u)" -eq 0 ] || { echo "hace falta ser root (mmdebstrap y chroot)"; return 1; }
    local orden
    for orden in mmdebstrap arch-test unshare git cmake; do
        command -v "$orden" || { echo "falta $orden: apt-get install mmdebstrap arch-test"; return 1; }
    done
    # arch-test runs a tiny arm64 program: qemu-user must be registered with binfmt_misc.
    arch-test arm64 || {
        echo "este equipo no ejecuta programas arm64: apt-get install qemu-user-static binfmt-support"
        return 1
    }
}

# This machine's apt sources from Debian's own archive, one "deb" line per suite, from what apt
# uses now (a repository signed by anyone else would not be trusted in the chroot).
fuentes_debian() {
    apt-cache policy | awk '
        $1 ~ /^[0-9]+$/ && $2 ~ /^[a-z]+:\/\// && $3 ~ /\// { split($3, sc, "/"); url = $2; next }
        $1 == "release" && url != "" && $2 ~ /(^|,)o=Debian(,|$)/ {
            if (!(url SUBSEP sc[1] SUBSEP sc[2] in visto)) {
                visto[url, sc[1], sc[2]] = 1
                comp[url " " sc[1]] = comp[url " " sc[1]] " " sc[2]
            }
        }
        { url = "" }
        END { for (e in comp) print "deb " e comp[e] }' | sort
}

referencia_amd64() {
    construir "$trabajo/amd64" -DQUORVEL_BENCH=OFF -DBUILD_TESTING=OFF -- quorvel-medir quorvel-simular
}

crear_chroot() {
    local fuentes
    fuentes=$(fuentes_debian)
    echo "$fuentes"
    [ -n "$fuentes" ] || { echo "apt no tiene ninguna fuente del archivo de Debian"; return 1; }
    mmdebstrap --variant=buildd --architectures=amd64,arm64 \
        --include=crossbuild-essential-arm64,ccache bookworm "$raiz" - <<<"$fuentes"
    mkdir -p "$raiz$fuente" "$raiz/build/ccache"
    # The tracked files and the new ones not ignored: the worktree as it is, without its builds.
    git ls-files -z --cached --others --exclude-standard |
        tar --null -T - -cf - | tar -xf - -C "$raiz$fuente"
}

# The packager's cross-build without tests: GoogleTest and cfitsio are not even installed.
paquete_sin_pruebas() {
    en_raiz "cd $fuente
        apt-get update
        apt-get build-dep -y -o APT::Install-Recommends=false -a arm64 -Pcross,nocheck ./
        for p in libgtest-dev libcfitsio-dev; do
            if dpkg -s \$p >/dev/null 2>&1; then echo \"nocheck instaló \$p\"; exit 1; fi
        done
        DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -a arm64 -Pcross,nocheck -us -uc -b
        test ! -e $obj/tests
        grep -x 'BUILD_TESTING:BOOL=OFF' $obj/CMakeCache.txt
        mkdir -p /build/paquete
        mv ../quorvel_*_arm64.deb /build/paquete/
        dpkg-deb --info /build/paquete/quorvel_*_arm64.deb | grep -x ' Architecture: arm64'"
}

# The cross-build with its tests. Debian 12's debhelper runs them when cross-building too; here
# CTest runs the arm64 programs under qemu-user. Before that, the build itself must not have run
# a test program to list its tests: that would show in the log as GoogleTestAddTests.
# crossbuildcanrunhostbinaries tells debhelper that this emulation is set up (it warns otherwise).
paquete_con_pruebas() {
    en_raiz "cd $fuente
        apt-get build-dep -y -o APT::Install-Recommends=false -a arm64 -Pcross ./
        DEB_BUILD_OPTIONS=crossbuildcanrunhostbinaries dpkg-buildpackage -a arm64 -Pcross -us -uc -b
        readelf -h $obj/tests/measure/test_measure | grep 'Machine:.*AArch64'"
    if sed '/dh_auto_test/q' "$registro" | grep GoogleTestAddTests; then
        echo "la construcción ejecutó un programa de pruebas arm64 para listar sus pruebas"
        return 1
    fi
    # Read through a pipe: the log is also this step's output, which grep refuses as its input.
    tail -n 300 "$registro" | grep -x '100% tests passed, 0 tests failed out of [0-9]*'
}

# What the arm64 package holds before it is installed: the three programs and the pictures'
# module at the multiarch path quorvel-medir looks in, all of them arm64, and dependencies on
# the arm64 libraries they were linked with (shlibs), not on none.
contenido_paquete() {
    en_raiz "cd /build/paquete
        dpkg-deb --contents quorvel_*_arm64.deb
        dpkg-deb --field quorvel_*_arm64.deb Depends | tee depende.txt
        grep -q 'libqt6core6' depende.txt && grep -q 'libgsl' depende.txt
        rm -rf contenido && dpkg-deb --extract quorvel_*_arm64.deb contenido
        for f in usr/bin/quorvel usr/bin/quorvel-medir usr/bin/quorvel-simular \
                 usr/lib/aarch64-linux-gnu/quorvel/quorvel-dibujo.so; do
            readelf -h contenido/\$f | grep 'Machine:.*AArch64'
        done
        test \$(find contenido -name 'quorvel-dibujo.so' | wc -l) -eq 1"
}

# The package is installed as on a telescope's computer: in a second chroot, arm64 only, where
# apt and dpkg run under qemu-user too. In the build chroot it could not be: its Arch: all
# dependencies (Qt's translations) count there as amd64 packages, which an arm64 one cannot use.
chroot_arm64() {
    local fuentes
    fuentes=$(fuentes_debian)
    mmdebstrap --variant=apt --architectures=arm64 bookworm "$raiz64" - <<<"$fuentes"
    mkdir -p "$raiz64/build"
}

instalar_paquete() {
    en_arm64 "dpkg --print-architecture | grep -x arm64
        apt-get update
        apt-get install -y -o APT::Install-Recommends=false /build/paquete/quorvel_*_arm64.deb
        dpkg -s quorvel | grep -x 'Architecture: arm64'
        dpkg -L quorvel | grep -x /usr/lib/aarch64-linux-gnu/quorvel/quorvel-dibujo.so
        quorvel-medir --version"
}

# The scenes, the same for both programs: NOMBRE and quorvel-simular's options.
escenas=(
    "estrella --fotos 9 --ancho 160 --alto 160 --semilla 11"
    "campo --campo 200 --ancho 1600 --alto 1200 --sigma-min 1.0 --sigma-max 3.2 --fotos 3 --semilla 12"
    "curva --campo 120 --ancho 1024 --alto 768 --hiperbola --fotos 11 --semilla 13"
)
# The measurements: CSV name, scene and quorvel-medir's options.
medidas=(
    "estrella estrella --csv"
    "campo campo --campo --csv"
    "curva-estrella estrella --curva --csv"
    "curva-campo curva --curva --campo --csv"
)

# simular_y_medir ARQ: the package's programs (arm64, in the chroot) or the reference ones
# (amd64, here) write the scenes and measure the amd64 frames, into the chroot's /build/ARQ.
# The frames are named from their own folder: the CSV's first column is the name as given.
simular_y_medir() {
    local linea=() escena orden=""
    for escena in "${escenas[@]}"; do
        read -ra linea <<<"$escena"
        orden+="quorvel-simular --intervalo 0 ${linea[*]:1} /build/\$arq/fotos/${linea[0]} >/dev/null
"
    done
    for escena in "${medidas[@]}"; do
        read -ra linea <<<"$escena"
        orden+="(cd /build/amd64/fotos/${linea[1]} && quorvel-medir ${linea[*]:2} foco_*.fits) \
>/build/\$arq/${linea[0]}.csv
"
    done
    if [ "$1" = arm64 ]; then
        en_arm64 "arq=arm64; rm -rf /build/arm64; $orden"
    else
        rm -rf "$raiz/build/amd64"
        PATH="$trabajo/amd64/tools:$PATH" arq=amd64 bash -euxc "${orden//\/build\//$raiz/build/}"
    fi
}

# The focus curve's picture from the same frames: the installed arm64 quorvel-medir has to find
# its module under /usr/lib/aarch64-linux-gnu/quorvel and draw a PNG of the amd64 one's size.
# The pixels are not compared: text and lines are drawn through the toolkit's own rasteriser.
grafico() {
    (cd "$raiz/build/amd64/fotos/estrella" &&
        "$trabajo/amd64/tools/quorvel-medir" --curva --grafico "$raiz/build/amd64/curva.png" foco_*.fits)
    en_arm64 "cd /build/amd64/fotos/estrella
        quorvel-medir --curva --grafico /build/arm64/curva.png foco_*.fits"
    local a b
    a=$(od -An -tx1 -j0 -N24 "$raiz/build/amd64/curva.png" | tr -d ' \n')
    b=$(od -An -tx1 -j0 -N24 "$raiz/build/arm64/curva.png" | tr -d ' \n')
    echo "amd64: $a"
    echo "arm64: $b"
    # The PNG signature, then IHDR's width and height.
    [ "${b:0:16}" = 89504e470d0a1a0a ] || { echo "el arm64 no dibujó un PNG"; return 1; }
    [ "$a" = "$b" ] || { echo "los dos dibujos no tienen el mismo tamaño"; return 1; }
    echo "dibujo arm64: $(stat -c %s "$raiz/build/arm64/curva.png") bytes, $((16#${b:32:8})) x $((16#${b:40:8}))"
}

comparar() {
    local a b distintos=0
    for a in "$raiz"/build/amd64/fotos/*/*.fits "$raiz"/build/amd64/*.csv; do
        b=${a/\/build\/amd64\//\/build\/arm64\/}
        if cmp "$a" "$b"; then
            echo "igual: ${a#"$raiz"/build/amd64/}"
        else
            distintos=1
            case $a in *.csv) diff "$a" "$b" | head -n 20 ;; esac
        fi
    done
    # An empty CSV, or one with a header only, would match and check nothing.
    for a in "$raiz"/build/amd64/*.csv; do
        [ "$(wc -l <"$a")" -ge 2 ] || { echo "$a no tiene filas"; distintos=1; }
        echo "$(basename "$a"): $(($(wc -l <"$a") - 1)) filas"
    done
    return "$distintos"
}

find "$trabajo" -mindepth 1 -maxdepth 1 ! -name ccache -exec rm -rf {} + 2>/dev/null || true
mkdir -p "$registros" "$trabajo/ccache"
: >"$resumen"
inicio=$SECONDS
etapa "requisitos" requisitos
etapa "referencia amd64" referencia_amd64
etapa "chroot de Debian 12" crear_chroot
etapa "paquete arm64 sin pruebas" paquete_sin_pruebas
etapa "contenido del paquete arm64" contenido_paquete
etapa "chroot arm64 (qemu)" chroot_arm64
etapa "paquete instalado en arm64 (qemu)" instalar_paquete
etapa "simular y medir en amd64" simular_y_medir amd64
etapa "simular y medir en arm64 (qemu)" simular_y_medir arm64
etapa "fotos y CSV iguales byte a byte" comparar
etapa "gráfico de la curva en arm64 (qemu)" grafico
etapa "paquete arm64 con pruebas (qemu)" paquete_con_pruebas
printf '%-40s %5d s\n' total $((SECONDS - inicio)) >>"$resumen"
grep -h '^igual:\|filas$' "$registros"/*-fotos-y-CSV-*.log >>"$resumen" || true
grep -h '^dibujo arm64' "$registros"/*-gr*fico-*.log >>"$resumen" || true
grep -h 'tests passed\|Total Test time' "$registros"/*-con-pruebas-*.log >>"$resumen" || true
cat "$resumen"
