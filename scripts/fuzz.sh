#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes with libFuzzer (ASan + UBSan) for a bounded time: the header layer in memory
# (fuzz_cabecera, fast) for a third of the time, then the whole per-frame path, loader and
# measurement (fuzz_foto), for the rest.
#   scripts/fuzz.sh [seconds, default 60] [seed, default 1] [cabecera|foto|ambos, default ambos]
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
mkdir -p semillas-foto semillas-cabecera corpus-foto corpus-cabecera
./tests/fuzz/fuzz_semillas semillas-foto semillas-cabecera

# target, seconds, longest input
ejecutar() {
    local log="fuzz-$1.log"
    echo "fuzz_$1: $2 s"
    "./tests/fuzz/fuzz_$1" -seed="$semilla" -max_total_time="$2" -max_len="$3" \
        -print_final_stats=1 -detect_leaks=1 "corpus-$1" "semillas-$1" > "$log" 2>&1 || {
        tail -n 60 "$log"
        exit 1
    }
    # The last progress line (coverage, corpus) and the final figures.
    grep -E '^#[0-9]+' "$log" | tail -n 1
    grep -E '^stat::' "$log"
}
case "$cuales" in
cabecera) ejecutar cabecera "$segundos" 8800 ;;
foto) ejecutar foto "$segundos" 14400 ;;
ambos)
    ejecutar cabecera $((segundos / 3)) 8800
    ejecutar foto $((segundos - segundos / 3)) 14400
    ;;
*)
    echo "uso: $0 [segundos] [semilla] [cabecera|foto|ambos]" >&2
    exit 2
    ;;
esac
