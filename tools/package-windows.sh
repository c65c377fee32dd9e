#!/usr/bin/env bash
# Cross-builds both programs for 64-bit Windows (MinGW-w64, Release,
# linked statically) and makes the NSIS installer
# BUILD_FOLDER/packaging/Norrvik-<version>-setup.exe (packaging/norrvik.nsi;
# the version is the project's CMake version). Installs the Debian packages
# it needs when they are missing.
#
#   tools/package-windows.sh [BUILD_FOLDER]      (default build/package-windows)
#
# On Windows: run the installer, or silently: Norrvik-<version>-setup.exe /S
# [/D=FOLDER]; remove it in Programs and Features, or: Uninstall.exe /S.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh g++-mingw-w64-x86-64-posix nsis cmake make libcli11-dev nlohmann-json3-dev

build=${1:-build/package-windows}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DNORRVIK_GUI=ON -DNORRVIK_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik_installer
ls "$build"/packaging/Norrvik-*-setup.exe
