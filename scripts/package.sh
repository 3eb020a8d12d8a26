#!/usr/bin/env bash
# Builds the PE executables and writes what a Windows user downloads:
#   build/dist/brimlow-<version>-win64.zip, the portable copy: what the
#     build installs (cmake/App.cmake: brimlow.exe, brimlow-cli.exe, the
#     DLLs they carry, config.xml, profiles.xml, license.txt, README.txt and
#     licenses/, one text per library built in);
#   build/dist/brimlow-<version>-setup.exe, the installer of the same files
#     (app/installer.nsi, made with Debian's makensis).
# Prints both paths. Each appears only complete: written under another name
# first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PACKAGES+=(nsis)
ensure_packages
build_native >/dev/null
build_pe >/dev/null
version=$(sed -n 's/^#define BRIMLOW_VERSION_TEXT "\(.*\)"$/\1/p' "$ROOT/build/pe/generated/version.h")
[ -n "$version" ] || fail "no version in build/pe/generated/version.h"
dist="$ROOT/build/dist"
name="brimlow-$version-win64"
stage="$dist/$name"
includes="$dist/brimlow-$version-nsis"
setup="$dist/brimlow-$version-setup.exe"
rm -rf "$stage" "$includes" "$dist/$name.zip.partial" "$setup.partial"
mkdir -p "$stage" "$includes"
cmake --install "$ROOT/build/pe" --prefix "$stage" >/dev/null
# The build keeps debug information for the crash reports of the tests;
# what users download does without it.
x86_64-w64-mingw32-strip --strip-debug "$stage/"*.exe "$stage/"*.dll
(cd "$dist" && cmake -E tar cf "$name.zip.partial" --format=zip "$name")
mv "$dist/$name.zip.partial" "$dist/$name.zip"

# What the installer script takes from the build: the extensions the program
# reads (for its verbs), the package's files (for its uninstaller) and the
# window's languages with the installer's texts in each.
{
    echo '!macro FOR_EACH_FORMAT MACRO'
    "$ROOT/build/native/brimlow-cli" --formats | sed 's/.*/    !insertmacro ${MACRO} "&"/'
    echo '!macroend'
} >"$includes/formats.nsh"
{
    echo '!macro REMOVE_PACKAGE_FILES'
    (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|'
    (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|'
    echo '!macroend'
} >"$includes/files.nsh"
"$ROOT/build/native/brimlow-installer-texts" >"$includes/languages.nsh"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DAPP="$ROOT/app" -DOUTFILE="$setup.partial" \
    -DINCLUDES="$includes" "$ROOT/app/installer.nsi" >"$dist/makensis.log" 2>&1 ||
    { cat "$dist/makensis.log" >&2; fail "makensis failed"; }
mv "$setup.partial" "$setup"
rm -rf "$stage" "$includes"
echo "$dist/$name.zip"
echo "$setup"
