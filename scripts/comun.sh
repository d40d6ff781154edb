# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that build Quorvel, from the source folder: the one place of the CMake
# configure and build lines.

# construir CARPETA [OPCION-CMAKE...] [-- OBJETIVO...]
# Configures CARPETA as a release build with debug information (an option given here, such as
# another -DCMAKE_BUILD_TYPE, wins) and builds the targets named after "--", all without one.
# The build's messages go to stderr: the scripts that print a table keep stdout for it.
construir() {
    local carpeta=$1
    shift
    local opciones=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        opciones+=("$1")
        shift
    done
    [ $# -eq 0 ] || shift
    local objetivos=()
    [ $# -eq 0 ] || objetivos=(--target "$@")
    cmake -S . -B "$carpeta" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${opciones[@]}" >/dev/null
    cmake --build "$carpeta" -j2 "${objetivos[@]}" >&2
}
