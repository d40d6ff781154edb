#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/quorvel.png: the demo of ./run.sh under a virtual X server, photographed once the
# simulated camera has written 25 frames into demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target quorvel quorvel-simular

xvfb-run -a -s "-screen 0 640x560x24" bash -c '
    setsid ./run.sh >/dev/null 2>&1 & demo=$!
    for i in $(seq 120); do
        [ "$(ls demo/foco_*.fits 2>/dev/null | wc -l)" -ge 25 ] && break
        sleep 0.5
    done
    sleep 1.5 # the last frame measured and drawn
    import -window Quorvel docs/quorvel.png
    kill -- -$demo'
echo "docs/quorvel.png"
