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

# Debian's hardening flags (stack protector, fortified calls, read-only
# relocations bound at start), as every Debian package is built with; the
# optimisation stays the Release build's own.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
build=build/package
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DNORRVIK_TESTS=OFF -DNORRVIK_GUI=ON -DNORRVIK_WERROR=ON \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik norrvik-cli norrvik_manual_pages norrvik_changelog
rm -f "$build"/norrvik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/norrvik_*.deb
