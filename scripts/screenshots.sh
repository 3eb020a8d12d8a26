#!/usr/bin/env bash
# Builds the Win32 flavour and takes screenshots of the program under Wine on
# a virtual display: the three pages, a filled list, a preview, the progress
# box and the cancel message, into build/screenshots/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages
build_pe
out="$ROOT/build/screenshots"
rm -rf "$out" && mkdir -p "$out"
cd "$ROOT/build/pe"
export WINEPREFIX="$ROOT/build/pe/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       WINELOADER=/usr/lib/wine/wine64
"$ROOT/scripts/wine-display.sh" ./brimlow-screenshots.exe "$out"
ls "$out"
