#!/usr/bin/env bash
# The main job on the bundled sample school: set up and build, export the sample into a fresh
# demo data folder (demo-data/VTEMP) and show each table's record count and first records; then
# let the demo timetabler write SOLUC, import, and summarise every teacher's timetable.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >/dev/null
build=${BUILD_DIR:-build}
cli="$build/src/cli/transdorimobrelo-cli"
data="$PWD/demo-data/VTEMP"

rm -rf demo-data
mkdir -p "$data/brelo"
cp samples/colegio.xml "$data/brelo/colegio.xml"

echo "== Exportar: $data/brelo/colegio.xml -> $data"
"$cli" --data-dir "$data" exportar "$data/brelo/colegio.xml"
for table in ASIGNOMT ASIGNOMT2 PROFT AULAT CURSOST GRUPOST ASIGT DIASHORAST; do
    "$build/src/cli/tdb-tabla" "$data" "$table" 3
done

if [ -x "$build/tools/demo-timetabler" ]; then
    echo
    echo "== Horario de demostración: $data/SOLUC.DBF"
    "$build/tools/demo-timetabler" "$data"
    "$build/src/cli/tdb-tabla" "$data" SOLUC 3
    echo
    echo "== Importar: $data/brelo/colegio.xml"
    "$cli" --data-dir "$data" importar "$data/brelo/colegio.xml"
    result="$data/brelo/ResultadoDorimocolegio.xml"
    echo "Documento de resultado: $result"
    "$build/tools/result-summary" "$result"
fi
