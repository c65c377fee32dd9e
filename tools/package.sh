#!/usr/bin/env bash
# Builds the release configuration (build/package) and the Debian package
# norrvik_<version>_<arch>.deb from it, into build/package. Installs the
# Debian packages it needs when they are missing (dpkg-dev for
# dpkg-shlibdeps, which finds the runtime packages the programs need).
#
# Install the result with: apt-get install ./build/package/norrvik_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh --build dpkg-dev file

build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORRVIK_TESTS=OFF -DNORRVIK_GUI=ON -DNORRVIK_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik norrvik-cli norrvik_manual_pages
rm -f "$build"/norrvik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/norrvik_*.deb
