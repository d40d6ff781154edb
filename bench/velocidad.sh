#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's speed table, from one run on this machine: the read floor, the loader, cfitsio,
# the measurement and load + measurement with their ratios to the floor, the fit, quorvel-medir
# next to the Python pipeline, quorvel-medir --campo next to the Python field pipeline on
# fields of 200 stars and its peak memory on a 9576 x 6388 field of 3000 stars, and the
# window's longest stretch without processing messages.
# Processor time (user + system) throughout, medians; a figure whose benchmark or tool is not
# built shows as "—". Takes a few minutes. Needs a release build and bench/setup-bench.sh.
#
# Usage: bench/velocidad.sh [BUILD]     (BUILD: the build folder, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench=$build/bench/quorvel_bench
[ -x "$bench" ] || { echo "Falta $bench: compila primero (cmake --build $build)" >&2; exit 1; }

carpeta=$(mktemp -d)
trap 'rm -rf "$carpeta"' EXIT

echo "Midiendo los benchmarks..." >&2
"$bench" --benchmark_filter='^BM_(Suelo|LeerFits|Cfitsio|Medir|CargarYMedir|AjustarGauss)(/|$)' \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$carpeta/bench.json" --benchmark_out_format=json >/dev/null
echo "quorvel-medir y el pipeline de Python..." >&2
bench/comparar_python.sh --valores "$build" >"$carpeta/python.txt" ||
    echo "Sin las cifras de quorvel-medir y Python" >&2

# The window's longest stretch without processing messages, in processor time.
tramo=-
if [ -x "$build/bench/quorvel_tramo" ]; then
    echo "El tramo más largo de la ventana..." >&2
    tramo=$(QT_QPA_PLATFORM=offscreen "$build/bench/quorvel_tramo" --tramo 2>/dev/null |
        sed -n 's/^tramo máximo \([0-9.]*\) ms$/\1/p' | tail -1) || true
    [ -n "$tramo" ] || tramo=-
fi

# The same in field mode, on fields of 200 stars, beside the field measurement's own time.
tramo_campo=-
medida_campo=-
if [ -x "$build/bench/quorvel_tramo" ]; then
    echo "El tramo más largo de la ventana en modo campo..." >&2
    QT_QPA_PLATFORM=offscreen "$build/bench/quorvel_tramo" --campo >"$carpeta/campo.txt" 2>/dev/null || true
    tramo_campo=$(sed -n 's/^tramo máximo \([0-9.]*\) ms$/\1/p' "$carpeta/campo.txt" | tail -1)
    medida_campo=$(sed -n 's/^medida del campo \([0-9.]*\) ms por foto.*$/\1/p' "$carpeta/campo.txt")
    [ -n "$tramo_campo" ] && [ -n "$medida_campo" ] || { tramo_campo=-; medida_campo=-; }
fi

# Peak memory of --campo on the largest frames: the maximum resident size against the frame's
# matrix of 2 bytes a pixel.
memoria_campo=-
if [ -x /usr/bin/time ]; then
    echo "Memoria de --campo a 9576 × 6388..." >&2
    "$build/tools/quorvel-simular" --fotos 1 --ancho 9576 --alto 6388 --intervalo 0 --semilla 1 \
        --campo 3000 --moffat 3.5 --sigma-min 1.274 --sigma-max 1.274 "$carpeta" >/dev/null
    memoria_campo=$(/usr/bin/time -f "%M" "$build/tools/quorvel-medir" --campo \
        "$carpeta/foco_0001.fits" 2>&1 >/dev/null | tail -1) || memoria_campo=-
    rm -f "$carpeta/foco_0001.fits"
fi

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
nucleos=$(nproc)
memoria=$(awk '/^MemTotal/ { printf "%.0f", $2 / 1048576 }' /proc/meminfo)
version=$(git rev-parse --short HEAD 2>/dev/null || echo "?")

/usr/bin/python3 - "$carpeta/bench.json" "$carpeta/python.txt" "$tramo" "$cpu" "$nucleos" \
    "$memoria" "$version" "$tramo_campo" "$medida_campo" "$memoria_campo" <<'EOF'
import json, sys

(bench_json, python_txt, tramo, cpu, nucleos, memoria, version, tramo_campo,
 medida_campo, memoria_campo) = sys.argv[1:]
ESCALA = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
tiempos = {}  # "BM_Suelo/1920x1080" -> processor ms, median of the repetitions
for b in json.load(open(bench_json))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        nombre = b["run_name"].removesuffix("/real_time")
        tiempos[nombre] = b["cpu_time"] * ESCALA[b["time_unit"]]
medir, campo, python, pycampo = {}, {}, {}, {}  # processor ms per frame; None: not measured
for linea in open(python_txt):
    w, h, *cifras = linea.split()
    m, c, p, q = (None if v == "-" else float(v) for v in cifras)
    t = f"{w}x{h}"
    medir[t], campo[t], python[t], pycampo[t] = m, c, p, q

TAMANOS = ["1920x1080", "6000x4000", "9576x6388"]
RAYA = "—"

def ms(v):
    if v is None:
        return RAYA
    return f"{v:.2f} ms" if v < 10 else f"{v:.1f} ms" if v < 100 else f"{v:.0f} ms"

def fila(titulo, celdas):
    print(f"| {titulo} | " + " | ".join(celdas) + " |")

def del_bench(prefijo, con_suelo=False):
    celdas = []
    for t in TAMANOS:
        v = tiempos.get(f"{prefijo}/{t}")
        suelo = tiempos.get(f"BM_Suelo/{t}")
        celda = ms(v)
        if con_suelo and v is not None and suelo:
            celda += f" ({v / suelo:.1f} × floor)"
        celdas.append(celda)
    return celdas

print(f"Processor time per frame (user + system), medians of one run on {cpu}, {nucleos} cores, "
      f"{memoria} GiB, at {version}.")
print()
fila("", [t.replace("x", " × ") for t in TAMANOS])
print("|---|---|---|---|")
fila("floor: 2880-byte records, one read each, byte-swapped", del_bench("BM_Suelo"))
fila("`LeerFits`", del_bench("BM_LeerFits", True))
fila("cfitsio reading the same file", del_bench("BM_Cfitsio", True))
fila("measurement (`MedirEstrella`)", del_bench("BM_Medir", True))
fila("load + measurement", del_bench("BM_CargarYMedir", True))
fila("`AjustarGauss`, `Radio` 12", [ms(tiempos.get("BM_AjustarGauss")), "", ""])
# quorvel-medir and Python run at the first two sizes only.
def comparada(cifras):
    return [ms(cifras.get(t)) for t in TAMANOS[:2]] + [""]

def cociente(arriba, abajo, t):
    p, m = arriba.get(t), abajo.get(t)
    return f"{p / m:.1f} ×" if p and m else RAYA

fila("`quorvel-medir`, 20 files, per frame", comparada(medir))
fila("Python pipeline (astropy, sep, scipy), per frame", comparada(python))
fila("Python ÷ `quorvel-medir`", [cociente(python, medir, t) for t in TAMANOS[:2]] + [""])
fila("`quorvel-medir --campo`, fields of 200 Moffat stars, 20 files, per frame", comparada(campo))
fila("Python field pipeline (astropy, sep), per frame", comparada(pycampo))
fila("Python field pipeline ÷ `quorvel-medir --campo`",
     [cociente(pycampo, campo, t) for t in TAMANOS[:2]] + [""])
if memoria_campo == "-":
    celda = RAYA
else:
    kib = int(memoria_campo)
    matriz = 9576 * 6388 * 2 / 1024
    celda = f"{kib / 1024:.0f} MiB ({kib / matriz:.2f} × the frame's matrix)"
fila("`quorvel-medir --campo`: peak memory (maximum resident size), 3000 stars", ["", "", celda])
fila("window: longest stretch without processing messages, backlog of 6000 × 4000 frames",
     ["", RAYA if tramo == "-" else ms(float(tramo)), ""])
if tramo_campo == "-":
    celda = RAYA
else:
    t, m = float(tramo_campo), float(medida_campo)
    celda = f"{ms(t)} ({t / m:.2f} × `MedirCampo`'s {ms(m)})"
fila("window `--campo`: longest stretch, backlog of 6000 × 4000 fields of 200 stars",
     ["", celda, ""])
EOF
