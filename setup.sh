#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Quorvel needs to build, test and run, when they are missing, and
# any further packages named as arguments. --bench adds what scripts/velocidad.sh needs beyond
# them: the Python pipelines' packages and /usr/bin/time; not part of the tests.
#   ./setup.sh [--bench] [package...]
set -euo pipefail
paquetes=(cmake g++ make pkg-config qt6-base-dev qt6-svg-dev libgtest-dev libbenchmark-dev
          libcfitsio-dev libsep-dev libgsl-dev clang libclang-rt-14-dev fonts-comic-neue xvfb xauth
          imagemagick locales qt6-translations-l10n desktop-file-utils appstream man-db dpkg-dev file
          debhelper lintian)
for a in "$@"; do
    case "$a" in
    --bench) paquetes+=(python3 python3-numpy python3-astropy python3-sep python3-scipy time) ;;
    -*) echo "Uso: ./setup.sh [--bench] [paquete...]" >&2; exit 2 ;;
    *) paquetes+=("$a") ;;
    esac
done
faltan=()
for p in "${paquetes[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || faltan+=("$p")
done
if [ ${#faltan[@]} -gt 0 ]; then
    echo "Instalando: ${faltan[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${faltan[@]}"
fi
