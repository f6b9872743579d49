#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing), then configures and
# builds. BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo) and CMAKE_ARGS adjust
# the build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libpugixml-dev qt6-base-dev libchm-dev fp-utils
    python3 python3-dbfread python3-dbf gdal-bin
    xvfb x11-utils xdotool xauth fonts-liberation2 imagemagick libxcb1-dev qt6-translations-l10n
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]})); then
    echo "Instalando paquetes: ${missing[*]}"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

build_dir=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
    -DTDB_WERROR=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir"
