#!/usr/bin/env bash
# Takes a screenshot of Norrvik's main window under a virtual X server
# (Xvfb) and writes it as a PNG file (default: build/screenshot.png).
# Builds the window program first (build/release) and installs what it needs
# when missing: the build packages, plus xvfb and x11-apps (for xwd) for the
# screenshot itself. The window is dumped with xwd and turned into a PNG by
# a few lines of Python (no image library needed).
#
# Usage: tools/screenshot.sh [output.png]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh --build xvfb x11-apps

output=${1:-build/screenshot.png}
build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORRVIK_TESTS=OFF -DNORRVIK_GUI=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik >/dev/null

xwdfile=$(mktemp --suffix=.xwd)
trap 'rm -f "$xwdfile"' EXIT
title="Convert Reference Database to Orvel Tessaly  Format"
xvfb-run -a -s "-screen 0 1024x600x24 -dpi 96" bash -c '
    "$1" &
    pid=$!
    for i in $(seq 1 50); do
        xwd -silent -name "$2" -out "$3" 2>/dev/null && break
        sleep 0.2
    done
    kill "$pid"
' _ "$build/app/norrvik" "$title" "$xwdfile"

python3 - "$xwdfile" "$output" <<'PY'
# XWD (ZPixmap, 24/32 bits per pixel) to an RGB PNG.
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
fields = struct.unpack(">25I", data[:100])
header_size, width, height = fields[0], fields[4], fields[5]
byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
masks = fields[14:17]
ncolors = fields[19]
pixels = data[header_size + 12 * ncolors:]
step = bits_per_pixel // 8
endian = "<" if byte_order == 0 else ">"

def channel(value, mask):
    shift = (mask & -mask).bit_length() - 1
    return ((value & mask) >> shift) * 255 // (mask >> shift)
rows = []
for y in range(height):
    row = bytearray(b"\x00")
    line = pixels[y * bytes_per_line:(y + 1) * bytes_per_line]
    for x in range(width):
        chunk = line[x * step:(x + 1) * step]
        value = int.from_bytes(chunk, "little" if byte_order == 0 else "big")
        row += bytes(channel(value, m) for m in masks)
    rows.append(bytes(row))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
print(f"{sys.argv[2]}: {width} x {height}")
PY
