#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws docs/curva.png and docs/inclinacion.png, the README's pictures of quorvel-medir's
# analyses: a simulated run of a field through focus, its sensor tilted along NAXIS1, and a
# run whose focal plane leans and bends in focus.
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh
. scripts/comun.sh
construir build -- quorvel-medir quorvel-simular

serie=$(mktemp -d)
trap 'rm -rf "$serie"' EXIT
build/tools/quorvel-simular -t 0 -n 15 --semilla 7 --ancho 1600 --alto 1100 --campo 250 \
    --sigma-min 1.3 --sigma-max 4 --hiperbola --inclinacion 0.25 --posicion 12400,40 \
    "$serie" >/dev/null
raiz=$PWD
cd "$serie" # the frames' names as the pictures show them
# Exit status 1 would only say that a curve is not to be trusted; the picture shows why.
LC_ALL=C "$raiz"/build/tools/quorvel-medir --curva --campo --grafico "$raiz"/docs/curva.png \
    foco_*.fits || true
cd "$raiz"
rm -f "$serie"/foco_*.fits
build/tools/quorvel-simular -t 0 -n 11 --semilla 8 --ancho 900 --alto 600 --campo 400 \
    --sigma-min 1.5 --sigma-max 4.5 --posicion 1000,20 --plano 60,-30,45 "$serie" >/dev/null
LC_ALL=C build/tools/quorvel-medir --curva --inclinacion --grafico docs/inclinacion.png \
    "$serie"/foco_*.fits
echo "docs/curva.png docs/inclinacion.png"
