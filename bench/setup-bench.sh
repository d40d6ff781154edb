#!/usr/bin/env bash
# Installs what the speed comparisons need beyond ./setup.sh: the Python pipeline's Debian
# packages (bench/pipeline_python.py), when they are missing. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh
paquetes=(python3 python3-numpy python3-astropy python3-sep python3-scipy)
faltan=()
for p in "${paquetes[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || faltan+=("$p")
done
if [ ${#faltan[@]} -gt 0 ]; then
    echo "Instalando: ${faltan[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${faltan[@]}"
fi
