#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Quorvel and runs every test: once normally, once with AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")"
./setup.sh
. scripts/comun.sh
export QT_QPA_PLATFORM=offscreen

construir build
(cd build && ctest --output-on-failure)

construir build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON -DQUORVEL_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure)

# The header layer, then the loader and the measurement, on fuzzed bytes for a bounded time
# with a fixed seed.
scripts/fuzz.sh 60 1
