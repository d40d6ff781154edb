#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quorvel and starts it on a demo folder that a simulated camera fills with a focus run,
# one frame a second. Closing the window stops the camera. ./run.sh --campo shows full fields of
# many stars, measured in the window's field mode.
set -euo pipefail
cd "$(dirname "$0")"
case "${1:-}:$#" in
    :0 | --campo:1) ;;
    *) echo "Uso: ./run.sh [--campo]" >&2; exit 2 ;;
esac
./setup.sh
. scripts/comun.sh
construir build -- quorvel quorvel-simular
exec scripts/demo.sh build "$PWD/demo" "$@"
