#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer for a number of seconds:
#   scripts/fuzz.sh bmp|png|gif|tga|jpeg|webp|heif|tiff|xml|pathblock|exif|writers [seconds] [libFuzzer options...]
# Inputs up to 1 MB (-max_len, which the options may change); the corpus
# grows in build/fuzz/corpus-<target>, seeded from tests/fuzz/corpus/<target>
# and the public test images of the format; findings land in
# build/fuzz/findings. Inputs that failed and were fixed belong in
# tests/fuzz/corpus/<target>.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
target="${1:?target: bmp, png, gif, tga, jpeg, webp, heif, tiff, xml, pathblock, exif or writers}"
seconds="${2:-600}"
shift $(($# < 2 ? $# : 2))
case "$target" in
bmp | png | gif | tga | jpeg) seeds=("$ROOT/../shared/testdata/$target") ;;
webp | heif | tiff | xml | pathblock | exif | writers) seeds=() ;;
*) echo "unknown fuzz target: $target" >&2; exit 2 ;;
esac
PACKAGES+=(clang)
ensure_packages
mkdir -p "$ROOT/build"
# Only the target: the rest of the project is not linked for the fuzzer.
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMLOW_LIBFUZZER=ON \
    >"$ROOT/build/fuzz.configure.log" 2>&1 || { cat "$ROOT/build/fuzz.configure.log"; exit 1; }
cmake --build "$ROOT/build/fuzz" -j"$JOBS" --target "fuzz-$target" >/dev/null
work="$ROOT/build/fuzz/corpus-$target"
mkdir -p "$work" "$ROOT/build/fuzz/findings"
cp -n "$ROOT/tests/fuzz/corpus/$target/"* "$work/" 2>/dev/null || true
for s in "${seeds[@]}"; do
    [ -d "$s" ] || continue
    find "$s" -type f -size -1M -exec cp -n {} "$work/" \; 2>/dev/null || true
done
cd "$ROOT/build/fuzz/findings"
"$ROOT/build/fuzz/fuzz-$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=1048576 \
    -print_final_stats=1 "$@" "$work"
