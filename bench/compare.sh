#!/usr/bin/env bash
# Resizes every JPEG of DIR to at most 1024 x 768 at quality 75 with
# brimlow-cli (default jobs and --jobs 1), ImageMagick, GraphicsMagick and
# vipsthumbnail, each into its own output folder, and prints wall time, CPU
# time and peak memory per tool with the ratios to brimlow-cli.
#   bench/compare.sh [DIR] [RUNS]
# Without DIR: the JPEGs at least 2560 pixels wide of Debian's
# plasma-workspace-wallpapers package.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
PACKAGES+=(graphicsmagick libvips-tools time)
ensure_packages
build_native >/dev/null

dir="${1:-}"
runs="${2:-3}"
work="$ROOT/build/compare"
mkdir -p "$work"
if [ -z "$dir" ]; then
    dir="$work/wallpapers"
    if [ ! -d "$dir" ]; then
        (cd "$work" && apt-get download plasma-workspace-wallpapers >/dev/null && dpkg -x plasma-workspace-wallpapers_*.deb unpacked)
        mkdir -p "$dir"
        for f in "$work"/unpacked/usr/share/wallpapers/*/contents/images/*.jpg; do
            w=$(identify -format '%w' "$f" 2>/dev/null || echo 0)
            [ "$w" -ge 2560 ] && cp "$f" "$dir/$(basename "$(dirname "$(dirname "$(dirname "$f")")")")-$(basename "$f")"
        done
    fi
fi
count=$(ls "$dir"/*.jpg | wc -l)
echo "== $count JPEGs from $dir, median of $runs runs"

# The CLI reads its settings beside itself.
cli="$work/cli"
mkdir -p "$cli"
cp "$ROOT/build/native/brimlow-cli" "$ROOT/app/profiles.xml" "$ROOT/app/config.xml" "$cli/"

measure() { # name command...
    local name="$1"
    shift
    local results=()
    for ((r = 0; r < runs; ++r)); do
        rm -rf "$work/out-$name"
        mkdir -p "$work/out-$name"
        /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
        results+=("$(tail -1 "$work/time.txt")")
    done
    printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p" | awk -v n="$name" '{printf "%s %s %.2f %d\n", n, $1, $2 + $3, $4}'
}

{
    measure brimlow "$cli/brimlow-cli" --quiet -W 1024 -H 768 -q 75 --no-keep-dates -o "$work/out-brimlow" "$dir"
    measure brimlow-j1 "$cli/brimlow-cli" --quiet -j 1 -W 1024 -H 768 -q 75 --no-keep-dates -o "$work/out-brimlow-j1" "$dir"
    measure imagemagick bash -c "cp '$dir'/*.jpg '$work/out-imagemagick/' && /usr/bin/mogrify -resize '1024x768>' -quality 75 '$work/out-imagemagick/'*.jpg"
    measure graphicsmagick bash -c "cp '$dir'/*.jpg '$work/out-graphicsmagick/' && gm mogrify -resize '1024x768>' -quality 75 '$work/out-graphicsmagick/'*.jpg"
    measure vipsthumbnail bash -c "vipsthumbnail --size '1024x768>' -o '$work/out-vipsthumbnail/%s.jpg[Q=75]' '$dir'/*.jpg"
} > "$work/results.txt"

awk 'NR == 1 { bw = $2; bc = $3; bm = $4 }
     { rows[NR] = $0; w[NR] = $2; c[NR] = $3; m[NR] = $4; n[NR] = $1 }
     END {
        printf "%-16s %9s %9s %10s %8s %8s %8s\n", "tool", "wall s", "cpu s", "peak KiB", "wall/b", "cpu/b", "mem/b"
        for (i = 1; i <= NR; ++i)
            printf "%-16s %9.2f %9.2f %10d %8.2f %8.2f %8.2f\n", n[i], w[i], c[i], m[i], w[i] / bw, c[i] / bc, m[i] / bm
     }' "$work/results.txt"
