#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a build into a scratch folder and checks what a desktop reads there: the programs,
# the menu entry, the icon, the metadata and the manuals, which must pass the validators without
# a single note. Exit 77 (skipped) without the validators.
set -euo pipefail
construccion=$1
id=$2
fuente=$3
for herramienta in desktop-file-validate appstreamcli man dpkg-parsechangelog; do
    if ! command -v "$herramienta" >/dev/null; then
        echo "falta $herramienta: prueba omitida"
        exit 77
    fi
done
destino=$(mktemp -d)
trap 'rm -rf "$destino"' EXIT
DESTDIR="$destino" cmake --install "$construccion" --prefix /usr >/dev/null
usr="$destino/usr"

for programa in quorvel quorvel-medir quorvel-simular; do
    [ -x "$usr/bin/$programa" ] || { echo "no se instaló bin/$programa"; exit 1; }
    manual="$usr/share/man/man1/$programa.1.gz"
    [ -f "$manual" ] || { echo "no se instaló $manual"; exit 1; }
    # Any warning of the formatter (unknown macro, bad escape, line overflow) is a fault.
    avisos=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$manual" 2>&1 >/dev/null)
    [ -z "$avisos" ] || { echo "$manual: $avisos"; exit 1; }
done
# The installed programs must not look for their libraries in the build folder.
if readelf -d "$usr/bin/quorvel" | grep -q 'R.*PATH'; then
    echo "bin/quorvel conserva una ruta de bibliotecas"
    exit 1
fi
icono="$usr/share/icons/hicolor/scalable/apps/$id.svg"
[ -f "$icono" ] || { echo "no se instaló $icono"; exit 1; }
grep -qx "Icon=$id" "$usr/share/applications/$id.desktop"

# Both validators exit 0 on hints and pedantic notes; any line they print is a fault here.
notas=$(desktop-file-validate "$usr/share/applications/$id.desktop" 2>&1) || true
notas+=$(appstreamcli validate --pedantic --no-net "$usr/share/metainfo/$id.metainfo.xml" 2>&1 |
    grep '^[EWIP]:') || true
[ -z "$notas" ] || { echo "$notas"; exit 1; }

# The metadata's releases are the changelog's entries, dated on the day their writer saw.
metadatos=$(grep -o '<release version="[^"]*" date="[^"]*"' "$usr/share/metainfo/$id.metainfo.xml")
cambios=$(dpkg-parsechangelog -l "$fuente/debian/changelog" --format rfc822 --all |
    awk '/^Version:/ { v = $2 } /^Date:/ { sub(/^Date: /, ""); print v "\t" $0 }' |
    while IFS=$'\t' read -r version fecha; do
        printf '<release version="%s" date="%s"\n' "$version" "$(date -d "${fecha% *}" +%F)"
    done)
[ "$metadatos" = "$cambios" ] || {
    printf 'las versiones del AppStream no son las de debian/changelog:\n%s\n--\n%s\n' \
        "$metadatos" "$cambios"
    exit 1
}
echo "instalación correcta en $destino"
