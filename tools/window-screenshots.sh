#!/usr/bin/env bash
# Screenshots of the main window finishing a stopped run, under a virtual X
# server (Xvfb): a copy of the Kandor sample without one pattern file is
# stopped after two entries, then converted again in the window, which asks
# about the stopped run and shows the details of the run, and then undoes it.
# Writes build/window-shots/window-{question,window,details,undo,undone}.png.
#
# Usage: tools/window-screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh --build xvfb

build=build/release
out=build/window-shots
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORRVIK_TESTS=OFF -DNORRVIK_GUI=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik_window_screenshots >/dev/null

rm -rf "$out" && mkdir -p "$out"
cp -r samples/kandor "$out/kandor"
rm "$out/kandor/FLUORITE.di"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    "$build/tools/norrvik_window_screenshots" "$PWD/$out/kandor" "$PWD/$out/db" "$out/window"
