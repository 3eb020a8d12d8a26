#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer for a number of seconds:
#   scripts/fuzz.sh bmp|png|gif|tga|jpeg [seconds]
# Builds with clang into build/fuzz; findings land in build/fuzz/findings.
# Inputs that crashed and were fixed belong in tests/fuzz/corpus/<target>.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
target="${1:?target: bmp, png, gif, tga or jpeg}"
seconds="${2:-600}"
PACKAGES+=(clang)
ensure_packages
mkdir -p "$ROOT/build"
CC=clang CXX=clang++ configure_and_build fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMLOW_LIBFUZZER=ON
work="$ROOT/build/fuzz/corpus-$target"
mkdir -p "$work" "$ROOT/build/fuzz/findings"
cp -n "$ROOT/tests/fuzz/corpus/$target/"* "$work/" 2>/dev/null || true
cd "$ROOT/build/fuzz/findings"
"$ROOT/build/fuzz/fuzz-$target" -max_total_time="$seconds" -rss_limit_mb=4096 -max_len=100000 "$work"
