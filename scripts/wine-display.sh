#!/bin/sh
# Runs a Win32 program of the build under Wine on a fresh virtual display,
# 1280 x 1024 unless BRIMLOW_SCREEN says another size ("2560x2048"):
#   scripts/wine-display.sh ./program.exe [arguments]
# Expects WINEPREFIX and WINELOADER in the environment.
set -e
# A Wine server still running from a program without a display would serve
# this one's windows without it: end it first.
/usr/lib/wine/wineserver64 -k 2>/dev/null || true
/usr/lib/wine/wineserver64 -w 2>/dev/null || true
# Wine leaves window frames to a window manager and, without one, waits two
# seconds for it on every hidden or destroyed window; here Wine draws the
# frames itself.
exec xvfb-run -a -s "-screen 0 ${BRIMLOW_SCREEN:-1280x1024}x24" sh -c '
    "$WINELOADER" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
    exec "$WINELOADER" "$@"' wine-display "$@"
