#!/usr/bin/env bash
# Builds the Win32 flavour and takes screenshots of the program under Wine on
# a virtual display: the three pages, a filled list, a preview, the progress
# box, the report and the profile editor, in English at 96, 144 and 192 DPI
# (Wine's LogPixels) into build/screenshots/<dpi>/, and in German, Russian
# and Arabic at 96 and 192 DPI into build/screenshots/<language>/<dpi>/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages
build_pe
out="$ROOT/build/screenshots"
rm -rf "$out" && mkdir -p "$out"
cd "$ROOT/build/pe"
use_wine "$ROOT/build/pe/wineprefix"
set_dpi() {
    wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
    wineserver64 -w
}
trap 'set_dpi 96' EXIT
for dpi in 96 144 192; do
    mkdir -p "$out/$dpi"
    set_dpi "$dpi"
    # A screen as large for its DPI as 1280 x 1024 is at 96.
    export BRIMLOW_SCREEN="$((1280 * dpi / 96))x$((1024 * dpi / 96))"
    "$ROOT/scripts/wine-display.sh" ./brimlow-screenshots.exe "$out/$dpi"
    [ "$dpi" = 144 ] && continue
    for language in de ru ar; do
        mkdir -p "$out/$language/$dpi"
        "$ROOT/scripts/wine-display.sh" ./brimlow-screenshots.exe "$out/$language/$dpi" "$language"
    done
done
ls -R "$out"
