#!/usr/bin/env bash
# The conversion of one source folder by the Linux build of norrvik-cli and
# by norrvik-cli.exe under Wine, timed, each into a new target, with the
# source given as the same relative path (so that the comment lines match
# too), and the two targets compared byte for byte (the Windows folder lock
# file Norrvik.lock aside). Build both first (Release):
#   cmake --build build/release --target norrvik-cli
#   cmake --build build/windows --target norrvik-cli   (cmake/mingw-w64-x86_64.cmake)
#
#   bench/windows-vs-linux.sh SOURCE_FOLDER [LINUX_BUILD] [WINDOWS_BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source=$(cd "$1" && pwd)
linux=$(realpath "${2:-$root/build/release}")/cli/norrvik-cli
windows=$(realpath "${3:-$root/build/windows}")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all
[ -f "$WINEPREFIX/system.reg" ] || { mkdir -p "$WINEPREFIX"; "$wine" wineboot --init >/dev/null 2>&1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$(dirname "$source")"
name=$(basename "$source")

seconds() { local start=$EPOCHREALTIME; "$@" >/dev/null; echo "$EPOCHREALTIME - $start" | bc; }
# Wine's drive Z: is the root of the Linux file system.
windows_path() { echo "Z:${1//\//\\}"; }
linux_time=$(seconds "$linux" convert "$name" "$work/linux")
wine_time=$(seconds "$wine" "$windows/cli/norrvik-cli.exe" convert "$name" "$(windows_path "$work/windows")")
echo "Linux: $linux_time s   Wine: $wine_time s   ratio $(echo "scale=2; $wine_time / $linux_time" | bc)"
if diff -r -x Norrvik.lock "$work/linux" "$work/windows" >/dev/null; then
    echo "The two targets are byte-identical."
else
    echo "The two targets differ:" >&2
    diff -rq -x Norrvik.lock "$work/linux" "$work/windows" >&2
    exit 1
fi
