#!/usr/bin/env bash
# Sets up a fresh machine, builds Brimlow natively and as the Windows
# executables users download, and installs the window program (brimlow.exe),
# the command-line program (brimlow-cli, and brimlow-cli.exe for Windows)
# with the files they ship with (config.xml, profiles.xml, license.txt, the
# DLLs) into build/install. With a
# display (DISPLAY set) it opens brimlow.exe under Wine; without one it
# resizes the bundled sample images
# (and a camera-sized photograph made from one) with the command-line
# program into a fresh output folder, with the shipped settings.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages
build_native
build_pe

install="$ROOT/build/install"
rm -rf "$install"
mkdir -p "$install"
for flavour in native pe; do
    cmake --install "$ROOT/build/$flavour" --prefix "$install" >/dev/null
done

if [ -n "${DISPLAY:-}" ]; then
    echo "== opening Brimlow on $DISPLAY (settings are kept in $install)"
    # A Wine prefix of its own, so that the window follows the desktop's
    # window manager (the test prefix draws its own frames).
    use_wine "$ROOT/build/run-wineprefix"
    exec wine64 "$install/brimlow.exe"
fi

work="$ROOT/build/run"
rm -rf "$work"
mkdir -p "$work/samples" "$work/output"
cp "$ROOT/app/samples/"*.{jpg,bmp,tga,gif} "$work/samples/"
# The bundled samples are small; a photograph the size a camera makes shows
# the shipped Web profile (1280 x 960) at work.
convert "$ROOT/app/samples/landscape_1.jpg" -resize 400% -quality 92 "$work/samples/landscape_large.jpg"

echo "== the file list"
"$install/brimlow-cli" --dry-run "$work/samples"
echo "== resizing into $work/output"
"$install/brimlow-cli" --output "$work/output" "$work/samples"
ls -l "$work/output"
