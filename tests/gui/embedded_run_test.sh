#!/usr/bin/env bash
# The desktop program under a real X server, started the way the timetabling program starts it:
#   embedded_run_test.sh PROGRAM SAMPLE.xml
# 1. "exportar" with the id of a caller window: the window becomes that window's viewable,
#    frameless child, the file dialog comes up, a typed path runs the export to its message, and
#    the status file then holds 1.
# 2. The caller's window goes away while the dialog is up: the program ends.
# 3. A handle that names no window: an ordinary, usable window; Alt+S closes it, status 0.
set -euo pipefail
program=$1
sample=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=xserver.sh
. "$here/xserver.sh"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    stop_xserver
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FALLO: $*" >&2
    for log in "$work"/*/program.log; do
        [ -f "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
    exit 1
}

# A folder of the program's own (the status file goes beside the program) with a data folder.
install_copy() {
    local dir=$work/$1
    mkdir -p "$dir/VTEMP/brelo"
    cp "$program" "$dir/transdorimobrelo"
    cp "$sample" "$dir/VTEMP/brelo/colegio.xml"
    echo "$dir"
}

# A caller window that selects only exposure, so the program's window may map inside it.
start_caller() {
    local out=$work/xev.$1
    xev -event expose -geometry 800x400 -name "Vestrano $1" >"$out" 2>&1 &
    pids+=($!)
    caller_pid=$!
    for _ in $(seq 100); do
        caller=$(sed -n 's/^Outer window is \(0x[0-9a-fA-F]*\).*/\1/p' "$out" 2>/dev/null || true)
        [ -n "$caller" ] && return 0
        sleep 0.1
    done
    fail "la ventana de prueba no aparece"
}

start_program() {
    local dir=$1
    shift
    (cd "$dir" && env -u QT_QPA_PLATFORM HOME="$dir" VTEMP="$dir/VTEMP" \
        ./transdorimobrelo "$@" >program.log 2>&1) &
    pids+=($!)
    program_pid=$!
}

status_of() {
    tr -d '\r' <"$1/Vestrano.ini" | sed -n 's/^Transformado=//p'
}

start_xserver || exit 1
title='^Exportar e importar datos entre Vestrano y Brelo $'

# 1. Embedded export.
dir=$(install_copy embedded)
start_caller 1
start_program "$dir" exportar "${caller#0x}"
dialog=$(wait_window '^Archivo XML$') || fail "no aparece el diálogo de archivo"
child=$(xwininfo -id "$caller" -children | awk '/"Exportar e importar datos entre Vestrano y Brelo "/ {print $1; exit}')
[ -n "$child" ] || fail "la ventana no es hija de la ventana $caller"
info=$(xwininfo -id "$child")
grep -q 'Map State: IsViewable' <<<"$info" || fail "la ventana incrustada no es visible"
grep -q 'Width: 632' <<<"$info" && grep -q 'Height: 266' <<<"$info" ||
    fail "la ventana incrustada no mide 632 x 266 sin marco: $info"
grep -q "Parent window id: $caller" <<<"$(xwininfo -id "$child" -tree)" ||
    fail "la ventana no cuelga directamente de $caller"

xprop -id "$dialog" WM_TRANSIENT_FOR | grep -q "# $caller\$" ||
    fail "el diálogo no pertenece a la ventana $caller: $(xprop -id "$dialog" WM_TRANSIENT_FOR)"

xdotool windowfocus --sync "$dialog"
xdotool type --delay 5 "$dir/VTEMP/brelo/colegio.xml"
xdotool key Return
# The path may open a completion list first; a second Return then confirms the dialog.
sleep 1
if xdotool search --onlyvisible --name '^Archivo XML$' >/dev/null 2>&1; then
    xdotool key Return
fi
box=$(wait_window '^TransDorimoBrelo$' 60) || fail "no aparece el mensaje final"
ls "$dir/VTEMP"/*.DBF >/dev/null 2>&1 || fail "la exportación no escribió las tablas"
[ ! -e "$dir/Vestrano.ini" ] || fail "el estado se escribió antes de cerrar"
xdotool windowfocus --sync "$box"
xdotool key Return
wait_exit "$program_pid" 20 || fail "el programa no termina tras la exportación"
[ "$(status_of "$dir")" = "1" ] || fail "Vestrano.ini no tiene Transformado=1: $(cat "$dir/Vestrano.ini")"
kill "$caller_pid"

# 2. The caller goes away while the dialog is up.
dir=$(install_copy orphaned)
start_caller 2
start_program "$dir" importar "${caller#0x}"
wait_window '^Archivo XML$' >/dev/null || fail "no aparece el diálogo de archivo (2)"
kill "$caller_pid"
wait "$caller_pid" 2>/dev/null || true
wait_exit "$program_pid" 20 || fail "el programa sigue vivo sin la ventana que lo contenía"
[ "$(status_of "$dir")" = "0" ] || fail "Vestrano.ini no tiene Transformado=0 (2)"

# 3. A handle that is no window: an ordinary window that still answers the keyboard.
dir=$(install_copy unparented)
start_program "$dir" otra 7FFFFF0
window=$(wait_window "$title") || fail "no aparece la ventana (3)"
xwininfo -id "$window" -tree | grep -q 'Parent window id: .*(the root window)' ||
    fail "la ventana no es de primer nivel (3)"
xdotool windowfocus --sync "$window"
xdotool key alt+s
wait_exit "$program_pid" 20 || fail "Alt+S no cierra la ventana (3)"
[ "$(status_of "$dir")" = "0" ] || fail "Vestrano.ini no tiene Transformado=0 (3)"
echo "correcto"
