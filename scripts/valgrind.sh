#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the unit tests of the computing core, and the window tests offscreen, under memcheck.
# Fails when valgrind reports an error or a definite leak.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/comun.sh
construir build
export QT_QPA_PLATFORM=offscreen
estado=0
for t in build/tests/base/test_base build/tests/fits/test_fits build/tests/measure/test_measure \
         build/tests/chart/test_chart build/tests/display/test_display build/tests/app/test_app; do
    [ -x "$t" ] || continue
    echo "== $t"
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
        --suppressions=scripts/valgrind.supp -q "$t" --gtest_brief=1 || estado=1
done
exit $estado
