# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that build or show Quorvel: the one place of the CMake configure and
# build lines, and of the demo's own copy of the program.

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

# The field camera of the demo: full fields of 200 stars, through focus.
camara_campo=(--campo 200 --ancho 1600 --alto 1200 --sigma-min 1.0 --sigma-max 3.2)

# programa_de_demo BUILD DEMO
# The demo watches DEMO whatever the program's setting says: it runs its own copy of BUILD's
# program, which keeps its setting in DEMO/.programa (not beside the build's copy, not in the
# user's), written anew each time. Run it as
#   XDG_CONFIG_HOME="DEMO/.programa/ajustes" "DEMO/.programa/quorvel"
programa_de_demo() {
    mkdir -p "$2/.programa/ajustes/quorvel"
    cp -f "$1/app/quorvel" "$2/.programa/quorvel"
    printf '%s\r\n' "$2" >"$2/.programa/ajustes/quorvel/quorvel.ini"
}
