#!/usr/bin/env bash
# Lists every C++ source file that the CMakeLists.txt of its folder does not
# name, and exits 1 if there is one: the build lists its files explicitly, so
# a file left out would silently not be built (or its tests not run). A
# folder without a CMakeLists.txt (common/posix) is listed by its parent's.
# Run by the tests; usage: tools/check-source-lists.sh
set -euo pipefail
cd "$(dirname "$0")/.."
unlisted=0
while IFS= read -r file; do
    folder=$(dirname "$file")
    name=$(basename "$file")
    while [ ! -f "$folder/CMakeLists.txt" ] && [ "$folder" != "." ]; do
        name="$(basename "$folder")/$name"
        folder=$(dirname "$folder")
    done
    if [ ! -f "$folder/CMakeLists.txt" ] || ! grep -qE "(^|[[:space:]/(])${name//./\\.}([[:space:])]|$)" "$folder/CMakeLists.txt"; then
        echo "not listed in $folder/CMakeLists.txt: $file"
        unlisted=1
    fi
done < <(find . \( -path './build*' -o -path './.*' \) -prune -o -name '*.cpp' -print | sed 's|^\./||' | sort)
exit $unlisted
