#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo of ./run.sh on an existing build: a simulated camera fills DEMO with a focus run, one
# frame a second, while Quorvel watches it; closing the window stops the camera.
#
# Usage: scripts/demo.sh BUILD DEMO
set -euo pipefail
[ $# -eq 2 ] || { echo "Uso: scripts/demo.sh BUILD DEMO" >&2; exit 2; }
build=$1
demo=$(realpath -m "$2")

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No hay pantalla gráfica (DISPLAY vacío); pruebe: xvfb-run -a ./run.sh" >&2
    exit 1
fi

mkdir -p "$demo"
rm -f "$demo"/foco_*.fits # each demo starts a new run
# The demo watches DEMO whatever the program's setting says: it runs its own copy of the
# program, which keeps its setting in the demo's hidden folder (not beside the build's copy,
# not in the user's), written anew at every start.
programa="$demo/.programa"
mkdir -p "$programa/ajustes/quorvel"
cp -f "$build/app/quorvel" "$programa/quorvel"
printf '%s\r\n' "$demo" >"$programa/ajustes/quorvel/quorvel.ini"

"$build/tools/quorvel-simular" --intervalo 1.0 "$demo" &
pid_camara=$!
trap 'kill "$pid_camara" 2>/dev/null || true' EXIT
XDG_CONFIG_HOME="$programa/ajustes" "$programa/quorvel"
