#!/usr/bin/env bash
# Builds both flavours from a fresh machine and runs every test: the native
# tests, the native tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# and the Win32 flavour's tests under Wine. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages

echo "== native build"
build_native
echo "== native tests"
ctest --test-dir "$ROOT/build/native" --output-on-failure

echo "== sanitizer build"
build_sanitized
echo "== sanitizer tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$ROOT/build/sanitize" --output-on-failure

echo "== Win32 build (wineg++)"
build_win32
echo "== Win32 tests under Wine"
ctest --test-dir "$ROOT/build/win32" --output-on-failure

echo "== all tests passed"
