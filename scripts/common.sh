# Shared by the two top-level scripts: package installation and builds.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

PACKAGES=(cmake g++ make libjpeg62-turbo-dev zlib1g-dev googletest libgtest-dev libbenchmark-dev
          wine64 wine64-tools xvfb xauth imagemagick libjpeg-turbo-progs)

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
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
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

build_win32() {
    mkdir -p "$ROOT/build"
    CC=/usr/lib/wine/winegcc CXX=/usr/lib/wine/wineg++ configure_and_build win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
