#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The star measurement a user would otherwise script in Python, as a yardstick for
quorvel-medir: astropy's FITS loader, sep's background, extraction and flux radius, and a
scipy fit of a circular Gaussian on a 25 x 25 box around the brightest source.

Usage: bench/pipeline_python.py FILE...
One row per file (name, peak, FWHM, HFD, x, y, background), then a last line
"# por foto: <ms> ms" with the median processor time per file, load included and the
imports left out. Needs Debian's python3-astropy, python3-sep and python3-scipy
(./setup.sh --bench installs them).
"""
import statistics
import sys
import time

import numpy as np
import sep
from astropy.io import fits
from scipy.optimize import curve_fit

MITAD = 12  # the box is 25 x 25, like the second pass of quorvel-medir


def gauss(xy, fondo, amplitud, x0, y0, sigma):
    x, y = xy
    return fondo + amplitud * np.exp(-((x - x0) ** 2 + (y - y0) ** 2) / (2 * sigma**2))


def medir(ruta):
    datos = fits.getdata(ruta).astype(np.float32)  # native order, as sep wants
    fondo = sep.Background(datos)
    restado = datos - fondo.back()
    fuentes = sep.extract(restado, 5.0, err=fondo.globalrms)
    if len(fuentes) == 0:
        raise ValueError("ninguna fuente")
    f = fuentes[np.argmax(fuentes["flux"])]
    radio, _ = sep.flux_radius(restado, [f["x"]], [f["y"]], [6.0 * f["a"]], 0.5,
                               normflux=[f["flux"]], subpix=5)
    cx, cy = int(round(f["x"])), int(round(f["y"]))
    caja = datos[cy - MITAD:cy + MITAD + 1, cx - MITAD:cx + MITAD + 1].astype(np.float64)
    if caja.shape != (2 * MITAD + 1, 2 * MITAD + 1):
        raise ValueError("la estrella está en el borde")
    yy, xx = np.mgrid[0:caja.shape[0], 0:caja.shape[1]]
    inicio = [np.median(caja), caja.max() - np.median(caja), MITAD, MITAD, 1.5]
    p, _ = curve_fit(gauss, (xx.ravel(), yy.ravel()), caja.ravel(), p0=inicio)
    return (int(caja.max()), 2.3548 * abs(p[4]), 2.0 * radio[0], cx - MITAD + p[2],
            cy - MITAD + p[3], fondo.globalback)


def ejecutar(rutas, medir, cabecera, nombre):
    """Measures each file, a row each, then the median processor time per file."""
    print(cabecera)
    tiempos = []
    for ruta in rutas:
        t = time.process_time()
        try:
            m = medir(ruta)
        except Exception as e:  # one bad file must not stop the rest
            print(f"{nombre}: {ruta}: {e}", file=sys.stderr)
            continue
        tiempos.append(time.process_time() - t)
        print(ruta, *m, sep="\t")
    if tiempos:
        print(f"# por foto: {1000 * statistics.median(tiempos):.1f} ms")


def main(rutas):
    if not rutas:
        sys.exit(__doc__)
    ejecutar(rutas, lambda r: (lambda m: (m[0], *(f"{v:.3f}" for v in m[1:])))(medir(r)),
             "Archivo\tMaximo\tFWHM\tHFD\tCentroideX\tCentroideY\tFondo", "pipeline_python")


if __name__ == "__main__":
    main(sys.argv[1:])
