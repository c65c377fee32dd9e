#!/usr/bin/env bash
# Screenshots of the pattern browser under a virtual X server (Xvfb): the
# bundled Quorvane and Kandor samples are converted into a fresh database in
# build/browser-shots/db, and the browser is shown there with all patterns,
# a name search and a strongest-lines search with its plot against 2θ.
# Writes build/browser-shots/browser-{list,search,plot}.png.
#
# Usage: tools/browser-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh --build xvfb

build=build/release
out=build/browser-shots
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORRVIK_TESTS=OFF -DNORRVIK_GUI=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik-cli norrvik_browser_screenshots >/dev/null

rm -rf "$out" && mkdir -p "$out"
for sample in quorvane kandor veltro; do
    "$build/cli/norrvik-cli" convert "$PWD/samples/$sample" "$out/db" >/dev/null 2>&1
done
xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" \
    "$build/tools/norrvik_browser_screenshots" "$out/db" "$out/browser" "cal" "3.34 4.26 1.82"
