#!/usr/bin/env bash
# Sets up a fresh machine, builds Brimlow in both flavours, installs the
# command-line program with its config.xml and profiles.xml into one folder
# and resizes the bundled sample images with the default configuration into
# a fresh output folder.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages
build_native
build_win32

install="$ROOT/build/install"
rm -rf "$install"
mkdir -p "$install"
cp "$ROOT/build/native/brimlow-cli" "$ROOT/app/config.xml" "$ROOT/app/profiles.xml" "$install/"

work="$ROOT/build/run"
rm -rf "$work"
mkdir -p "$work/samples" "$work/output"
cp "$ROOT/app/samples/"*.{jpg,bmp,tga,gif} "$work/samples/"

echo "== the file list"
"$install/brimlow-cli" --dry-run "$work/samples"
echo "== resizing into $work/output"
"$install/brimlow-cli" --output "$work/output" "$work/samples"
ls -l "$work/output"
