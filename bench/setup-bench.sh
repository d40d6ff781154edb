#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the speed comparisons need beyond ./setup.sh: the Python pipeline's Debian
# packages (bench/pipeline_python.py), when they are missing. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
exec ./setup.sh python3 python3-numpy python3-astropy python3-sep python3-scipy
