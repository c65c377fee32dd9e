#!/usr/bin/env bash
# Cross-builds Norrvik for 64-bit Windows with MinGW-w64 (the command line
# and every test program that needs no Qt) and runs each test executable
# under Wine: one Wine start per executable. Installs the Debian packages it
# needs when they are missing. The Wine prefix lives in the build folder.
#
#   tools/test-windows.sh [BUILD_FOLDER]      (default build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh g++-mingw-w64-x86-64-posix wine64 cmake make libcli11-dev nlohmann-json3-dev googletest

build=${1:-build/windows}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DNORRVIK_GUI=OFF -DNORRVIK_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

# Debian keeps the 64-bit loader off PATH.
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot --init >/dev/null 2>&1
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || true
fi

failed=()
start=$SECONDS
while IFS= read -r name; do
    [ -n "$name" ] || continue
    exe=$(find "$build/tests" -name "$name.exe" -print -quit)
    # The tests that rely on what only POSIX file systems have (tests/wine-exclusions.txt).
    excluded=$(sed -e 's/#.*//' tests/wine-exclusions.txt | awk -v n="$name" '$1 == n { printf "%s:", $2 }')
    echo "== $name (under Wine)"
    if ! "$wine" "$exe" --gtest_brief=1 "--gtest_filter=-${excluded%:}"; then
        failed+=("$name")
    fi
done < "$build/test-executables.txt"
echo "Windows tests under Wine: $((SECONDS - start)) s"
if [ ${#failed[@]} -ne 0 ]; then
    echo "Failed under Wine: ${failed[*]}" >&2
    exit 1
fi
