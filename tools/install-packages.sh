#!/usr/bin/env bash
# Installs the named Debian packages that are not installed yet; the one
# installer of every script (./test, ./run, fuzz/run, tools/screenshot.sh,
# tools/package.sh). Runs apt-get (through sudo when not root) only when a
# package is missing.
#
#   tools/install-packages.sh --build [PACKAGE...]   what Norrvik builds with, and more
#   tools/install-packages.sh PACKAGE...
set -euo pipefail

# The packages Norrvik builds and tests with.
build_packages=(cmake g++ make libgtest-dev qt6-base-dev libcli11-dev nlohmann-json3-dev desktop-file-utils groff-base)

wanted=()
for p in "$@"; do
    if [ "$p" = "--build" ]; then
        wanted+=("${build_packages[@]}")
    else
        wanted+=("$p")
    fi
done

missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
