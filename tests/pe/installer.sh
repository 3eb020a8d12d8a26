#!/usr/bin/env bash
# installer.sh SETUP FORMATS-PROGRAM: installs SETUP silently under wine64 in
# a prefix of its own and checks what a user relies on: every file of the
# package in the user's programs folder, the Start menu and "Send to"
# shortcuts, the right-click menu on every extension FORMATS-PROGRAM
# --formats prints, the uninstall key; the installed brimlow-cli.exe resizes
# a photo, and the menu's first profile entry, started for three photos at
# once as Explorer starts it, resizes them in one run and leaves no window
# open; installing
# again keeps a changed config.xml and the statistics; the silent uninstall
# leaves none of it behind.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
setup="$1" formats="$2"
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
use_wine "$work/prefix"
fail() { echo "installer: $*" >&2; exit 1; }
run() { wine64 "$@" >/dev/null 2>&1 && wineserver -w; }
key() { wine64 reg query "$1" "${@:2}" 2>/dev/null | tr -d '\r'; }

run "$setup" /S || fail "the silent install failed"
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimlow'
location=$(key "$uninstall" /v InstallLocation | sed -n 's/.*REG_SZ *//p')
[ -n "$location" ] || fail "no uninstall key with the install location"
dir=$(wine64 winepath -u "$location" 2>/dev/null | tr -d '\r')
case "$location" in *'\AppData\Local\Programs\Brimlow') ;; *) fail "installed into $location" ;; esac
for f in brimlow.exe brimlow-cli.exe libheif.dll libde265.dll config.xml profiles.xml license.txt README.txt \
         licenses/libheif.txt licenses/libde265.txt uninstall.exe; do
    [ -f "$dir/$f" ] || fail "$f is missing from $dir"
done
for v in DisplayName DisplayVersion EstimatedSize DisplayIcon UninstallString; do
    key "$uninstall" /v "$v" | grep -q "$v" || fail "the uninstall key lacks $v"
done
appdata=$(wine64 winepath -u 'C:\users' 2>/dev/null | tr -d '\r')/$(whoami)/AppData/Roaming/Microsoft/Windows
shortcuts=("$appdata/Start Menu/Programs/Brimlow.lnk" "$appdata/SendTo/Brimlow (resize pictures).lnk")
for s in "${shortcuts[@]}"; do [ -f "$s" ] || fail "no shortcut $s"; done
extensions=$("$formats" --formats)
for ext in $extensions; do
    key "HKCU\\Software\\Classes\\SystemFileAssociations\\$ext\\shell\\Brimlow" /v ExtendedSubCommandsKey |
        grep -q 'REG_SZ *Brimlow.Resize$' || fail "no right-click menu for $ext"
done
menu='HKCU\Software\Classes\Brimlow.Resize\shell'
for entry in 'p001:E-mail' 'p002:Web' 'zopen:Open in Brimlow...'; do
    key "$menu\\${entry%%:*}" /v MUIVerb | grep -q "REG_SZ *${entry#*:}$" || fail "the menu lacks ${entry#*:}"
done
key "$menu\\zopen\\command" | grep -q 'brimlow.exe" "%1"$' || fail "Open in Brimlow... does not open the window"

/usr/bin/convert -size 640x480 -seed 4 plasma: "$work/photo.jpg"
run "$dir/brimlow-cli.exe" -W 320 -H 240 -o "$(wine64 winepath -w "$work/out" 2>/dev/null | tr -d '\r')" \
    "$(wine64 winepath -w "$work/photo.jpg" 2>/dev/null | tr -d '\r')" || fail "the installed brimlow-cli failed"
[ "$(/usr/bin/identify -format '%wx%h' "$work/out/photo_resized.jpg")" = 320x240 ] || fail "no 320x240 copy"

# The first entry's command, as Explorer runs it once per selected file.
command=$(key "$menu\\p001\\command" | sed -n 's/.*REG_SZ *//p')
[ -n "$command" ] || fail "the menu's first entry has no command"
mkdir "$work/pick"
{
    for n in 1 2 3; do
        /usr/bin/convert -size 1600x1200 -seed $n plasma: "$work/pick/photo$n.jpg"
        photo=$(wine64 winepath -w "$work/pick/photo$n.jpg" 2>/dev/null | tr -d '\r')
        echo "start \"\" ${command//%1/"$photo"} -debug"
    done
} >"$work/pick.bat"
# Its run opens windows, if hidden ones: on a display of its own, with a
# Wine server started there.
bat=$(wine64 winepath -w "$work/pick.bat" 2>/dev/null | tr -d '\r')
wineserver -k 2>/dev/null || true
wineserver -w
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'wine64 cmd /c "$1" >/dev/null 2>&1; timeout 120 wineserver -w' pick \
    "$bat" || fail "a window of the menu's run stayed open"
for n in 1 2 3; do
    [ "$(/usr/bin/identify -format '%wx%h' "$work/pick/photo${n}_resized.jpg" 2>/dev/null)" = 800x600 ] ||
        fail "the menu's E-mail entry made no 800x600 copy of photo$n"
done
grep -q 'Profile run with "E-mail": 3 paths' "$dir/debug.log" || fail "three starts were not one run: $(cat "$dir/debug.log")"

echo "<!-- the user's -->" >>"$dir/config.xml"
echo "<stats/>" >"$dir/stats.xml"
echo "<Configuration><ProfileList/></Configuration>" >"$dir/user-profiles.xml"
cp "$dir/config.xml" "$dir/stats.xml" "$dir/user-profiles.xml" "$work/"
run "$setup" /S || fail "installing over the first install failed"
for f in config.xml stats.xml user-profiles.xml; do
    cmp -s "$dir/$f" "$work/$f" || fail "the upgrade replaced $f"
done

run "$dir/uninstall.exe" /S || fail "the silent uninstall failed"
[ ! -e "$dir" ] || fail "the uninstall left $dir: $(ls "$dir")"
for s in "${shortcuts[@]}"; do [ ! -e "$s" ] || fail "the uninstall left $s"; done
key "$uninstall" >/dev/null && fail "the uninstall left its key"
for ext in $extensions; do
    key "HKCU\\Software\\Classes\\SystemFileAssociations\\$ext" >/dev/null && fail "the uninstall left the key of $ext"
done
echo "installer: install, upgrade and removal as expected"
