#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints DESARROLLO.md's speed table as Markdown, from one run on this machine: the read floor,
# the loader, cfitsio, the measurement and load + measurement with their ratios to the floor,
# the fit, quorvel-medir next to the Python pipeline, quorvel-medir --campo next to the Python
# field pipeline on fields of 200 and of 1800 stars, the dense field's cost against the sparse
# one's (also MedirCampo alone, in the benchmark BM_MedirCampo), its peak memory on a
# 9576 x 6388 field of 3000 stars, and the window's longest stretch without processing
# messages, in both modes.
# Processor time (user + system) throughout, medians; a figure that could not be measured shows
# as "—". Builds BUILD as a release build first; takes a few minutes. The Python pipelines and
# /usr/bin/time come with ./setup.sh --bench.
#
# Usage: scripts/velocidad.sh [--python] [BUILD]
#   --python  only quorvel-medir beside the Python pipelines; the other rows show "—"
#   BUILD     the build folder (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/comun.sh
solo_python=false
if [ "${1:-}" = --python ]; then
    solo_python=true
    shift
fi
build=${1:-build}
objetivos=(quorvel-medir quorvel-simular)
$solo_python || objetivos+=(quorvel_bench quorvel_tramo)
construir "$build" -DQUORVEL_BENCH=ON -- "${objetivos[@]}"
medir=$build/tools/quorvel-medir
simular=$build/tools/quorvel-simular

carpeta=$(mktemp -d)
trap 'rm -rf "$carpeta"' EXIT
copias=20
cifras=() # NOMBRE=VALOR for the table, beside the benchmarks' own

# Adds NOMBRE=VALOR when VALOR is a figure; otherwise says what is missing.
cifra() {
    if [[ $2 =~ ^[0-9]+(\.[0-9]+)?$ ]]; then
        cifras+=("$1=$2")
    else
        echo "Sin la cifra $1 (${3:-no se midió})" >&2
    fi
}

# Processor milliseconds per frame of one run of quorvel-medir over the copies, start-up
# included and so amortised; fails unless every copy gave its row.
por_foto() {
    local TIMEFORMAT="%3U %3S" # the shell's own timing, to the millisecond
    { time "$medir" "$@" "$carpeta"/copia_*.fits >"$carpeta/filas" 2>/dev/null; } \
        2>"$carpeta/tiempo" || return 1
    [ "$(wc -l <"$carpeta/filas")" -eq $((copias + 1)) ] || return 1
    awk -v n=$copias '{ printf "%.2f\n", ($1 + $2) * 1000 / n }' "$carpeta/tiempo"
}
mediana_de_5() {
    local k t todos=()
    for k in 1 2 3 4 5; do
        t=$(por_foto "$@") || return 1
        todos+=("$t")
    done
    printf '%s\n' "${todos[@]}" | sort -g | sed -n 3p
}
# Writes the copies of one simulated frame; the options are the simulator's.
copias_de() {
    rm -f "$carpeta"/*.fits
    "$simular" --fotos 1 --intervalo 0 --semilla 1 "$@" "$carpeta" >/dev/null
    for k in $(seq -w 1 $copias); do cp "$carpeta/foco_0001.fits" "$carpeta/copia_$k.fits"; done
    cat "$carpeta"/copia_*.fits >/dev/null # from the page cache from here on, for both
}
# The milliseconds of a Python pipeline over the copies: the median of its per-file times,
# imports left out.
python_ms() {
    "$1" "$carpeta"/copia_*.fits 2>/dev/null | sed -n 's/^# por foto: \([0-9.]*\) ms$/\1/p'
}

if ! $solo_python; then
    echo "Midiendo los benchmarks..." >&2
    "$build/bench/quorvel_bench" \
        --benchmark_filter='^BM_(Suelo|LeerFits|Cfitsio|Medir|CargarYMedir|AjustarGauss|MedirCampo)(/|$)' \
        --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
        --benchmark_out="$carpeta/bench.json" --benchmark_out_format=json >/dev/null
fi

# The same 20 copies of one frame for quorvel-medir and Python: a single star, then a field of
# 200 Moffat stars (beta 3.5, FWHM 3 px: sigma 3 / 2.3548), then a dense one of 1800.
for tamano in 1920x1080 6000x4000; do
    echo "quorvel-medir y Python a $tamano..." >&2
    copias_de --ancho "${tamano%x*}" --alto "${tamano#*x}" --sigma-min 2 --sigma-max 2
    cifra "medir/$tamano" "$(mediana_de_5)" "quorvel-medir no midió las $copias fotos"
    cifra "python/$tamano" "$(python_ms bench/pipeline_python.py)" "¿./setup.sh --bench?"
    copias_de --ancho "${tamano%x*}" --alto "${tamano#*x}" --campo 200 --moffat 3.5 \
        --sigma-min 1.274 --sigma-max 1.274
    cifra "campo/$tamano" "$(mediana_de_5 --campo)" "quorvel-medir no midió las $copias fotos"
    cifra "pycampo/$tamano" "$(python_ms bench/pipeline_campo.py)" "¿./setup.sh --bench?"
    # A dense field of the same frame: 1800 stars.
    copias_de --ancho "${tamano%x*}" --alto "${tamano#*x}" --campo 1800 --moffat 3.5 \
        --sigma-min 1.274 --sigma-max 1.274
    cifra "denso/$tamano" "$(mediana_de_5 --campo)" "quorvel-medir no midió las $copias fotos"
    cifra "pydenso/$tamano" "$(python_ms bench/pipeline_campo.py)" "¿./setup.sh --bench?"
done
rm -f "$carpeta"/*.fits

if ! $solo_python; then
    # The window's longest stretch without processing messages: a backlog of single-star
    # frames, then of fields of 200 stars beside the field measurement's own time per frame.
    echo "El tramo más largo de la ventana, en los dos modos..." >&2
    for modo in tramo campo; do
        QT_QPA_PLATFORM=offscreen "$build/bench/quorvel_tramo" --$modo >"$carpeta/$modo.txt" \
            2>/dev/null || echo "quorvel_tramo --$modo falló" >&2
    done
    tramo_maximo='s/^tramo máximo \([0-9.]*\) ms$/\1/p'
    cifra tramo "$(sed -n "$tramo_maximo" "$carpeta/tramo.txt" | tail -1)"
    cifra tramo_campo "$(sed -n "$tramo_maximo" "$carpeta/campo.txt" | tail -1)"
    cifra medida_campo \
        "$(sed -n 's/^medida del campo \([0-9.]*\) ms por foto.*$/\1/p' "$carpeta/campo.txt")"

    # Peak memory of --campo on the largest frames: the maximum resident size, in KiB.
    echo "Memoria de --campo a 9576 × 6388..." >&2
    "$simular" --fotos 1 --ancho 9576 --alto 6388 --intervalo 0 --semilla 1 --campo 3000 \
        --moffat 3.5 --sigma-min 1.274 --sigma-max 1.274 "$carpeta" >/dev/null
    cifra memoria_campo "$(/usr/bin/time -f %M "$medir" --campo "$carpeta/foco_0001.fits" \
        2>&1 >/dev/null | tail -1)" "¿/usr/bin/time, de ./setup.sh --bench?"
fi

bench_json=()
[ -f "$carpeta/bench.json" ] && bench_json=(--bench "$carpeta/bench.json")
python3 scripts/tabla-velocidad.py "${bench_json[@]}" "${cifras[@]}"
