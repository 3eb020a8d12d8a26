# Shared by the two top-level scripts: package installation and builds.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

PACKAGES=(cmake g++ make pkg-config libjpeg62-turbo-dev zlib1g-dev liblcms2-dev libwebp-dev libpng-dev libtiff-dev libheif-dev libde265-dev libdav1d-dev googletest libgtest-dev
          libbenchmark-dev clang-format git
          wine64 xvfb xauth imagemagick libjpeg-turbo-progs liblcms2-utils libimage-exiftool-perl
          icc-profiles-free colord-data ghostscript webp libheif-examples time
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 libz-mingw-w64-dev nasm dpkg-dev meson ninja-build)

# use_wine PREFIX: the environment the scripts run Windows programs in:
# Wine's 64-bit loader and tools first on the PATH, the prefix PREFIX (made
# on first use), no debug channels, no .NET or Gecko installer prompts, and
# no menu entries copied to the host (winemenubuilder off). The tests that
# CMake runs use the same (BRIMLOW_WINE_ENV in cmake/Flavour.cmake).
use_wine() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=" \
           WINELOADER=/usr/lib/wine/wine64 PATH="/usr/lib/wine:$PATH"
}

# Installs every Debian package above that is missing (apt-get, through sudo
# when not root).
ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# report_skipped BUILD_DIR: names every test the suites of a build skipped,
# with the reason they gave, and counts them.
report_skipped() {
    local results="$1/results"
    [ -d "$results" ] || return 0
    local lines
    lines=$(sed -n 's/.*<testcase name="\([^"]*\)".*result="skipped".*classname="\([^"]*\)".*/\2.\1/p' \
        "$results"/*.xml 2>/dev/null | sort -u)
    if [ -z "$lines" ]; then
        echo "skipped: 0 tests"
        return 0
    fi
    echo "skipped: $(echo "$lines" | wc -l) tests (their reasons are in $results):"
    echo "$lines" | sed 's/^/  /'
}

# configure_and_build DIR [cmake arguments...]
configure_and_build() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$ROOT/build/$dir" "$@" >"$ROOT/build/$dir.configure.log" 2>&1 ||
        { cat "$ROOT/build/$dir.configure.log"; return 1; }
    cmake --build "$ROOT/build/$dir" -j"$JOBS"
}

build_native() {
    mkdir -p "$ROOT/build"
    configure_and_build native -DCMAKE_BUILD_TYPE=RelWithDebInfo
}

build_sanitized() {
    mkdir -p "$ROOT/build"
    configure_and_build sanitize -DCMAKE_BUILD_TYPE=Debug -DBRIMLOW_SANITIZE=ON
}

# Stops the script with one line naming what is missing or failed.
fail() {
    echo "error: $*" >&2
    exit 1
}

# The Windows flavour's libraries, built once a machine (scripts/deps.sh).
source "$ROOT/scripts/deps.sh"
