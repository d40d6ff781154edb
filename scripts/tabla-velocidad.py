#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Prints the speed table of scripts/velocidad.sh as Markdown.

Usage: scripts/tabla-velocidad.py [--bench FILE.json] [NAME=VALUE...]
FILE.json is quorvel_bench's JSON output with median aggregates. The figures measured outside
it, processor milliseconds per frame unless said otherwise: medir/WxH, python/WxH, campo/WxH,
pycampo/WxH (quorvel-medir, the Python pipeline, quorvel-medir --campo and the Python field
pipeline), denso/WxH and pydenso/WxH (the same two on dense fields of 1800 stars), tramo and tramo_campo (the window's longest stretches), medida_campo (MedirCampo
alone) and memoria_campo (the peak resident size of --campo at 9576 x 6388, in KiB).
A figure not given shows as "—".
"""
import argparse
import json
import os
import subprocess

ESCALA = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
TAMANOS = ["1920x1080", "6000x4000", "9576x6388"]
RAYA = "—"


def ms(v):
    if v is None:
        return RAYA
    return f"{v:.2f} ms" if v < 10 else f"{v:.1f} ms" if v < 100 else f"{v:.0f} ms"


def fila(titulo, celdas):
    print(f"| {titulo} | " + " | ".join(celdas) + " |")


def maquina():
    with open("/proc/cpuinfo") as f:
        cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "?")
    with open("/proc/meminfo") as f:
        kib = next(int(l.split()[1]) for l in f if l.startswith("MemTotal"))
    r = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True)
    version = r.stdout.strip() or "?"
    return f"{cpu}, {os.cpu_count()} cores, {kib / 1048576:.0f} GiB, at {version}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench")
    parser.add_argument("cifras", nargs="*", metavar="NAME=VALUE")
    args = parser.parse_args()
    tiempos = {}  # "BM_Suelo/1920x1080" -> processor ms, and the figures given as arguments
    if args.bench:
        with open(args.bench) as f:
            for b in json.load(f)["benchmarks"]:
                if b.get("aggregate_name") == "median":
                    nombre = b["run_name"].removesuffix("/real_time")
                    tiempos[nombre] = b["cpu_time"] * ESCALA[b["time_unit"]]
    for c in args.cifras:
        nombre, valor = c.split("=", 1)
        tiempos[nombre] = float(valor)

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

    # quorvel-medir and Python run at the first two sizes only.
    def comparada(prefijo):
        return [ms(tiempos.get(f"{prefijo}/{t}")) for t in TAMANOS[:2]] + [""]

    def cociente(arriba, abajo):
        celdas = []
        for t in TAMANOS[:2]:
            a, b = tiempos.get(f"{arriba}/{t}"), tiempos.get(f"{abajo}/{t}")
            celdas.append(f"{a / b:.1f} ×" if a and b else RAYA)
        return celdas + [""]

    print("Processor time per frame (user + system), medians of one run on "
          f"{maquina()}.")
    print()
    fila("", [t.replace("x", " × ") for t in TAMANOS])
    print("|---|---|---|---|")
    fila("floor: 2880-byte records, one read each, byte-swapped", del_bench("BM_Suelo"))
    fila("`LeerFits`", del_bench("BM_LeerFits", True))
    fila("cfitsio reading the same file", del_bench("BM_Cfitsio", True))
    fila("measurement (`MedirEstrella`)", del_bench("BM_Medir", True))
    fila("load + measurement", del_bench("BM_CargarYMedir", True))
    fila("`AjustarGauss`, `Radio` 12", [ms(tiempos.get("BM_AjustarGauss")), "", ""])
    fila("`quorvel-medir`, 20 files, per frame", comparada("medir"))
    fila("Python pipeline (astropy, sep, scipy), per frame", comparada("python"))
    fila("Python ÷ `quorvel-medir`", cociente("python", "medir"))
    fila("`quorvel-medir --campo`, fields of 200 Moffat stars, 20 files, per frame",
         comparada("campo"))
    fila("Python field pipeline (astropy, sep), per frame", comparada("pycampo"))
    fila("Python field pipeline ÷ `quorvel-medir --campo`", cociente("pycampo", "campo"))
    fila("`quorvel-medir --campo`, dense fields of 1800 stars, per frame", comparada("denso"))
    fila("Python field pipeline, dense fields, per frame", comparada("pydenso"))
    fila("Python field pipeline ÷ `quorvel-medir --campo`, dense", cociente("pydenso", "denso"))
    fila("dense ÷ sparse field, `quorvel-medir --campo`", cociente("denso", "campo"))
    fila("dense ÷ sparse field, `MedirCampo` alone",
         [f"{d / r:.2f} ×" if d and r else RAYA
          for d, r in ((tiempos.get(f"BM_MedirCampo/{t}/1800"), tiempos.get(f"BM_MedirCampo/{t}/200"))
                       for t in TAMANOS[:2])] + [""])
    kib = tiempos.get("memoria_campo")
    celda = RAYA
    if kib:
        matriz = 9576 * 6388 * 2 / 1024
        celda = f"{kib / 1024:.0f} MiB ({kib / matriz:.2f} × the frame's matrix)"
    fila("`quorvel-medir --campo`: peak memory (maximum resident size), 3000 stars",
         ["", "", celda])
    fila("window: longest stretch without processing messages, backlog of 6000 × 4000 frames",
         ["", ms(tiempos.get("tramo")), ""])
    t, m = tiempos.get("tramo_campo"), tiempos.get("medida_campo")
    celda = ms(t)
    if t and m:
        celda += f" ({t / m:.2f} × `MedirCampo`'s {ms(m)})"
    fila("window `--campo`: longest stretch, backlog of 6000 × 4000 fields of 200 stars",
         ["", celda, ""])


if __name__ == "__main__":
    main()
