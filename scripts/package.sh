#!/usr/bin/env bash
# Builds the PE executables and writes the package a Windows user
# downloads: build/dist/brimlow-<version>-win64.zip with brimlow.exe,
# brimlow-cli.exe, the DLLs they carry, config.xml, profiles.xml,
# license.txt, README.txt and licenses/ (one text per library built in).
# The zip appears only complete: it is written under another name first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages
build_pe >/dev/null
version=$(sed -n 's/^project(Brimlow VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
[ -n "$version" ] || fail "no version in CMakeLists.txt"
name="brimlow-$version-win64"
dist="$ROOT/build/dist"
stage="$dist/$name"
rm -rf "$stage" "$dist/$name.zip.partial"
mkdir -p "$stage"
cp "$ROOT/build/pe/brimlow.exe" "$ROOT/build/pe/brimlow-cli.exe" "$ROOT/app/config.xml" "$ROOT/app/profiles.xml" \
   "$ROOT/app/license.txt" "$ROOT/build/pe/"*.dll "$stage/"
cp -r "$ROOT/build/pe/licenses" "$stage/"
# The build keeps debug information for the crash reports of the tests;
# what users download does without it.
x86_64-w64-mingw32-strip --strip-debug "$stage/"*.exe "$stage/"*.dll
# Windows users open text files in Notepad: line ends as Windows has them.
sed 's/$/\r/' "$ROOT/app/readme-windows.txt" >"$stage/README.txt"
(cd "$dist" && cmake -E tar cf "$name.zip.partial" --format=zip "$name")
mv "$dist/$name.zip.partial" "$dist/$name.zip"
rm -rf "$stage"
echo "$dist/$name.zip"
