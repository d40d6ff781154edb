#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo of ./run.sh on an existing build: a simulated camera fills DEMO with a focus run, one
# frame a second, while Quorvel watches it; closing the window stops the camera. With --campo
# the camera writes full fields of 200 stars and the window measures them in field mode.
#
# Usage: scripts/demo.sh BUILD DEMO [--campo]
set -euo pipefail
. "$(dirname "$0")/comun.sh"
[ $# -ge 2 ] && [ $# -le 3 ] || { echo "Uso: scripts/demo.sh BUILD DEMO [--campo]" >&2; exit 2; }
build=$1
demo=$(realpath -m "$2")
modo=()
camara=(--intervalo 1.0)
if [ $# -eq 3 ]; then
    [ "$3" = --campo ] || { echo "Uso: scripts/demo.sh BUILD DEMO [--campo]" >&2; exit 2; }
    modo=(--campo)
    camara=(--intervalo 1.0 "${camara_campo[@]}")
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No hay pantalla gráfica (DISPLAY vacío); pruebe: xvfb-run -a ./run.sh" >&2
    exit 1
fi

mkdir -p "$demo"
rm -f "$demo"/foco_*.fits # each demo starts a new run
programa_de_demo "$build" "$demo"

"$build/tools/quorvel-simular" "${camara[@]}" "$demo" &
pid_camara=$!
trap 'kill "$pid_camara" 2>/dev/null || true' EXIT
XDG_CONFIG_HOME="$demo/.programa/ajustes" "$demo/.programa/quorvel" "${modo[@]}"
