#!/usr/bin/env bash
# A PNG screenshot of the interactive window, taken under a private X server, for review.
#   scripts/screenshot.sh [OUTPUT.png]     (default: $BUILD_DIR/transdorimobrelo.png)
# PROGRAM overrides the program to show (default: $BUILD_DIR/src/app/transdorimobrelo).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
out=${1:-$build_dir/transdorimobrelo.png}
program=${PROGRAM:-$build_dir/src/app/transdorimobrelo}
# shellcheck source=../tests/gui/xserver.sh
. tests/gui/xserver.sh

home=$(mktemp -d)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
    stop_xserver
    rm -rf "$home"
}
trap cleanup EXIT

start_xserver
# A throw-away home and data folder: nothing of the user's is read or written.
HOME=$home VTEMP=$home/VTEMP QT_QPA_PLATFORM=xcb "$program" &
app_pid=$!
window=$(wait_window '^Exportar e importar datos entre Vestrano y Brelo $')
sleep 1 # let it paint
import -window "$window" "$out"
echo "$out"
