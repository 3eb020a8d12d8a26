# Shared by the two top-level scripts: package installation and builds.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

PACKAGES=(cmake g++ make pkg-config libjpeg62-turbo-dev zlib1g-dev liblcms2-dev libwebp-dev googletest libgtest-dev
          libbenchmark-dev
          wine64 xvfb xauth imagemagick libjpeg-turbo-progs liblcms2-utils libimage-exiftool-perl
          icc-profiles-free colord-data ghostscript webp
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 libz-mingw-w64-dev nasm dpkg-dev)

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

# Stops the script with one line naming what is missing or failed.
fail() {
    echo "error: $*" >&2
    exit 1
}

# Fetches and unpacks Debian's source package PACKAGE=VERSION into
# build/deps/src and prints its folder. Through a source list and apt state
# of its own under build/deps, so the machine's apt configuration is left
# alone; the list has the suites and mirrors of the machine's own deb822
# sources (main, updates and security: only with all three do the sources
# match the patched binary packages).
fetch_debian_source() {
    local package="$1" version="$2"
    local deps="$ROOT/build/deps"
    mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" "$deps/apt/parts" "$deps/src"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$deps/apt/parts/debian.sources"
    else
        echo "deb-src http://deb.debian.org/debian $(. /etc/os-release && echo "$VERSION_CODENAME") main" \
            >"$deps/apt/parts/debian.list"
    fi
    local apt=(apt-get -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$deps/apt/parts"
               -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache" -o "APT::Sandbox::User=root")
    echo "== fetching $package $version from Debian's sources" >&2
    "${apt[@]}" update >"$deps/apt-$package.log" 2>&1 || fail "apt-get update of the Debian source list failed (see $deps/apt-$package.log)"
    rm -rf "$deps/src/$package"
    mkdir -p "$deps/src/$package"
    (cd "$deps/src/$package" && "${apt[@]}" source "$package=$version") >>"$deps/apt-$package.log" 2>&1 ||
        fail "apt-get source $package=$version failed (see $deps/apt-$package.log)"
    local source
    source=$(find "$deps/src/$package" -mindepth 1 -maxdepth 1 -type d | head -1)
    [ -n "$source" ] || fail "the $package source package did not unpack (see $deps/apt-$package.log)"
    echo "$source"
}

# build_mingw_cmake_package PACKAGE DEV-PACKAGE PREFIX [cmake options...]:
# Debian's source package PACKAGE, of the version the installed DEV-PACKAGE
# was built from, configured with CMake and the mingw-w64 toolchain, built
# and installed into PREFIX, which appears only when complete.
build_mingw_cmake_package() {
    local package="$1" dev="$2" prefix="$3"
    shift 3
    local deps="$ROOT/build/deps"
    local source
    source=$(fetch_debian_source "$package" "$(source_version_of "$dev")")
    rm -rf "$deps/$package-build" "$prefix" "$prefix.partial"
    echo "== building $package for 64-bit Windows"
    { cmake -S "$source" -B "$deps/$package-build" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
          -DCMAKE_INSTALL_PREFIX="$prefix.partial" -DCMAKE_BUILD_TYPE=Release "$@" &&
        cmake --build "$deps/$package-build" -j"$JOBS" && cmake --install "$deps/$package-build"; } \
        >"$deps/$package.log" 2>&1 || fail "building $package with mingw-w64 failed (see $deps/$package.log)"
    mv "$prefix.partial" "$prefix"
}

# The version of Debian's source package behind an installed -dev package.
source_version_of() {
    dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null ||
        fail "$1 is not installed, so the version of its sources to build is unknown"
}

# libjpeg-turbo for the PE flavour, built with the mingw-w64 toolchain from
# Debian's own source package of the version the native build uses; built
# once, into build/deps/mingw, and rebuilt only when that is missing.
build_mingw_jpeg() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw"
    [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ] && return 0
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || fail "the mingw-w64 cross compiler (g++-mingw-w64-x86-64) is missing"
    command -v nasm >/dev/null || fail "nasm, which libjpeg-turbo's SIMD code needs, is missing"
    build_mingw_cmake_package libjpeg-turbo libjpeg62-turbo-dev "$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON
}

# Little CMS for the PE flavour, the same way: a static liblcms2.a (MIT)
# from Debian's source package of the native liblcms2-dev's version, in
# build/deps/mingw-lcms2.
build_mingw_lcms2() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw-lcms2"
    [ -f "$prefix/lib/liblcms2.a" ] && [ -f "$prefix/include/lcms2.h" ] && return 0
    local source
    source=$(fetch_debian_source lcms2 "$(source_version_of liblcms2-dev)")
    rm -rf "$prefix" "$prefix.partial"
    echo "== building Little CMS for 64-bit Windows"
    (cd "$source" && ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --enable-static \
        --disable-shared --prefix="$prefix.partial" && make -j"$JOBS" && make install) >"$deps/lcms2.log" 2>&1 ||
        fail "building Little CMS with mingw-w64 failed (see $deps/lcms2.log)"
    mv "$prefix.partial" "$prefix"
}

# libwebp and its demuxer (BSD) for the PE flavour, static, the same way,
# in build/deps/mingw-webp; the tools and encoders are left out.
build_mingw_webp() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw-webp"
    [ -f "$prefix/lib/libwebp.a" ] && [ -f "$prefix/lib/libwebpdemux.a" ] && return 0
    local off=()
    for tool in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO WEBPMUX EXTRAS; do off+=("-DWEBP_BUILD_$tool=OFF"); done
    build_mingw_cmake_package libwebp libwebp-dev "$prefix" -DBUILD_SHARED_LIBS=OFF "${off[@]}"
}

# The Win32 flavour as PE executables for 64-bit Windows in build/pe:
# brimlow.exe, brimlow-cli.exe and the Win32 test programs.
build_pe() {
    mkdir -p "$ROOT/build"
    build_mingw_jpeg
    build_mingw_lcms2
    build_mingw_webp
    local deps="$ROOT/build/deps"
    configure_and_build pe -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
        -DBRIMLOW_MINGW_PREFIX="$deps/mingw;$deps/mingw-lcms2;$deps/mingw-webp" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
