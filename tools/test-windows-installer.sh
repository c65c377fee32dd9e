#!/usr/bin/env bash
# Tests the Windows installer under Wine: makes it (tools/package-windows.sh),
# installs silently into a new folder, runs the installed norrvik-cli.exe
# (--version, a sample converted and verified), checks the Start-menu
# entries and the entry in Programs and Features, uninstalls silently and
# checks that nothing of it is left. The Wine prefix lives in the build
# folder.
#
#   tools/test-windows-installer.sh [BUILD_FOLDER]      (default build/package-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package-windows}
tools/package-windows.sh "$build" >/dev/null
tools/install-packages.sh wine64
setup=$(ls "$build"/packaging/Norrvik-*-setup.exe)
version=$(basename "$setup" | sed -e 's/^Norrvik-//' -e 's/-setup\.exe$//')

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver="$(dirname "$wine")/wineserver"
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || { mkdir -p "$WINEPREFIX"; "$wine" wineboot --init >/dev/null 2>&1; }
"$wineserver" -w
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
start=$SECONDS

folder="$WINEPREFIX/drive_c/Norrvik-test" # /D takes no quotes: a name without blanks
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Norrvik"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Norrvik'
rm -rf "$folder"
"$wine" "$setup" /S '/D=C:\Norrvik-test' || fail "the installer ended with status $?"
"$wineserver" -w
for file in norrvik.exe norrvik-cli.exe norrvik.ico README.txt Uninstall.exe; do
    [ -f "$folder/$file" ] || fail "not installed: $file"
done
for link in "Norrvik.lnk" "Norrvik README.lnk" "Uninstall Norrvik.lnk"; do
    [ -f "$menu/$link" ] || fail "no Start-menu entry $link"
done
entry=$("$wine" reg query "$key" /reg:64 2>/dev/null | tr -d '\r') || fail "no entry in Programs and Features"
[[ $entry == *"DisplayVersion"*"$version"* && $entry == *"Uninstall.exe"* ]] || fail "uninstall entry: $entry"

cli() { "$wine" "$folder/norrvik-cli.exe" "$@" | tr -d '\r'; }
[ "$(cli --version)" = "norrvik-cli $version" ] || fail "installed norrvik-cli.exe --version: $(cli --version)"
summary=$(cli convert -q 'Z:'"${PWD//\//\\}"'\samples\kandor' 'Z:'"${work//\//\\}"'\db')
[[ $summary == "5 patterns added, 0 skipped"* ]] || fail "conversion with the installed program: $summary"
[ "$(cli verify 'Z:'"${work//\//\\}"'\db')" = "No problems found." ] || fail "verify of the converted database"

"$wine" "$folder/Uninstall.exe" /S || fail "the uninstaller ended with status $?"
"$wineserver" -w # the uninstaller runs on from a copy of itself and ends later
[ ! -e "$folder" ] || fail "left after uninstalling: $(ls -A "$folder")"
[ ! -e "$menu" ] || fail "Start-menu entries left after uninstalling"
! "$wine" reg query "$key" /reg:64 >/dev/null 2>&1 || fail "the entry in Programs and Features is left"
echo "Windows installer under Wine: installed, ran and uninstalled in $((SECONDS - start)) s"
