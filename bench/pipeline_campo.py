#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The field measurement a user would otherwise script in Python, as a yardstick for
quorvel-medir --campo: astropy's FITS loader, sep's background (64 x 64 tiles, 3 x 3 filter),
extraction at 3 sigma with the 1-2-1 kernel, the half-flux radius of every source twice (a
first estimate, then within 4 times it), and the medians.

Usage: bench/pipeline_campo.py FILE...
One row per file (name, sources, median HFD, background), then a last line
"# por foto: <ms> ms" with the median processor time per file, load included and the
imports left out. Needs Debian's python3-astropy and python3-sep (./setup.sh --bench).
"""
import sys

import numpy as np
import sep
from astropy.io import fits

from pipeline_python import ejecutar

NUCLEO = np.array([[1, 2, 1], [2, 4, 2], [1, 2, 1]], dtype=np.float32)


def medir(ruta):
    datos = fits.getdata(ruta).astype(np.float32)  # native order, as sep wants
    fondo = sep.Background(datos, bw=64, bh=64, fw=3, fh=3)
    fondo.subfrom(datos)
    fuentes = sep.extract(datos, 3.0, err=fondo.globalrms, minarea=5, filter_kernel=NUCLEO)
    if len(fuentes) == 0:
        raise ValueError("ninguna fuente")
    x, y = fuentes["x"], fuentes["y"]
    radio, _ = sep.flux_radius(datos, x, y, np.maximum(3.0, 6.0 * fuentes["a"]), 0.5, subpix=5)
    radio, banderas = sep.flux_radius(datos, x, y, np.maximum(3.0, 4.0 * radio), 0.5, subpix=5)
    buenas = (banderas == 0) & (radio > 0)
    if not buenas.any():
        raise ValueError("ninguna fuente medible")
    return int(buenas.sum()), 2.0 * float(np.median(radio[buenas])), fondo.globalback


def main(rutas):
    if not rutas:
        sys.exit(__doc__)
    ejecutar(rutas, lambda r: (lambda m: (m[0], f"{m[1]:.3f}", f"{m[2]:.2f}"))(medir(r)),
             "Archivo\tFuentes\tHFD\tFondo", "pipeline_campo")


if __name__ == "__main__":
    main(sys.argv[1:])
