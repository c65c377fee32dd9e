#!/usr/bin/env bash
# Drives the Win32 window (norrvik.exe) under Wine on a virtual X server:
# it starts with the folders given, converts a sample (the result line says
# what was added), is closed and started again with a large source, whose
# run is cancelled (the result line says so); a third start converts it
# again and is told that the session ends (a logoff): it stops the run,
# holds the logoff back until the indexes are written and closes, leaving a
# sound database; a fourth start shows the folders remembered from the
# third. A run stopped part-way is offered to be finished, and the details
# of the run are shown; the sample run is undone (Yes to the question), which
# deletes the database it created. Screenshots of the window at start, of the question
# and the details, during the large run and after it are written into the
# build folder. Installs the Debian packages it
# needs when they are missing.
#
#   tools/test-windows-window.sh [BUILD_FOLDER [LARGE_QUORVANE_SOURCE]]
#
# The large source is a PDF1 database in the Quorvane layout big enough for
# a run of some seconds; without one, 200,000 patterns are generated.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-packages.sh g++-mingw-w64-x86-64-posix wine64 cmake make libcli11-dev nlohmann-json3-dev \
    googletest xvfb x11-apps

build=${1:-build/windows-window}
large=${2:-}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DNORRVIK_GUI=ON -DNORRVIK_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target norrvik norrvik-cli norrvik_window_driver

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -d "$WINEPREFIX" ] || { mkdir -p "$WINEPREFIX"; "$wine" wineboot --init >/dev/null 2>&1; }
if [ -z "$large" ]; then
    large="$work/source-pdf1"
    "$wine" "$build/tests/win32/norrvik_window_driver.exe" make-source "Z:${large//\//\\}" 200000
fi
[ -d "$large" ] || { echo "usage: $0 [BUILD_FOLDER [LARGE_QUORVANE_SOURCE]] (a PDF1 source of many patterns)" >&2; exit 2; }
shots="$PWD/$build/screenshots"
mkdir -p "$shots"
export NORRVIK_EXE="$PWD/$build/app/win32/norrvik.exe" CLI="$PWD/$build/cli/norrvik-cli.exe" DRIVER="$PWD/$build/tests/win32/norrvik_window_driver.exe"
export WINE="$wine" SHOTS="$shots" WORK="$work" LARGE="$(realpath "$large")" SAMPLE="$PWD/samples/kandor"

xvfb-run -a -s "-screen 0 1024x600x24 -dpi 96" bash -euo pipefail -c '
    # A Windows path for a file of this machine (Wine shows / as drive Z:).
    windows() { local p=${1//\//\\}; printf "Z:%s" "$p"; }
    drive() { "$WINE" "$DRIVER" "$@" | tr -d "\r"; }
    shot() { sleep 0.5; xwd -silent -root -out "$SHOTS/$1.xwd"; }
    fail() { echo "FAILED: $*" >&2; exit 1; }
    [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot --init >/dev/null 2>&1
    # A Wine desktop of the screen'"'"'s size: without a window manager it is
    # Wine that draws the title bars.
    "$WINE" reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null
    "$WINE" reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1024x600 /f >/dev/null
    "$(dirname "$WINE")/wineserver" -w # the desktop is made anew by the next start

    "$WINE" "$NORRVIK_EXE" -f kandor "$(windows "$SAMPLE")" "$(windows "$WORK/small")" & pid=$!
    drive wait-window || fail "the window did not open"
    shot start
    drive click start
    line=$(drive wait-idle) || fail "the sample run did not end"
    echo "sample: $line"
    [[ $line == *" added, "*" skipped as already present; the target database now holds "* ]] ||
        fail "result line of the sample run: $line"
    [ -f "$WORK/small/ReferenceDatabase.PDB" ] || fail "no database written"
    drive click undo || fail "no Undo button"
    drive wait-question || fail "the undo was not asked about"
    shot undo
    drive answer "&Yes" || fail "no Yes"
    for i in $(seq 1 50); do line=$(drive wait-idle); [[ $line == Undid* ]] && break; sleep 0.2; done
    echo "undone: $line"
    [[ $line == "Undid the conversion, which created the database: its files are deleted ("* ]] ||
        fail "result line of the undo: $line"
    [ ! -e "$WORK/small/ReferenceDatabase.PDB" ] || fail "the undo left the database"
    drive click exit
    wait $pid || fail "the window program ended with status $?"

    # A run stopped after two entries is offered to be finished; the details
    # of the finishing run name the entry without a pattern file.
    cp -r "$SAMPLE" "$WORK/partial-source"
    rm "$WORK/partial-source/FLUORITE.di"
    drive stop-run "$(windows "$WORK/partial-source")" "$(windows "$WORK/partial")" || fail "no stopped run made"
    "$WINE" "$NORRVIK_EXE" -f kandor "$(windows "$WORK/partial-source")" "$(windows "$WORK/partial")" & pid=$!
    drive click start || fail "no Start"
    drive wait-question || fail "the stopped run was not asked about"
    shot question
    drive answer "&Finish the rest" || fail "no Finish the rest"
    line=$(drive wait-idle) || fail "the finishing run did not end"
    echo "finished: $line"
    [[ $line == *" added, "* ]] || fail "result line of the finishing run: $line"
    shot finished
    drive click details || fail "no Details button"
    shot details
    drive close-text || fail "no details shown"
    drive click exit
    wait $pid || fail "the window program ended with status $?"

    "$WINE" "$NORRVIK_EXE" -f quorvane "$(windows "$LARGE")" "$(windows "$WORK/large-target")" & pid=$!
    drive click start || fail "no Start"
    drive wait-busy || fail "the large run showed no progress"
    shot during
    drive click cancel
    line=$(drive wait-idle) || fail "the cancelled run did not end"
    echo "cancelled: $line"
    [[ $line == "Conversion cancelled after "*"added; the target database now holds"* ]] ||
        fail "result line of the cancelled run: $line"
    shot after
    drive click exit
    wait $pid || fail "the window program ended with status $?"

    "$WINE" "$NORRVIK_EXE" -f quorvane "$(windows "$LARGE")" "$(windows "$WORK/ended")" & pid=$!
    drive click start || fail "no Start"
    drive wait-busy || fail "the third run showed no progress"
    [ "$(drive end-session)" = waits ] || fail "a logoff during a run was not held back"
    wait $pid || fail "the window program ended with status $? after the logoff"
    [ ! -e "$WORK/ended/Norrvik.run" ] || fail "the run stopped by the logoff was left unfinished"
    [ "$("$WINE" "$CLI" verify "$(windows "$WORK/ended")" | tr -d "\r")" = "No problems found." ] ||
        fail "the database of the run stopped by the logoff is not sound"

    "$WINE" "$NORRVIK_EXE" & pid=$!
    [ "$(drive end-session)" = ends ] || fail "a logoff of an idle window was held back"
    folders=$(drive folders)
    [ "$folders" = "$(windows "$LARGE")"$'"'"'\n'"'"'"$(windows "$WORK/ended")" ] ||
        fail "remembered folders: $folders"
    drive click exit
    wait $pid
'
echo "Win32 window under Wine: passed; screenshots (xwd) in $shots"
