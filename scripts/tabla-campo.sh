#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints, as a Markdown table, what quorvel-medir reports on a simulated focus run of full
# fields with many stars and on the subframes of the same scene around one isolated star:
# the window's single-star measurement and the field measurement (--campo) on each.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/comun.sh
construir build -- quorvel-medir quorvel-simular
trabajo=$(mktemp -d)
trap 'rm -rf "$trabajo"' EXIT

# 1600 × 1200 fields of 40 stars, sigma 3.2 to 1.0 and back; the same scene in 100 px subframes.
serie=(--fotos 9 --intervalo 0 --semilla 11 --ancho 1600 --alto 1200 --campo 40
       --sigma-min 1.0 --sigma-max 3.2)
mkdir "$trabajo/campo" "$trabajo/subcuadro"
build/tools/quorvel-simular "${serie[@]}" "$trabajo/campo" >"$trabajo/sigmas"
build/tools/quorvel-simular "${serie[@]}" --subcuadro 100 "$trabajo/subcuadro" >/dev/null

# One CSV per case; a frame that cannot be measured has no row (its reason goes to stderr).
medir() { build/tools/quorvel-medir --csv "$@" 2>/dev/null || true; }
medir "$trabajo"/campo/*.fits >"$trabajo/campo-una.csv"
medir --campo "$trabajo"/campo/*.fits >"$trabajo/campo-campo.csv"
medir "$trabajo"/subcuadro/*.fits >"$trabajo/sub-una.csv"
medir --campo "$trabajo"/subcuadro/*.fits >"$trabajo/sub-campo.csv"

awk -F'[,\t ]+' '
    { sub(/\r$/, "") }
    # The true width: a Gaussian integrated over pixels, as a fit sees it; for a Gaussian the
    # half-flux diameter and the FWHM are the same number.
    FILENAME ~ /sigmas$/ && /sigma/ { n = split($1, p, "/"); foto[++k] = p[n]
        real[p[n]] = sprintf("%.2f", 2.3548 * sqrt($3 * $3 + 1 / 12)); next }
    FNR == 1 { for (i = 1; i <= NF; i++) col[FILENAME, $i] = i; next }
    { n = split($1, p, "/"); f = p[n]
      fw = $(col[FILENAME, "FWHM"]); hfd = $(col[FILENAME, "HFD"])
      celda = sprintf("%.2f / %.2f", fw, hfd)
      if ((FILENAME, "Calidad") in col && $(col[FILENAME, "Calidad"]) != "")
          celda = celda " " $(col[FILENAME, "Calidad"])
      if ((FILENAME, "Estrellas") in col) celda = celda " (" $(col[FILENAME, "Estrellas"]) ")"
      m = FILENAME; sub(/.*\//, "", m); r[m, f] = celda }
    END {
        print "| Frame | True width | Field, single star | Field, `--campo` | Subframe, single star | Subframe, `--campo` |"
        print "|---|---|---|---|---|---|"
        for (i = 1; i <= k; i++) {
            f = foto[i]
            printf "| %s | %s", f, real[f]
            split("campo-una.csv campo-campo.csv sub-una.csv sub-campo.csv", casos, " ")
            for (c = 1; c <= 4; c++) printf " | %s", ((casos[c], f) in r ? r[casos[c], f] : "no row")
            print " |"
        }
    }' "$trabajo/sigmas" "$trabajo/campo-una.csv" "$trabajo/campo-campo.csv" \
       "$trabajo/sub-una.csv" "$trabajo/sub-campo.csv"
