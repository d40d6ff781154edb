#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# quorvel-medir next to the Python pipelines on the same 20 copies of one simulated frame, at
# 1920 x 1080 and 6000 x 4000: processor time (user + system) per frame. The single-star
# measurement against bench/pipeline_python.py on a one-star frame; --campo against
# bench/pipeline_campo.py on a field of 200 Moffat stars (beta 3.5, FWHM 3 px).
# quorvel-medir: the median of 5 runs over the 20 files, start-up included and so amortised;
# Python: the median of its 20 per-file times, imports left out. Needs bench/setup-bench.sh.
#
# Usage: bench/comparar_python.sh [--valores] [BUILD]
#   BUILD      the build folder with tools/ (default: build)
#   --valores  instead of the table, one line per size for bench/velocidad.sh:
#              "ANCHO ALTO MEDIR_MS CAMPO_MS PYTHON_MS PYCAMPO_MS", CAMPO_MS "-" when
#              quorvel-medir has no --campo, the Python figures "-" when a pipeline cannot run
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

# Writes the copies of one simulated frame; the options are the simulator's.
copias_de() {
    rm -f "$carpeta"/*.fits
    "$simular" --fotos 1 --intervalo 0 --semilla 1 "$@" "$carpeta" >/dev/null
    for k in $(seq -w 1 $copias); do cp "$carpeta/foco_0001.fits" "$carpeta/copia_$k.fits"; done
    cat "$carpeta"/copia_*.fits >/dev/null # from the page cache from here on, for both
}
# The Python pipeline's milliseconds per frame over the copies, or "-".
python_ms() {
    local ms
    ms=$("$1" "$carpeta"/copia_*.fits | sed -n 's/^# por foto: \([0-9.]*\) ms$/\1/p') || true
    [ -n "$ms" ] || {
        echo "$1 no midió (¿bench/setup-bench.sh?)" >&2
        ms=-
    }
    echo "$ms"
}

$valores || {
    echo "| frame | quorvel-medir | Python pipeline | ratio | quorvel-medir --campo, 200 stars | Python field pipeline | ratio |"
    echo "|---|---|---|---|---|---|---|"
}
for tamano in "1920 1080" "6000 4000"; do
    read -r ancho alto <<<"$tamano"
    copias_de --ancho "$ancho" --alto "$alto" --sigma-min 2 --sigma-max 2
    ms_medir=$(mediana_de_5) || { echo "quorvel-medir no midió las $copias fotos" >&2; exit 1; }
    ms_python=$(python_ms bench/pipeline_python.py)

    # FWHM 3 px: sigma 3 / 2.3548.
    copias_de --ancho "$ancho" --alto "$alto" --campo 200 --moffat 3.5 --sigma-min 1.274 \
        --sigma-max 1.274
    ms_campo=-
    if $campo && ! ms_campo=$(mediana_de_5 --campo); then
        echo "quorvel-medir --campo no midió las $copias fotos de $ancho × $alto" >&2
        ms_campo=-
    fi
    ms_pycampo=$(python_ms bench/pipeline_campo.py)

    if $valores; then
        echo "$ancho $alto $ms_medir $ms_campo $ms_python $ms_pycampo"
    else
        awk -v w="$ancho" -v h="$alto" -v m="$ms_medir" -v c="$ms_campo" -v p="$ms_python" \
            -v q="$ms_pycampo" '
            function ms(v) { return v == "-" ? "—" : v " ms" }
            function razon(a, b) { return a == "-" || b == "-" ? "—" : sprintf("%.1f ×", a / b) }
            BEGIN {
                printf "| %s × %s | %s | %s | %s | %s | %s | %s |\n", w, h, ms(m), ms(p),
                       razon(p, m), ms(c), ms(q), razon(q, c)
            }'
    fi
done
