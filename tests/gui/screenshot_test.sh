#!/usr/bin/env bash
# The screenshot script on the built program: it must leave a PNG of the whole client area
# showing the panels' colours where the layout puts them.
#   screenshot_test.sh SCREENSHOT_SCRIPT PROGRAM OUTPUT.png
set -euo pipefail
script=$1
program=$2
out=$3
rm -f "$out"
PROGRAM=$program bash "$script" "$out" >/dev/null
[ "$(identify -format '%wx%h' "$out")" = "632x266" ] || {
    echo "FALLO: la captura no mide 632 x 266: $(identify "$out")" >&2
    exit 1
}
# Colour of a pixel as "r,g,b".
pixel() { identify -format "%[fx:int(255*u.p{$1,$2}.r)],%[fx:int(255*u.p{$1,$2}.g)],%[fx:int(255*u.p{$1,$2}.b)]" "$out"; }
near() { # near "r,g,b" "r,g,b"
    local IFS=,
    read -r a b c <<<"$1"
    read -r x y z <<<"$2"
    (( a - x <= 4 && x - a <= 4 && b - y <= 4 && y - b <= 4 && c - z <= 4 && z - c <= 4 ))
}
# Top of the left and right panels, their bottom row, the bottom panel's top and bottom rows;
# points clear of labels and buttons.
checks=(
    "5 0 255,238,221" "620 0 255,238,221" "5 168 249,211,125" "400 167 249,211,125"
    "5 170 204,216,230" "400 264 194,205,254"
)
for check in "${checks[@]}"; do
    read -r x y want <<<"$check"
    got=$(pixel "$x" "$y")
    near "$got" "$want" || {
        echo "FALLO: el punto ($x,$y) es $got y debería ser $want" >&2
        exit 1
    }
done
echo correcto
