#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshots under a virtual X server:
# - docs/quorvel.png: the demo of ./run.sh, photographed once the simulated camera has written
#   25 frames into demo/;
# - docs/campo-estrella.png and docs/campo-campo.png: one simulated run of 25 full fields
#   (1600 x 1200, 200 stars) in demo/, watched by the window in its default mode and with
#   --campo, with a window manager so that the title (the field mode's star count) shows;
# - docs/campo-enfoque.png: the field mode's live best focus, on a run of the same fields whose
#   frames carry the focuser's position (12000 to 13200 in steps of 50, best focus at 12600).
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh openbox x11-utils
. scripts/comun.sh
construir build -- quorvel quorvel-simular

xvfb-run -a -s "-screen 0 640x560x24" bash -c '
    setsid ./run.sh >/dev/null 2>&1 & demo=$!
    for i in $(seq 120); do
        [ "$(ls demo/foco_*.fits 2>/dev/null | wc -l)" -ge 25 ] && break
        sleep 0.5
    done
    sleep 1.5 # the last frame measured and drawn
    import -window Quorvel docs/quorvel.png
    kill -- -$demo'
echo "docs/quorvel.png"

# The field run, written at once; then each mode watches it, from the demo's own copy of the
# program and its own setting, as scripts/demo.sh runs it.
demo=$PWD/demo
mkdir -p "$demo"
rm -f "$demo"/foco_*.fits
build/tools/quorvel-simular "${camara_campo[@]}" --fotos 25 --intervalo 0 --semilla 11 "$demo" \
    >/dev/null
programa_de_demo build "$demo"
# A small title font, so that the field mode's whole title fits above the narrow window.
cat >"$demo/.programa/openbox.xml" <<'FIN'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><font place="ActiveWindow"><name>sans</name><size>7</size></font></theme>
</openbox_config>
FIN
# fotografiar ARGUMENTO PNG: the window watching demo/, photographed with its frame and title.
fotografiar() {
    XDG_CONFIG_HOME="$demo/.programa/ajustes" xvfb-run -a -s "-screen 0 640x600x24" bash -c '
        openbox --config-file "$1/.programa/openbox.xml" >/dev/null 2>&1 & wm=$!
        sleep 1
        "$1/.programa/quorvel" $2 & programa=$!
        sleep 15 # 25 fields listed, measured and drawn
        id=$(xwininfo -root -tree | awk "/\"Quorvel/ { print \$1; exit }")
        import -frame -window "$id" "$3"
        kill $programa $wm' _ "$demo" "$1" "$2"
    echo "$2"
}
fotografiar "" docs/campo-estrella.png
fotografiar --campo docs/campo-campo.png
rm -f "$demo"/foco_*.fits
build/tools/quorvel-simular "${camara_campo[@]}" --hiperbola --posicion 12000,50 --fotos 25 \
    --intervalo 0 --semilla 11 "$demo" >/dev/null
fotografiar --campo docs/campo-enfoque.png
rm -f "$demo"/foco_*.fits
