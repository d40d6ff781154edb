#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes with libFuzzer (ASan + UBSan) for a bounded time: the header layer in memory
# (fuzz_cabecera, fast) for a third of the time, then the whole per-frame path, loader and
# measurement (fuzz_foto), for the rest.
#   scripts/fuzz.sh [seconds, default 60] [seed, default 1] [cabecera|foto|ambos|campo]
# campo runs fuzz_campo alone, the loader and the field measurement, for long campaigns. It
# leaves the per-input leak check out: SEP loses a few bytes on every detection (suppressed),
# and checking after each such input would cost more than the input; fuzz_foto keeps it.
# Fails on any crash, leak, undefined behaviour or broken check; the input that caused it is
# left in build-fuzz/. The corpora grow in build-fuzz/corpus-*.
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:-60}
semilla=${2:-1}
cuales=${3:-ambos}
. scripts/comun.sh
CXX=clang++ construir build-fuzz -DQUORVEL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -- fuzz_foto fuzz_campo fuzz_cabecera fuzz_semillas
cd build-fuzz
rm -rf semillas-foto semillas-cabecera
mkdir -p semillas-foto semillas-cabecera
./tests/fuzz/fuzz_semillas semillas-foto semillas-cabecera

# target, seconds, longest input, seeds, leak check after each input (1 or 0)
ejecutar() {
    local log="fuzz-$1.log"
    echo "fuzz_$1: $2 s"
    mkdir -p "corpus-$1"
    "./tests/fuzz/fuzz_$1" -seed="$semilla" -max_total_time="$2" -max_len="$3" \
        -print_final_stats=1 -detect_leaks="$5" "corpus-$1" "semillas-$4" > "$log" 2>&1 || {
        tail -n 60 "$log"
        exit 1
    }
    # The last progress line (coverage, corpus) and the final figures.
    grep -E '^#[0-9]+' "$log" | tail -n 1
    grep -E '^stat::' "$log"
}
case "$cuales" in
cabecera) ejecutar cabecera "$segundos" 8800 cabecera 1 ;;
foto) ejecutar foto "$segundos" 14400 foto 1 ;;
campo) ejecutar campo "$segundos" 14400 foto 0 ;;
ambos)
    ejecutar cabecera $((segundos / 3)) 8800 cabecera 1
    ejecutar foto $((segundos - segundos / 3)) 14400 foto 1
    ;;
*)
    echo "uso: $0 [segundos] [semilla] [cabecera|foto|ambos|campo]" >&2
    exit 2
    ;;
esac
