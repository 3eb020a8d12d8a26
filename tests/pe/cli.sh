#!/bin/sh
# cli.sh BRIMLOW-CLI.EXE APP-FOLDER: brimlow-cli.exe as a Windows user runs
# it, under Wine: a copy with the shipped settings in a folder of its own
# resizes the bundled samples; every one gets its copy and the exit status
# is 0. The folder is removed when the run passes.
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/brimlow-pe-XXXXXX")
cp "$1" "$2/config.xml" "$2/profiles.xml" "$work/"
mkdir "$work/samples" "$work/out"
cp "$2"/samples/*.jpg "$2"/samples/*.bmp "$2"/samples/*.gif "$2"/samples/*.tga "$work/samples/"
cd "$work"
/usr/lib/wine/wine64 ./brimlow-cli.exe --quiet -W 100 -H 100 -o out samples
sources=$(ls samples | wc -l)
copies=$(ls out | grep -c '_resized\.jpg$' || true)
if [ "$sources" -ne "$copies" ]; then
    echo "brimlow-cli.exe made $copies copies of $sources samples (kept in $work)"
    exit 1
fi
/usr/lib/wine/wine64 ./brimlow-cli.exe --filter sharp samples >/dev/null 2>&1 && status=0 || status=$?
if [ "$status" -ne 2 ]; then
    echo "a wrong option ended with $status, not 2 (kept in $work)"
    exit 1
fi
cd /
rm -rf "$work"
echo "brimlow-cli.exe resized $copies samples under Wine"
