#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo watches its own folder whatever the program's setting says, and leaves the build's
# setting and the user's alone. The program and the camera are stand-ins that note how they
# were started; the stand-in program reads the setting where the real one would (beside itself
# when run from the build's folder, else under XDG_CONFIG_HOME).
#
# Usage: TestDemo.sh DEMO_SH
set -euo pipefail
guion=$(realpath "$1")
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
export HOME="$t/casa" REGISTRO="$t/registro" QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME
mkdir -p "$t/build/app" "$t/build/tools" "$HOME/.config/quorvel"
export CARPETA_CONSTRUCCION="$t/build/app"
cat >"$t/build/app/quorvel" <<'FIN'
#!/usr/bin/env bash
dir=$(dirname "$(realpath "$0")")
if [ "$dir" = "$CARPETA_CONSTRUCCION" ]; then ajuste=$dir/quorvel.ini
else ajuste=${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/quorvel.ini; fi
{ head -n1 "$ajuste" 2>/dev/null | tr -d '\r'; echo "argumentos: $*"; } >"$REGISTRO"
# Open until the camera has started, as a window would be: the demo stops the camera when the
# program ends, and on a busy machine that could come before the camera's note.
for _ in $(seq 50); do [ -f "$REGISTRO.camara" ] && break; sleep 0.1; done
FIN
printf '#!/usr/bin/env bash\necho "$@" >"$REGISTRO.camara"\n' >"$t/build/tools/quorvel-simular"
chmod +x "$t/build/app/quorvel" "$t/build/tools/quorvel-simular"

# The camera runs in the background: its note may come a moment after the program ends.
esperar_camara() {
    local espera=0
    while [ ! -f "$REGISTRO.camara" ] && [ $espera -lt 50 ]; do
        sleep 0.1
        espera=$((espera + 1))
    done
}

fallos=0
falla() { echo "FALLO ($1): $2" >&2; fallos=$((fallos + 1)); }

printf '/mi/carpeta\r\n' >"$HOME/.config/quorvel/quorvel.ini"
for caso in otra-carpeta vacia ninguna; do
    case $caso in
        otra-carpeta) printf '/otra/carpeta\r\n' >"$t/build/app/quorvel.ini" ;;
        vacia) printf '\r\n' >"$t/build/app/quorvel.ini" ;;
        ninguna) rm -f "$t/build/app/quorvel.ini" ;;
    esac
    antes=$(cat "$t/build/app/quorvel.ini" 2>/dev/null || echo "(no existe)")
    rm -f "$REGISTRO" "$REGISTRO.camara"
    (cd "$t" && "$guion" "$t/build" "$t/demo") >/dev/null
    [ "$(head -n1 "$REGISTRO")" = "$t/demo" ] ||
        falla "$caso" "el programa vigila '$(head -n1 "$REGISTRO")', no la demo"
    esperar_camara
    grep -q -- "$t/demo\$" "$REGISTRO.camara" 2>/dev/null || falla "$caso" "la cámara no escribe en la demo"
    despues=$(cat "$t/build/app/quorvel.ini" 2>/dev/null || echo "(no existe)")
    [ "$antes" = "$despues" ] || falla "$caso" "el ajuste de build/app ha cambiado"
    [ "$(tr -d '\r' <"$HOME/.config/quorvel/quorvel.ini")" = /mi/carpeta ] ||
        falla "$caso" "el ajuste del usuario ha cambiado"
done
# The field demo: fields from the camera, field mode in the window.
rm -f "$REGISTRO" "$REGISTRO.camara"
(cd "$t" && "$guion" "$t/build" "$t/demo" --campo) >/dev/null
grep -qx "argumentos: --campo" "$REGISTRO" || falla campo "la ventana no mide el campo"
esperar_camara
grep -q -- "--campo [0-9]" "$REGISTRO.camara" || falla campo "la cámara no escribe campos"
[ $fallos -eq 0 ] && echo "demo: correcto"
exit $((fallos > 0))
