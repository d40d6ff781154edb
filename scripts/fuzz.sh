#!/usr/bin/env bash
# Fuzzes the loader and the measurement with libFuzzer (ASan + UBSan) for a bounded time.
#   scripts/fuzz.sh [seconds, default 60] [seed, default 1]
# Fails on any crash, leak or undefined behaviour; the crashing input is left in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:-60}
semilla=${2:-1}
CXX=clang++ cmake -S . -B build-fuzz -DQUORVEL_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j2 --target fuzz_foto fuzz_semillas
semillas=build-fuzz/semillas
corpus=build-fuzz/corpus
rm -rf "$semillas"
mkdir -p "$semillas" "$corpus"
build-fuzz/tests/fuzz/fuzz_semillas "$semillas"
cd build-fuzz
./tests/fuzz/fuzz_foto -seed="$semilla" -max_total_time="$segundos" -max_len=20000 \
    -print_final_stats=1 -detect_leaks=1 corpus semillas > fuzz.log 2>&1 || {
    tail -n 60 fuzz.log
    exit 1
}
# The last progress line (coverage, corpus) and the final figures.
grep -E '^#[0-9]+' fuzz.log | tail -n 1
grep -E '^stat::' fuzz.log
