#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# quorvel-medir next to the Python pipeline (bench/pipeline_python.py) on the same 20 copies of
# one simulated frame, at 1920 x 1080 and 6000 x 4000: processor time (user + system) per frame.
# quorvel-medir: the median of 5 runs over the 20 files, start-up included and so amortised;
# Python: the median of its 20 per-file times, imports left out. Needs bench/setup-bench.sh.
#
# Usage: bench/comparar_python.sh [--valores] [BUILD]
#   BUILD      the build folder with tools/ (default: build)
#   --valores  instead of the table, one line per size for bench/velocidad.sh:
#              "ANCHO ALTO MEDIR_MS CAMPO_MS PYTHON_MS", CAMPO_MS "-" when quorvel-medir has
#              no --campo, PYTHON_MS "-" when the pipeline cannot run
set -euo pipefail
cd "$(dirname "$0")/.."
valores=false
if [ "${1:-}" = "--valores" ]; then
    valores=true
    shift
fi
build=${1:-build}
medir=$build/tools/quorvel-medir
simular=$build/tools/quorvel-simular
for p in "$medir" "$simular"; do
    [ -x "$p" ] || { echo "Falta $p: compila primero (cmake --build $build)" >&2; exit 1; }
done
campo=false
"$medir" --help | grep -q -- --campo && campo=true

carpeta=$(mktemp -d)
trap 'rm -rf "$carpeta"' EXIT
copias=20

# Processor milliseconds per frame of one run of quorvel-medir over the copies; fails unless
# every copy gave its row.
por_foto() {
    local TIMEFORMAT="%3U %3S" # the shell's own timing, to the millisecond
    { time "$medir" "$@" "$carpeta"/copia_*.fits >"$carpeta/filas" 2>/dev/null; } \
        2>"$carpeta/tiempo" || return 1
    [ "$(wc -l <"$carpeta/filas")" -eq $((copias + 1)) ] || return 1
    awk -v n=$copias '{ printf "%.2f\n", ($1 + $2) * 1000 / n }' "$carpeta/tiempo"
}
mediana_de_5() {
    local k
    for k in 1 2 3 4 5; do por_foto "$@" || return 1; done | sort -g | sed -n 3p
    [ "${PIPESTATUS[0]}" -eq 0 ]
}

$valores || {
    echo "| frame | quorvel-medir | quorvel-medir --campo | Python pipeline | Python ÷ quorvel-medir |"
    echo "|---|---|---|---|---|"
}
for tamano in "1920 1080" "6000 4000"; do
    read -r ancho alto <<<"$tamano"
    rm -f "$carpeta"/*.fits
    "$simular" --fotos 1 --ancho "$ancho" --alto "$alto" --intervalo 0 --semilla 1 \
        --sigma-min 2 --sigma-max 2 "$carpeta" >/dev/null
    for k in $(seq -w 1 $copias); do cp "$carpeta/foco_0001.fits" "$carpeta/copia_$k.fits"; done
    cat "$carpeta"/copia_*.fits >/dev/null # from the page cache from here on, for both

    ms_medir=$(mediana_de_5) || { echo "quorvel-medir no midió las $copias fotos" >&2; exit 1; }
    ms_campo=-
    if $campo && ! ms_campo=$(mediana_de_5 --campo); then
        echo "quorvel-medir --campo no midió las $copias fotos de $ancho × $alto" >&2
        ms_campo=-
    fi
    ms_python=$(bench/pipeline_python.py "$carpeta"/copia_*.fits |
        sed -n 's/^# por foto: \([0-9.]*\) ms$/\1/p') || true
    [ -n "$ms_python" ] || {
        echo "El pipeline de Python no midió (¿bench/setup-bench.sh?)" >&2
        ms_python=-
    }

    if $valores; then
        echo "$ancho $alto $ms_medir $ms_campo $ms_python"
    else
        awk -v w="$ancho" -v h="$alto" -v m="$ms_medir" -v c="$ms_campo" -v p="$ms_python" '
            function ms(v) { return v == "-" ? "—" : v " ms" }
            BEGIN {
                printf "| %s × %s | %s | %s | %s | %s |\n", w, h, ms(m), ms(c), ms(p),
                       p == "-" ? "—" : sprintf("%.1f ×", p / m)
            }'
    fi
done
