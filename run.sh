#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quorvel and starts it on a demo folder that a simulated camera fills with a focus run,
# one frame a second. Closing the window stops the camera.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target quorvel quorvel-simular
exec scripts/demo.sh build "$PWD/demo"
