#!/usr/bin/env bash
# Builds every flavour from a fresh machine and runs every test: the house
# rules a script can check, the native tests, the native tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# the Win32 flavour's tests (PE executables under Wine), and the package
# Windows users download. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages

echo "== house rules"
"$ROOT/scripts/house.sh"

TESTDATA="$ROOT/../shared/testdata"
if [ ! -d "$TESTDATA" ]; then
    if [ "${CI:-}" = "true" ]; then
        echo "error: the public test images are missing: $TESTDATA (see README.md, Test data)" >&2
        exit 1
    fi
    echo "warning: $TESTDATA is missing; the conformance tests will be skipped and listed below"
fi

echo "== native build"
build_native
echo "== native tests"
ctest --test-dir "$ROOT/build/native" --output-on-failure
report_skipped "$ROOT/build/native"

echo "== sanitizer build"
build_sanitized
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$ROOT/build/sanitize" --output-on-failure
report_skipped "$ROOT/build/sanitize"

echo "== Win32 build (mingw-w64): the executables Windows users download and their tests"
build_pe
echo "== Win32 tests under Wine"
ctest --test-dir "$ROOT/build/pe" --output-on-failure
report_skipped "$ROOT/build/pe"
echo "== the Windows package and installer"
packages=$("$ROOT/scripts/package.sh")
package=$(echo "$packages" | grep '\.zip$')
setup=$(echo "$packages" | grep 'setup\.exe$')
# Every file the build installs, and nothing else.
listing=$(cmake -E tar tf "$package" | grep -v '/$' | sed 's|^[^/]*/||' | sort)
installed=$(sed "s|^$ROOT/build/dist/[^/]*/||; s|^\./||" "$ROOT/build/pe/install_manifest.txt" | sort)
[ "$listing" = "$installed" ] || { diff <(echo "$installed") <(echo "$listing") >&2;
    echo "error: $package is not what the build installs" >&2; exit 1; }
echo "$package holds every file"
"$ROOT/tests/pe/installer.sh" "$setup" "$ROOT/build/native/brimlow-cli"

echo "== all tests passed"
