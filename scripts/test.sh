#!/usr/bin/env bash
# The whole check on a fresh machine: set-up, build (warnings as errors), a short run of every
# fuzz target, then every test suite (unit, interop, command line, desktop under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/fuzz.sh smoke
# Only read by sanitizer builds (CMAKE_ARGS=-DTDB_SANITIZE=ON): leaks of system libraries the
# desktop tests load are not ours.
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j2 --timeout 300
