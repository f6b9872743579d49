#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan in build-fuzz/ and runs them.
#   scripts/fuzz.sh smoke        a few seconds each (part of the test command)
#   scripts/fuzz.sh long [SECS]  a long campaign of each target (default 600 s)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-smoke}
seconds=${2:-600}
build_dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTDB_FUZZ=ON >/dev/null
cmake --build "$build_dir"
for target in "$build_dir"/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="$build_dir/corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/${name%_fuzz}"
    dirs=("$corpus")
    [ -d "$seeds" ] && dirs+=("$seeds")
    if [ "$mode" = smoke ]; then
        echo "fuzz $name (smoke)"
        "$target" -max_total_time=5 -rss_limit_mb=1024 "${dirs[@]}" >"$build_dir/$name.log" 2>&1 ||
            { tail -50 "$build_dir/$name.log"; exit 1; }
    else
        echo "fuzz $name ($seconds s)"
        "$target" -max_total_time="$seconds" -rss_limit_mb=2048 "${dirs[@]}"
    fi
done
