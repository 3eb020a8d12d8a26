#!/usr/bin/env bash
# Brimlow against the tools people use instead, in one run on one machine:
# brimlow-cli (default jobs and --jobs 1), vipsthumbnail, ImageMagick and
# GraphicsMagick shrink every JPEG of DIR to fit 1024 x 768.
#   speed:   quality 75, median of RUNS runs: wall time, CPU time, peak memory;
#            and brimlow-cli listing the set (-n), the window's prepare pass;
#   quality: quality 100, each copy against ImageMagick's Lanczos reduction
#            of its full-size source at the copy's size (PSNR, SSIM), and the
#            same for a synthetic zone plate (3000 x 3000 to 768 x 768), where
#            aliasing shows at once.
#   colour:  the set again with an Adobe RGB profile put into every file (the
#            compressed pixels untouched), so the copies are converted to
#            sRGB: the conversion's share of brimlow-cli's time;
#   HEIC, TIFF and AVIF: the set as phones store it (heif-enc, quality
#            80), as scanners and editors do (LZW TIFF) and as AVIF
#            (heif-enc -A, quality 80): brimlow-cli and vipsthumbnail
#            decoding and shrinking it;
#   PNG and WebP: the set's copies in those formats (WebP at quality 75)
#            against vipsthumbnail writing the same, with their sizes;
#   size limit: the set at 1920 x 1080, quality 85, with and without
#            --max-size 250k: time, encodes a copy, and how much of the
#            limit the copies that had to shrink use;
#   several profiles: Web, E-mail and Screen in one run at --jobs 1 against
#            three runs, one a profile;
#   already fitting: the set made 800 x 600 (quality 90) shrunk to fit
#            1024 x 768, which leaves every picture as it is: CPU time
#            against vipsthumbnail's;
#   budget:  the set at Web with --total-size half of what its copies take
#            without one (--jobs 1): how full it ends, encodes a copy;
#   graphics: logos (Debian's and Breeze's icons drawn 1600 pixels wide
#            with rsvg-convert) and screenshots (the PNGs of KDE's manuals
#            at least 900 pixels wide) to PNG and WebP at 1024 x 768, CPU
#            time at --jobs 1 against vipsthumbnail, ImageMagick and cwebp
#            (handed brimlow's sizes), with the copies' bytes;
#   16-bit TIFF: the set as 16-bit LZW TIFF: CPU time and peak memory
#            against vipsthumbnail's, and peak memory at 1920 x 1080 (the
#            JPEGs' too);
#   tight limits: the set at 1920 x 1080 within 100 KB and 50 KB: encodes
#            a copy;
#   estimates: the "Est Size" of a varied set (the photos re-encoded and in
#            other formats, graphics, text) at three profiles against the
#            copies: from the headers, as the list first shows it, and after
#            the measure that refines it.
# Prints one table and the targets the copies are held to.
#   bench/compare.sh [DIR] [RUNS]
# Without DIR: one picture per wallpaper of Debian's plasma-workspace-wallpapers
# package, its largest, when that is at least 2560 pixels wide.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
PACKAGES+=(graphicsmagick libvips-tools libheif-examples imagemagick time python3-numpy python3-scipy python3-pil libimage-exiftool-perl
          colord-data librsvg2-bin webp)
ensure_packages
build_native >/dev/null

dir="${1:-}"
runs="${2:-3}"
work="$ROOT/build/compare"
mkdir -p "$work"
if [ -z "$dir" ]; then
    dir="$work/wallpapers"
    if [ ! -d "$dir" ]; then
        (cd "$work" && rm -rf unpacked ./*.deb && apt-get download plasma-workspace-wallpapers >/dev/null &&
            dpkg -x plasma-workspace-wallpapers_*.deb unpacked)
        mkdir -p "$dir.partial"
        for images in "$work"/unpacked/usr/share/wallpapers/*/contents/images; do
            best="" widest=0
            for f in "$images"/*.jpg; do
                [ -f "$f" ] || continue
                w=$(/usr/bin/identify -format '%w' "$f" 2>/dev/null || echo 0)
                if [ "$w" -gt "$widest" ]; then widest=$w best=$f; fi
            done
            [ "$widest" -ge 2560 ] && cp "$best" "$dir.partial/$(basename "$(dirname "$(dirname "$images")")").jpg"
        done
        mv "$dir.partial" "$dir"
    fi
fi
dir=$(cd "$dir" && pwd)
count=$(ls "$dir"/*.jpg | wc -l)

# The CLI reads its settings beside itself.
cli="$work/cli"
mkdir -p "$cli"
cp "$ROOT/build/native/brimlow-cli" "$ROOT/app/profiles.xml" "$ROOT/app/config.xml" "$cli/"

# tool quality source-folder output-folder [WxH]: one tool's copies, into
# an output folder that exists and is empty.
shrink() {
    local tool="$1" q="$2" src="$3" out="$4" size="${5:-1024x768}"
    local w="${size%x*}" h="${size#*x}"
    case "$tool" in
    # Never larger would hold the quality runs' copies to their sources'
    # qualities: the filter is what they measure.
    brimlow) "$cli/brimlow-cli" --quiet --allow-larger -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-j1) "$cli/brimlow-cli" --quiet -j 1 -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-bilinear) "$cli/brimlow-cli" --quiet --allow-larger -f bilinear -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-png) "$cli/brimlow-cli" --quiet --format png -W "$w" -H "$h" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-webp) "$cli/brimlow-cli" --quiet --format webp -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-limit) "$cli/brimlow-cli" --quiet --max-size 250k -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-png-j1) "$cli/brimlow-cli" --quiet -j 1 --format png -W "$w" -H "$h" --no-keep-dates -a "" -o "$out" "$src" ;;
    brimlow-webp-j1) "$cli/brimlow-cli" --quiet -j 1 --format webp -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$out" "$src" ;;
    imagemagick-png) /usr/bin/mogrify -path "$out" -format png -resize "${size}>" "$src"/*.* ;;
    # cwebp scales to the size it is given: brimlow's copies' (sizes.txt
    # beside the sources, made first).
    cwebp) while read -r name width height; do
        cwebp -quiet -q "$q" -resize "$width" "$height" "$src/$name" -o "$out/${name%.*}.webp"
    done <"$src.sizes" ;;
    brimlow-profiles) "$cli/brimlow-cli" --quiet -j 1 -p Web -p E-mail -p Screen --no-keep-dates -o "$out" "$src" ;;
    brimlow-separately) for p in Web E-mail Screen; do
        "$cli/brimlow-cli" --quiet -j 1 -p "$p" -a "_$p" --no-keep-dates -o "$out" "$src"
    done ;;
    vipsthumbnail) vipsthumbnail --size "${size}>" -o "$out/%s.jpg[Q=$q]" "$src"/*.* ;;
    vips-png) vipsthumbnail --size "${size}>" -o "$out/%s.png" "$src"/*.* ;;
    vips-webp) vipsthumbnail --size "${size}>" -o "$out/%s.webp[Q=$q]" "$src"/*.* ;;
    imagemagick) /usr/bin/mogrify -path "$out" -format jpg -resize "${size}>" -quality "$q" "$src"/*.* ;;
    graphicsmagick) (cd "$src" && gm mogrify -output-directory "$out" -format jpg -resize "${size}>" -quality "$q" ./*.*) ;;
    esac
}

export -f shrink
export cli

# name output-folder command...: the median run's wall time, CPU time and
# peak KiB; the output folder is emptied before each run.
measure() {
    local name="$1" out="$2"
    shift 2
    local results=()
    for ((r = 0; r < runs; ++r)); do
        rm -rf "$out" && mkdir -p "$out"
        /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
        results+=("$(tail -1 "$work/time.txt")")
    done
    printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p" |
        awk -v n="$name" '{printf "%s %s %.2f %d\n", n, $1, $2 + $3, $4}'
}

speed_tools=(brimlow brimlow-j1 vipsthumbnail imagemagick graphicsmagick)
quality_tools=(brimlow brimlow-bilinear vipsthumbnail imagemagick graphicsmagick)
echo "== $count JPEGs from $dir; speed: median of $runs runs at quality 75" >&2
: >"$work/speed.txt"
for tool in "${speed_tools[@]}"; do
    measure "$tool" "$work/out-$tool" bash -c 'shrink "$@"' _ "$tool" 75 "$dir" "$work/out-$tool" >>"$work/speed.txt"
done
# The window's listing: sizes and estimates from the headers; the measure
# that refines its estimates follows in idle time (timed as brimlow-cli -n).
measure listing "$work/out-listing" "$cli/brimlow-cli" -n --quick-estimates "$dir" >"$work/listing.txt"
measure measured-listing "$work/out-listing" "$cli/brimlow-cli" -n "$dir" >>"$work/listing.txt"
profiled="$work/wallpapers-adobe-rgb"
if [ ! -d "$profiled" ]; then
    mkdir -p "$profiled.partial"
    for f in "$dir"/*.jpg; do
        exiftool -q "-ICC_Profile<=/usr/share/color/icc/colord/AdobeRGB1998.icc" -o "$profiled.partial/" "$f"
    done
    mv "$profiled.partial" "$profiled"
fi
measure brimlow-profiled "$work/out-profiled" bash -c 'shrink "$@"' _ brimlow 75 "$profiled" "$work/out-profiled" \
    >>"$work/speed.txt"
# The set as phones store photos: HEIC, written once by libheif's heif-enc.
heic="$work/wallpapers-heic"
if [ ! -d "$heic" ]; then
    mkdir -p "$heic.partial"
    for f in "$dir"/*.jpg; do
        heif-enc -q 80 "$f" -o "$heic.partial/$(basename "$f" .jpg).heic" >/dev/null
    done
    mv "$heic.partial" "$heic"
fi
for tool in brimlow brimlow-j1 vipsthumbnail; do
    measure "heic-$tool" "$work/out-heic" bash -c 'shrink "$@"' _ "$tool" 75 "$heic" "$work/out-heic" >>"$work/speed.txt"
done
# The set as TIFF (LZW, as scanners and editors save it) and as AVIF
# (heif-enc's AV1 encoder at quality 80), each made once.
for kind in tiff avif; do
    copies="$work/wallpapers-$kind"
    if [ ! -d "$copies" ]; then
        mkdir -p "$copies.partial"
        for f in "$dir"/*.jpg; do
            b="$copies.partial/$(basename "$f" .jpg)"
            if [ "$kind" = tiff ]; then
                /usr/bin/convert "$f" -compress LZW "$b.tif"
            else
                heif-enc -A -q 80 -p speed=8 "$f" -o "$b.avif" >/dev/null
            fi
        done
        mv "$copies.partial" "$copies"
    fi
    for tool in brimlow brimlow-j1 vipsthumbnail; do
        measure "$kind-$tool" "$work/out-$kind" bash -c 'shrink "$@"' _ "$tool" 75 "$copies" "$work/out-$kind" \
            >>"$work/speed.txt"
    done
done
# PNG and WebP copies against vipsthumbnail writing the same format, with
# the bytes of the last run's copies.
: >"$work/sizes.txt"
for tool in brimlow-png vips-png brimlow-webp vips-webp; do
    measure "$tool" "$work/out-$tool" bash -c 'shrink "$@"' _ "$tool" 75 "$dir" "$work/out-$tool" >>"$work/speed.txt"
    echo "$tool $(du -cb "$work/out-$tool" | tail -1 | cut -f1)" >>"$work/sizes.txt"
done

# Copies under a size limit against the same copies without one; the
# copies without one, and vipsthumbnail's, for peak memory at that size.
for tool in brimlow brimlow-limit vipsthumbnail; do
    measure "fhd-$tool" "$work/out-fhd-$tool" bash -c 'shrink "$@"' _ "$tool" 85 "$dir" "$work/out-fhd-$tool" 1920x1080 \
        >>"$work/speed.txt"
done
rm -rf "$work/out-fhd-brimlow-limit" && mkdir -p "$work/out-fhd-brimlow-limit"
"$cli/brimlow-cli" --max-size 250k -W 1920 -H 1080 -q 85 --no-keep-dates -a "" -o "$work/out-fhd-brimlow-limit" "$dir" |
    sed -n 's/^At most .*: \([0-9]*\) copies in \([0-9]*\) encodes\.$/encodes \1 \2/p' >"$work/limit.txt"
for f in "$work/out-fhd-brimlow"/*.jpg; do
    echo "copy $(stat -c %s "$f") $(stat -c %s "$work/out-fhd-brimlow-limit/$(basename "$f")")"
done >>"$work/limit.txt"

# Three profiles in one run, each source decoded once, against a run for
# each profile.
for tool in brimlow-profiles brimlow-separately; do
    measure "$tool" "$work/out-$tool" bash -c 'shrink "$@"' _ "$tool" 75 "$dir" "$work/out-$tool" >>"$work/speed.txt"
done

# Pictures that already fit the box: made once from the set.
fitting="$work/fitting"
if [ ! -d "$fitting" ]; then
    mkdir -p "$fitting.partial"
    for f in "$dir"/*.jpg; do /usr/bin/convert "$f" -resize 800x600 -quality 90 "$fitting.partial/$(basename "$f")"; done
    mv "$fitting.partial" "$fitting"
fi
for tool in brimlow-j1 vipsthumbnail; do
    measure "fitting-$tool" "$work/out-fitting-$tool" bash -c 'shrink "$@"' _ "$tool" 75 "$fitting" \
        "$work/out-fitting-$tool" >>"$work/speed.txt"
done

# The whole run within a budget: half the bytes the Web copies take.
rm -rf "$work/out-budget" && mkdir -p "$work/out-budget"
"$cli/brimlow-cli" --quiet -j 1 -p Web --no-keep-dates -o "$work/out-budget" "$dir" >/dev/null
half=$(($(du -cb "$work/out-budget"/* | tail -1 | cut -f1) / 2048))
rm -rf "$work/out-budget" && mkdir -p "$work/out-budget"
"$cli/brimlow-cli" -j 1 -p Web --total-size "${half}k" --no-keep-dates -o "$work/out-budget" "$dir" |
    sed -n 's/^Together .*: \([0-9]*\) copies in \([0-9]*\) encodes\.$/budget \1 \2/p' >"$work/budget.txt"
echo "filled $(du -cb "$work/out-budget"/* | tail -1 | cut -f1) $((half * 1024))" >>"$work/budget.txt"

# Graphics: logos and screenshots, made once from Debian's packages.
graphics="$work/graphics"
if [ ! -d "$graphics" ]; then
    rm -rf "$graphics.partial" && mkdir -p "$graphics.partial"/{logos,screens,unpacked}
    (cd "$graphics.partial" && for p in breeze-icon-theme desktop-base dolphin okular kate konsole gwenview; do
        apt-get download "$p" >/dev/null 2>&1 && dpkg -x "$p"_*.deb unpacked
    done)
    u="$graphics.partial/unpacked/usr/share"
    for f in $(ls "$u"/icons/breeze/apps/48/*.svg | awk 'NR % 16 == 1') "$u"/desktop-base/debian-logos/*.svg; do
        rsvg-convert -w 1600 -a "$f" -o "$graphics.partial/logos/$(basename "$(dirname "$f")")-$(basename "$f" .svg).png"
    done
    find "$u/doc/HTML" -name '*.png' | sort | while read -r f; do
        echo "$(/usr/bin/identify -format '%w' "$f") $(md5sum <"$f" | cut -c1-8) $f"
    done | awk '$1 >= 900 && !seen[$2]++ { print $3 }' | while read -r f; do
        cp "$f" "$graphics.partial/screens/$(echo "${f#"$u"/doc/HTML/}" | tr / -)"
    done
    rm -rf "$graphics.partial/unpacked" "$graphics.partial"/*.deb
    mv "$graphics.partial" "$graphics"
fi
for kind in logos screens; do
    src="$graphics/$kind"
    for tool in brimlow-png-j1 vips-png imagemagick-png brimlow-webp-j1 vips-webp; do
        measure "$kind-$tool" "$work/out-$kind-$tool" bash -c 'shrink "$@"' _ "$tool" 75 "$src" "$work/out-$kind-$tool" \
            >>"$work/speed.txt"
        echo "$kind-$tool $(du -cb "$work/out-$kind-$tool" | tail -1 | cut -f1)" >>"$work/sizes.txt"
    done
    for f in "$work/out-$kind-brimlow-webp-j1"/*.webp; do
        b=$(basename "$f" .webp)
        echo "$b.png $(webpinfo "$f" | sed -n 's/^ *Width: *//p' | head -1) $(webpinfo "$f" | sed -n 's/^ *Height: *//p' | head -1)"
    done >"$src.sizes"
    measure "$kind-cwebp" "$work/out-$kind-cwebp" bash -c 'shrink "$@"' _ cwebp 75 "$src" "$work/out-$kind-cwebp" \
        >>"$work/speed.txt"
    echo "$kind-cwebp $(du -cb "$work/out-$kind-cwebp" | tail -1 | cut -f1)" >>"$work/sizes.txt"
done

# The set as 16-bit TIFF, made once.
deep="$work/wallpapers-tiff16"
if [ ! -d "$deep" ]; then
    mkdir -p "$deep.partial"
    for f in "$dir"/*.jpg; do /usr/bin/convert "$f" -depth 16 -compress LZW "$deep.partial/$(basename "$f" .jpg).tif"; done
    mv "$deep.partial" "$deep"
fi
for tool in brimlow vipsthumbnail; do
    measure "tiff16-$tool" "$work/out-tiff16" bash -c 'shrink "$@"' _ "$tool" 75 "$deep" "$work/out-tiff16" \
        >>"$work/speed.txt"
    measure "tiff16-fhd-$tool" "$work/out-tiff16" bash -c 'shrink "$@"' _ "$tool" 85 "$deep" "$work/out-tiff16" \
        1920x1080 >>"$work/speed.txt"
done

# Tight limits: encodes a copy at 1920 x 1080 within 100 KB and 50 KB.
for kib in 100 50; do
    rm -rf "$work/out-tight" && mkdir -p "$work/out-tight"
    "$cli/brimlow-cli" --max-size "${kib}k" -W 1920 -H 1080 -q 85 --no-keep-dates -a "" -o "$work/out-tight" "$dir" |
        sed -n "s/^At most .*: \([0-9]*\) copies in \([0-9]*\) encodes\.\$/tight$kib \1 \2/p" >>"$work/limit.txt"
done

# The estimates against the copies: a varied set (the photos, some
# re-encoded at qualities 60 and 95, and as PNG, BMP, TGA, GIF, WebP and
# HEIC; graphics, text, a gradient, a checkerboard), three profiles.
set="$work/estimates"
if [ ! -d "$set" ]; then
    mkdir -p "$set.partial"
    cp "$dir"/*.jpg "$set.partial/"
    photos=("$dir"/*.jpg)
    for i in 0 4 8 12; do
        f="${photos[$i]}" b=$(basename "${photos[$i]}" .jpg)
        /usr/bin/convert "$f" -quality 60 "$set.partial/$b-q60.jpg"
        /usr/bin/convert "$f" -quality 95 "$set.partial/$b-q95.jpg"
    done
    for i in 1 5 9; do /usr/bin/convert "${photos[$i]}" -resize 50% "$set.partial/$(basename "${photos[$i]}" .jpg)-png.png"; done
    /usr/bin/convert "${photos[2]}" -resize 40% "BMP3:$set.partial/photo-bmp.bmp"
    /usr/bin/convert "${photos[3]}" -resize 40% "$set.partial/photo-gif.gif"
    /usr/bin/convert "${photos[6]}" -resize 30% "$set.partial/photo-tga.tga"
    cwebp -quiet -q 80 "${photos[7]}" -o "$set.partial/photo-webp.webp"
    heif-enc -q 70 "${photos[10]}" -o "$set.partial/photo-heic.heic" >/dev/null
    /usr/bin/convert -size 1600x1000 -seed 2 plasma: "$set.partial/plasma.png"
    /usr/bin/convert -size 1800x1100 xc:white -fill black -font DejaVu-Sans -pointsize 16 -annotate +20+30 \
        "$(head -c 4000 "$ROOT/app/readme-windows.txt" | tr -d '%@\\')" "$set.partial/text.png" 2>/dev/null
    /usr/bin/convert "$set.partial/text.png" "$set.partial/text-gif.gif"
    /usr/bin/convert -size 1500x900 gradient:navy-gold "$set.partial/gradient.png"
    /usr/bin/convert -size 1400x900 pattern:checkerboard -scale 400% "$set.partial/checker.png"
    mv "$set.partial" "$set"
fi
: >"$work/estimates.txt"
for profile in "1024 768 75" "640 480 60" "1920 1080 92"; do
    read -r w h q <<<"$profile"
    rm -rf "$work/out-estimates" && mkdir -p "$work/out-estimates"
    "$cli/brimlow-cli" --quiet -W "$w" -H "$h" -q "$q" --no-keep-dates -a "" -o "$work/out-estimates" "$set" \
        >/dev/null 2>&1 || true
    for mode in measured header; do
        flags=()
        [ "$mode" = header ] && flags=(--quick-estimates)
        # The table's last column is "~Nk": its middle, N + 0.5 KiB, against
        # the copy's bytes.
        "$cli/brimlow-cli" -n "${flags[@]}" -W "$w" -H "$h" -q "$q" "$set" 2>/dev/null | tail -n +2 |
            while read -r name rest; do
                copy="$work/out-estimates/${name%.*}.jpg"
                [ -f "$copy" ] || continue
                kib=$(echo "$rest" | sed -n 's/.*~\([0-9]*\)k *$/\1/p')
                echo "$mode $(((kib * 1024 + 512))) $(stat -c %s "$copy")"
            done >>"$work/estimates.txt"
    done
done

echo "== quality at quality 100 (the references take a while the first time)" >&2
zone="$work/zoneplate"
if [ ! -f "$zone/zoneplate.png" ]; then
    mkdir -p "$zone"
    /usr/bin/python3 "$ROOT/bench/quality.py" --zone-plate "$zone/zoneplate.png" 3000
fi
pairs=() zones=()
for tool in "${quality_tools[@]}"; do
    rm -rf "$work/q/$tool" "$work/zone/$tool" && mkdir -p "$work/q/$tool" "$work/zone/$tool"
    shrink "$tool" 100 "$dir" "$work/q/$tool" >/dev/null 2>&1
    shrink "$tool" 100 "$zone" "$work/zone/$tool" 768x768 >/dev/null 2>&1
    pairs+=("$work/q/$tool=$dir")
    zones+=("$work/zone/$tool=$zone")
done
/usr/bin/python3 "$ROOT/bench/quality.py" "$work/references" "${pairs[@]}" >"$work/quality.txt"
/usr/bin/python3 "$ROOT/bench/quality.py" "$work/references" "${zones[@]}" >"$work/zone.txt"

awk -v listing="$(sed -n 's/^listing \([^ ]*\).*/\1/p' "$work/listing.txt")" \
    -v measuredListing="$(sed -n 's/^measured-listing \([^ ]*\).*/\1/p' "$work/listing.txt")" '
    FILENAME ~ /speed/ { wall[$1] = $2; cpu[$1] = $3; mem[$1] = $4; next }
    FILENAME ~ /quality/ { psnr[$1] = $2; ssim[$1] = $3; next }
    FILENAME ~ /zone/ { zone[$1] = $2; next }
    FILENAME ~ /estimates/ { e = $2 / $3 - 1; err[$1, ++n[$1]] = e < 0 ? -e : e; next }
    FILENAME ~ /sizes/ { bytes[$1] = $2; next }
    FILENAME ~ /budget/ && $1 == "budget" { budgetCopies = $2; budgetEncodes = $3; next }
    FILENAME ~ /budget/ && $1 == "filled" { budgetUsed = $2; budgetBytes = $3; next }
    FILENAME ~ /limit/ && $1 == "encodes" { limited = $2; encodes = $3; next }
    FILENAME ~ /limit/ && $1 ~ /^tight/ { tight[substr($1, 6)] = $2 ? $3 / $2 : 99; next }
    FILENAME ~ /limit/ { over += $3 > 256000; if ($2 > 256000) room[++shrunk] = $3 / 256000; next }
    END {
        split("brimlow brimlow-j1 brimlow-bilinear vipsthumbnail imagemagick graphicsmagick", order, " ")
        v = "vipsthumbnail"
        printf "| %-16s | %7s | %7s | %8s | %7s | %7s | %7s | %9s | %6s | %9s |\n", "tool", "wall s", "cpu s", "peak MiB",
               "wall/vips", "cpu/vips", "mem/vips", "PSNR dB", "SSIM", "zone dB"
        printf "|%s|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n", "---", "---:", "---:", "---:", "---:", "---:", "---:", "---:", "---:",
               "---:"
        for (i = 1; i <= 6; ++i) {
            t = order[i]
            q = t == "brimlow-j1" ? "brimlow" : t
            printf "| %-16s | %7s | %7s | %8s | %7s | %7s | %7s | %9s | %6s | %9s |\n", t,
                   t in wall ? sprintf("%.2f", wall[t]) : "", t in cpu ? sprintf("%.2f", cpu[t]) : "",
                   t in mem ? sprintf("%.0f", mem[t] / 1024) : "",
                   t in wall ? sprintf("%.2f", wall[t] / wall[v]) : "", t in cpu ? sprintf("%.2f", cpu[t] / cpu[v]) : "",
                   t in mem ? sprintf("%.2f", mem[t] / mem[v]) : "",
                   (t != "brimlow-j1" && q in psnr) ? psnr[q] : "", (t != "brimlow-j1" && q in ssim) ? ssim[q] : "",
                   (t != "brimlow-j1" && q in zone) ? zone[q] : ""
        }
        printf "\nlisting the set (brimlow-cli -n --quick-estimates, as the window lists): %.2f s;", listing
        printf " measuring it for the estimates (brimlow-cli -n): %.2f s\n", measuredListing
        for (m = 1; m <= 2; ++m) {
            mode = m == 1 ? "measured" : "header"
            k = n[mode]
            for (i = 1; i <= k; ++i) sorted[i] = err[mode, i]
            for (i = 2; i <= k; ++i) for (j = i; j > 1 && sorted[j - 1] > sorted[j]; --j) {
                t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t
            }
            median[mode] = k ? sorted[int((k + 1) / 2)] : 0
            p90[mode] = k ? sorted[int(0.9 * k + 0.999)] : 0
            printf "\"Est Size\" %s (%d copies of %s): median error %.0f %%, 90th percentile %.0f %%\n",
                   m == 1 ? "after the measure" : "from the headers", k, "varied pictures at three profiles",
                   100 * median[mode], 100 * p90[mode]
        }
        printf "brimlow with every file carrying an Adobe RGB profile: %.2f s wall, %.2f s cpu (%+.1f %% cpu)\n\n",
               wall["brimlow-profiled"], cpu["brimlow-profiled"], 100 * (cpu["brimlow-profiled"] / cpu["brimlow"] - 1)
        split("heic tiff avif", sets, " ")
        for (i = 1; i <= 3; ++i) {
            k = sets[i]
            printf "the set as %s: brimlow %.2f s (%.2f x vipsthumbnail), --jobs 1 %.2f s (%.2f x), vipsthumbnail %.2f s\n",
                   toupper(k), wall[k "-brimlow"], wall[k "-brimlow"] / wall[k "-vipsthumbnail"], wall[k "-brimlow-j1"],
                   wall[k "-brimlow-j1"] / wall[k "-vipsthumbnail"], wall[k "-vipsthumbnail"]
        }
        printf "\n"
        for (f = 1; f <= 2; ++f) {
            k = f == 1 ? "png" : "webp"
            printf "%s copies: brimlow %.2f s, %.1f MB; vipsthumbnail %.2f s, %.1f MB (%.2f x its time)\n",
                   k == "png" ? "PNG" : "WebP", wall["brimlow-" k], bytes["brimlow-" k] / 1e6, wall["vips-" k],
                   bytes["vips-" k] / 1e6, wall["brimlow-" k] / wall["vips-" k]
        }
        for (i = 2; i <= shrunk; ++i) for (j = i; j > 1 && room[j - 1] > room[j]; --j) {
            t = room[j]; room[j] = room[j - 1]; room[j - 1] = t
        }
        roomMedian = shrunk ? room[int((shrunk + 1) / 2)] : 1
        printf "\nat most 250 KB at 1920 x 1080, quality 85: %.2f s against %.2f s without (%.2f x); %.2f encodes a copy;",
               wall["fhd-brimlow-limit"], wall["fhd-brimlow"], wall["fhd-brimlow-limit"] / wall["fhd-brimlow"],
               limited ? encodes / limited : 0
        printf " the %d copies that had to shrink use %.0f %% of the limit in the median; %d over it\n", shrunk,
               100 * roomMedian, over
        printf "three profiles in one run (--jobs 1): %.2f s against %.2f s in three runs (%.2f x)\n",
               wall["brimlow-profiles"], wall["brimlow-separately"],
               wall["brimlow-profiles"] / wall["brimlow-separately"]
        printf "already fitting (800 x 600 in 1024 x 768): brimlow --jobs 1 %.2f s cpu, vipsthumbnail %.2f s (%.2f x)\n",
               cpu["fitting-brimlow-j1"], cpu["fitting-vipsthumbnail"],
               cpu["fitting-brimlow-j1"] / cpu["fitting-vipsthumbnail"]
        printf "the set within %.0f KB together (half the Web copies): %.1f %% of it, %.2f encodes a copy\n",
               budgetBytes / 1024, budgetBytes ? 100 * budgetUsed / budgetBytes : 0,
               budgetCopies ? budgetEncodes / budgetCopies : 0
        printf "at most 100 KB at 1920 x 1080: %.2f encodes a copy; at most 50 KB: %.2f\n", tight[100], tight[50]
        printf "the set as 16-bit TIFF: brimlow %.2f s cpu, %.0f MiB peak; vipsthumbnail %.2f s cpu, %.0f MiB (%.2f x its cpu, %.2f x its memory)\n",
               cpu["tiff16-brimlow"], mem["tiff16-brimlow"] / 1024, cpu["tiff16-vipsthumbnail"],
               mem["tiff16-vipsthumbnail"] / 1024, cpu["tiff16-brimlow"] / cpu["tiff16-vipsthumbnail"],
               mem["tiff16-brimlow"] / mem["tiff16-vipsthumbnail"]
        printf "peak memory at 1920 x 1080: the set %.0f MiB against vipsthumbnail %.0f (%.2f x); as 16-bit TIFF %.0f MiB against %.0f (%.2f x)\n",
               mem["fhd-brimlow"] / 1024, mem["fhd-vipsthumbnail"] / 1024, mem["fhd-brimlow"] / mem["fhd-vipsthumbnail"],
               mem["tiff16-fhd-brimlow"] / 1024, mem["tiff16-fhd-vipsthumbnail"] / 1024,
               mem["tiff16-fhd-brimlow"] / mem["tiff16-fhd-vipsthumbnail"]
        for (g = 1; g <= 2; ++g) {
            k = g == 1 ? "logos" : "screens"
            printf "%s to PNG (cpu s, KB): brimlow --jobs 1 %.2f, %.0f; vipsthumbnail %.2f, %.0f; ImageMagick %.2f, %.0f (%.2f x vipsthumbnail cpu, %.2f x ImageMagick bytes)\n",
                   k, cpu[k "-brimlow-png-j1"], bytes[k "-brimlow-png-j1"] / 1024, cpu[k "-vips-png"],
                   bytes[k "-vips-png"] / 1024, cpu[k "-imagemagick-png"], bytes[k "-imagemagick-png"] / 1024,
                   cpu[k "-brimlow-png-j1"] / cpu[k "-vips-png"], bytes[k "-brimlow-png-j1"] / bytes[k "-imagemagick-png"]
            printf "%s to WebP (cpu s, KB): brimlow --jobs 1 %.2f, %.0f; cwebp %.2f, %.0f; vipsthumbnail %.2f, %.0f (%.2f x cwebp cpu)\n",
                   k, cpu[k "-brimlow-webp-j1"], bytes[k "-brimlow-webp-j1"] / 1024, cpu[k "-cwebp"],
                   bytes[k "-cwebp"] / 1024, cpu[k "-vips-webp"], bytes[k "-vips-webp"] / 1024,
                   cpu[k "-brimlow-webp-j1"] / cpu[k "-cwebp"]
        }
        printf "\ntargets:\n"
        check("mean PSNR >= vipsthumbnail - 0.5 dB", psnr["brimlow"], psnr[v] - 0.5, 1)
        check("zone plate >= 40 dB", zone["brimlow"], 40, 1)
        check("wall (default jobs) <= 0.5 x vipsthumbnail", wall["brimlow"], 0.5 * wall[v], 0)
        check("wall (default jobs) <= 0.2 x ImageMagick", wall["brimlow"], 0.2 * wall["imagemagick"], 0)
        check("wall (--jobs 1) <= 0.85 x vipsthumbnail", wall["brimlow-j1"], 0.85 * wall[v], 0)
        check("listing < 0.1 s", listing, 0.1, 0)
        check("estimate median error <= 15 %", 100 * median["measured"], 15, 0)
        check("estimate 90th percentile error <= 35 %", 100 * p90["measured"], 35, 0)
        check("peak memory <= 1.5 x vipsthumbnail", mem["brimlow"], 1.5 * mem[v], 0)
        check("colour conversion <= 10 % more cpu", cpu["brimlow-profiled"], 1.1 * cpu["brimlow"], 0)
        check("PNG copies <= 0.6 x vipsthumbnail time", wall["brimlow-png"], 0.6 * wall["vips-png"], 0)
        check("PNG copies no larger than vipsthumbnail ones", bytes["brimlow-png"], bytes["vips-png"], 0)
        check("WebP copies <= 0.6 x vipsthumbnail time", wall["brimlow-webp"], 0.6 * wall["vips-webp"], 0)
        check("size limit: encodes a copy <= 2.0", limited ? encodes / limited : 99, 2.0, 0)
        check("size limit: time <= 1.6 x without", wall["fhd-brimlow-limit"], 1.6 * wall["fhd-brimlow"], 0)
        check("size limit: median room used >= 85 %", 100 * roomMedian, 85, 1)
        check("size limit: copies over it", over, 0, 0)
        check("three profiles: one run <= 0.5 x three runs", wall["brimlow-profiles"],
              0.5 * wall["brimlow-separately"], 0)
        check("already fitting: cpu <= 0.8 x vipsthumbnail", cpu["fitting-brimlow-j1"],
              0.8 * cpu["fitting-vipsthumbnail"], 0)
        check("budget: the copies fill >= 90 %", budgetBytes ? 100 * budgetUsed / budgetBytes : 0, 90, 1)
        check("budget: the copies fill <= 100 %", budgetBytes ? 100 * budgetUsed / budgetBytes : 999, 100, 0)
        check("budget: encodes a copy <= 1.5", budgetCopies ? budgetEncodes / budgetCopies : 99, 1.5, 0)
        check("100 KB limit: encodes a copy <= 2.0", tight[100], 2.0, 0)
        check("50 KB limit: encodes a copy <= 2.0", tight[50], 2.0, 0)
        check("16-bit TIFF: cpu <= 0.8 x vipsthumbnail", cpu["tiff16-brimlow"], 0.8 * cpu["tiff16-vipsthumbnail"], 0)
        check("16-bit TIFF: peak <= 1.5 x vipsthumbnail", mem["tiff16-brimlow"], 1.5 * mem["tiff16-vipsthumbnail"], 0)
        check("1920 x 1080: peak <= 1.5 x vipsthumbnail", mem["fhd-brimlow"], 1.5 * mem["fhd-vipsthumbnail"], 0)
        check("16-bit TIFF at 1920 x 1080: peak <= 1.5 x vips", mem["tiff16-fhd-brimlow"],
              1.5 * mem["tiff16-fhd-vipsthumbnail"], 0)
        for (g = 1; g <= 2; ++g) {
            k = g == 1 ? "logos" : "screens"
            check(k " PNG: cpu <= 0.8 x vipsthumbnail", cpu[k "-brimlow-png-j1"], 0.8 * cpu[k "-vips-png"], 0)
            check(k " WebP: cpu <= 0.8 x cwebp", cpu[k "-brimlow-webp-j1"], 0.8 * cpu[k "-cwebp"], 0)
        }
        check("logos PNG: bytes <= 1.05 x ImageMagick", bytes["logos-brimlow-png-j1"],
              1.05 * bytes["logos-imagemagick-png"], 0)
    }
    function check(text, value, bound, atLeast) {
        ok = atLeast ? value >= bound : value <= bound
        printf "  %-46s %10.2f against %10.2f  %s\n", text, value, bound, ok ? "met" : "MISSED"
    }' "$work/speed.txt" "$work/quality.txt" "$work/zone.txt" "$work/estimates.txt" "$work/sizes.txt" \
        "$work/limit.txt" "$work/budget.txt"
