#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quorvel and starts it on a demo folder that a simulated camera fills with a focus run,
# one frame a second. Closing the window stops the camera.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target quorvel quorvel-simular

demo="$PWD/demo"
mkdir -p "$demo"
rm -f "$demo"/foco_*.fits # each demo starts a new run
# First start: point the program at the demo folder (an existing setting is kept).
[ -f build/app/quorvel.ini ] || printf '%s\r\n' "$demo" > build/app/quorvel.ini

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No hay pantalla gráfica (DISPLAY vacío); pruebe: xvfb-run -a ./run.sh" >&2
    exit 1
fi
build/tools/quorvel-simular --intervalo 1.0 "$demo" &
camara=$!
trap 'kill "$camara" 2>/dev/null || true' EXIT
build/app/quorvel
