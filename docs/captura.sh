#!/usr/bin/env bash
# Takes docs/quorvel.png: the program under a virtual X server, watching a folder that the
# simulated camera fills with a focus run of 25 frames.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target quorvel quorvel-simular
trabajo=$(mktemp -d)
trap 'rm -rf "$trabajo"' EXIT
mkdir "$trabajo/fotos"
cp build/app/quorvel "$trabajo/"
printf '%s\r\n' "$trabajo/fotos" > "$trabajo/quorvel.ini"
build/tools/quorvel-simular --fotos 25 --intervalo 0 --semilla 7 "$trabajo/fotos" >/dev/null
xvfb-run -a -s "-screen 0 640x560x24" bash -c "
    '$trabajo/quorvel' & programa=\$!
    sleep 8
    import -window Quorvel '$PWD/docs/quorvel.png'
    kill \$programa"
echo "docs/quorvel.png"
