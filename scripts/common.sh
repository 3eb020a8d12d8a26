# Shared by the two top-level scripts: package installation and builds.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-2}"

PACKAGES=(cmake g++ make pkg-config libjpeg62-turbo-dev zlib1g-dev liblcms2-dev libwebp-dev libpng-dev libtiff-dev libheif-dev libde265-dev libdav1d-dev googletest libgtest-dev
          libbenchmark-dev
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

# Fetches and unpacks Debian's source package PACKAGE=VERSION into
# build/deps/src and prints its folder. Through a source list and apt state
# of its own under build/deps, so the machine's apt configuration is left
# alone; the list has the suites and mirrors of the machine's own deb822
# sources (main, updates and security: only with all three do the sources
# match the patched binary packages).
# apt-get or apt-cache (TOOL) on the private source lists in build/deps/apt,
# never the system's: private_apt TOOL ARGS...
private_apt() {
    local tool="$1" deps="$ROOT/build/deps"
    shift
    "$tool" -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$deps/apt/parts" \
        -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache" -o "APT::Sandbox::User=root" "$@"
}

# Sets up the private source lists (this release's and the next one's
# deb-src entries, in build/deps/apt) and brings them up to date; the log
# goes to FILE.
source_lists_ready() {
    local deps="$ROOT/build/deps"
    mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" "$deps/apt/parts" "$deps/src"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$deps/apt/parts/debian.sources"
    else
        echo "deb-src http://deb.debian.org/debian $(. /etc/os-release && echo "$VERSION_CODENAME") main" \
            >"$deps/apt/parts/debian.list"
    fi
    # The next stable release's sources too: some libraries that parse
    # strangers' files carry security fixes there that this release's mirror
    # does not serve (see newest_source_version).
    echo "deb-src http://deb.debian.org/debian trixie main" >"$deps/apt/parts/next.list"
    private_apt apt-get update >"$1" 2>&1 || fail "apt-get update of the Debian source list failed (see $1)"
}

fetch_debian_source() {
    local package="$1" version="$2"
    local deps="$ROOT/build/deps"
    echo "== fetching $package $version from Debian's sources" >&2
    source_lists_ready "$deps/apt-$package.log"
    # A mirror may list an update's sources without carrying them (seen with
    # the security suite): the newest version of the same upstream release
    # that can be fetched is built then, with a warning naming what it lacks.
    local candidates
    candidates=$(private_apt apt-cache showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' |
        grep -F "${version%-*}-" | sort -V -r | grep -vxF "$version")
    local fetched=""
    for candidate in "$version" $candidates; do
        rm -rf "$deps/src/$package"
        mkdir -p "$deps/src/$package"
        if (cd "$deps/src/$package" && private_apt apt-get source "$package=$candidate") >>"$deps/apt-$package.log" 2>&1; then
            fetched="$candidate"
            break
        fi
    done
    [ -n "$fetched" ] || fail "apt-get source $package=$version failed (see $deps/apt-$package.log)"
    if [ "$fetched" != "$version" ]; then
        local lacking="without the later Debian updates"
        dpkg --compare-versions "$fetched" gt "$version" && lacking="a later Debian update than the native build's"
        echo "== warning: the sources of $package $version cannot be fetched from this machine's mirror;" \
            "building $fetched, $lacking" >&2
    fi
    local source
    source=$(find "$deps/src/$package" -mindepth 1 -maxdepth 1 -type d | head -1)
    [ -n "$source" ] || fail "the $package source package did not unpack (see $deps/apt-$package.log)"
    echo "$source"
}

# build_mingw_cmake_package PACKAGE DEV-PACKAGE PREFIX [cmake options...]:
# Debian's source package PACKAGE, of the version the installed DEV-PACKAGE
# was built from (or DEBIAN_VERSION when set), configured with CMake and the
# mingw-w64 toolchain, built
# and installed into PREFIX, which appears only when complete.
build_mingw_cmake_package() {
    local package="$1" dev="$2" prefix="$3"
    shift 3
    local deps="$ROOT/build/deps"
    local source
    source=$(fetch_debian_source "$package" "${DEBIAN_VERSION:-$(source_version_of "$dev")}")
    rm -rf "$deps/$package-build" "$prefix" "$prefix.partial"
    echo "== building $package for 64-bit Windows"
    { cmake -S "$source" -B "$deps/$package-build" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
          -DCMAKE_INSTALL_PREFIX="$prefix.partial" -DCMAKE_BUILD_TYPE=Release "$@" &&
        cmake --build "$deps/$package-build" -j"$JOBS" && cmake --install "$deps/$package-build"; } \
        >"$deps/$package.log" 2>&1 || fail "building $package with mingw-w64 failed (see $deps/$package.log)"
    keep_licence "$package" "$source" "$prefix.partial"
    mv "$prefix.partial" "$prefix"
}

# keep_licence PACKAGE SOURCE PREFIX: the text that must travel with a build
# of a Debian source package, in PREFIX/share/licenses/PACKAGE.txt: which
# source it was, Debian's copyright file and the licence's own text when the
# source carries one.
keep_licence() {
    local package="$1" source="$2" prefix="$3"
    mkdir -p "$prefix/share/licenses"
    {
        echo "Built from Debian's source package $package $(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)."
        echo
        cat "$source/debian/copyright"
        for text in COPYING LICENSE; do
            [ -f "$source/$text" ] || continue
            echo
            cat "$source/$text"
            break
        done
    } >"$prefix/share/licenses/$package.txt"
}

# The newest version of a Debian source package the private source lists
# (this release's and the next one's) name: for libraries whose fixes only
# the next release's sources carry.
newest_source_version() {
    local deps="$ROOT/build/deps"
    source_lists_ready "$deps/apt-newest-$1.log"
    private_apt apt-cache showsrc "$1" 2>/dev/null |
        sed -n 's/^Version: //p' | sort -V | tail -1
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
    [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ] &&
        [ -f "$prefix/share/licenses/libjpeg-turbo.txt" ] && return 0
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
    [ -f "$prefix/lib/liblcms2.a" ] && [ -f "$prefix/include/lcms2.h" ] &&
        [ -f "$prefix/share/licenses/lcms2.txt" ] && return 0
    local source
    source=$(fetch_debian_source lcms2 "$(source_version_of liblcms2-dev)")
    rm -rf "$prefix" "$prefix.partial"
    echo "== building Little CMS for 64-bit Windows"
    (cd "$source" && ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --enable-static \
        --disable-shared --prefix="$prefix.partial" && make -j"$JOBS" && make install) >"$deps/lcms2.log" 2>&1 ||
        fail "building Little CMS with mingw-w64 failed (see $deps/lcms2.log)"
    keep_licence lcms2 "$source" "$prefix.partial"
    mv "$prefix.partial" "$prefix"
}

# libpng for the PE flavour, static, the same way, in build/deps/mingw-png,
# over the zlib of libz-mingw-w64-dev; its tools and tests are left out.
build_mingw_png() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw-png"
    [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/share/licenses/libpng1.6.txt" ] && return 0
    build_mingw_cmake_package libpng1.6 libpng-dev "$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF
}

# libwebp with its demuxer and muxer (BSD) for the PE flavour, static, the
# same way, in build/deps/mingw-webp; the tools are left out.
build_mingw_webp() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw-webp"
    [ -f "$prefix/lib/libwebp.a" ] && [ -f "$prefix/lib/libwebpdemux.a" ] &&
        [ -f "$prefix/share/licenses/libwebp.txt" ] && return 0
    local off=()
    for tool in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO WEBPMUX EXTRAS; do off+=("-DWEBP_BUILD_$tool=OFF"); done
    build_mingw_cmake_package libwebp libwebp-dev "$prefix" -DBUILD_SHARED_LIBS=OFF "${off[@]}"
}

# libtiff for the PE flavour, static, the same way, in build/deps/mingw-tiff,
# over the zlib of libz-mingw-w64-dev and the libjpeg-turbo built above;
# the codecs of other libraries (JBIG, LERC, LZMA, ZSTD, WebP) and the
# tools are left out.
build_mingw_tiff() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw-tiff"
    [ -f "$prefix/lib/libtiff.a" ] && [ -f "$prefix/share/licenses/tiff.txt" ] && return 0
    local off=()
    for option in tiff-tools tiff-tests tiff-contrib tiff-docs cxx jbig lerc lzma zstd webp libdeflate; do
        off+=("-D$option=OFF")
    done
    # libtiff parses strangers' files: the newest Debian source there is.
    DEBIAN_VERSION="$(newest_source_version tiff)" build_mingw_cmake_package tiff libtiff-dev "$prefix" \
        -DBUILD_SHARED_LIBS=OFF "${off[@]}" -Djpeg=ON -Dzlib=ON -DJPEG_INCLUDE_DIR="$deps/mingw/include" \
        -DJPEG_LIBRARY="$deps/mingw/lib/libjpeg.a"
}

# dav1d (BSD), the AV1 decoder libheif reads AVIF with, for the PE flavour:
# a static library from Debian's source package of the native
# libdav1d-dev's version, built with meson and a cross file naming the
# -posix compilers (dav1d decodes on threads), in build/deps/mingw-dav1d.
build_mingw_dav1d() {
    local deps="$ROOT/build/deps"
    local prefix="$deps/mingw-dav1d"
    [ -f "$prefix/lib/libdav1d.a" ] && [ -f "$prefix/share/licenses/dav1d.txt" ] && return 0
    local source
    source=$(fetch_debian_source dav1d "$(source_version_of libdav1d-dev)")
    rm -rf "$prefix" "$prefix.partial" "$deps/dav1d-build"
    cat >"$deps/dav1d-cross.meson" <<'CROSS'
[binaries]
c = 'x86_64-w64-mingw32-gcc-posix'
cpp = 'x86_64-w64-mingw32-g++-posix'
ar = 'x86_64-w64-mingw32-ar'
strip = 'x86_64-w64-mingw32-strip'
windres = 'x86_64-w64-mingw32-windres'

[properties]
needs_exe_wrapper = true

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
CROSS
    echo "== building dav1d for 64-bit Windows"
    { meson setup "$deps/dav1d-build" "$source" --cross-file "$deps/dav1d-cross.meson" --default-library=static \
          -Denable_tools=false -Denable_tests=false --buildtype=release --prefix="$prefix.partial" --libdir=lib &&
        ninja -C "$deps/dav1d-build" -j "$JOBS" && ninja -C "$deps/dav1d-build" install; } \
        >"$deps/dav1d.log" 2>&1 || fail "building dav1d with mingw-w64 failed (see $deps/dav1d.log)"
    keep_licence dav1d "$source" "$prefix.partial"
    mv "$prefix.partial" "$prefix"
}

# libde265 and libheif (LGPL) for the PE flavour as DLLs, shipped beside the
# programs with their licences: the HEVC decoder in build/deps/mingw-de265,
# libheif with it and dav1d built in (no encoders or plugin loading) in
# build/deps/mingw-heif. -static keeps the C++ runtime and winpthreads inside
# each DLL, so they import only what Windows has, and export none of it.
build_mingw_heif() {
    local deps="$ROOT/build/deps"
    local de265="$deps/mingw-de265" heif="$deps/mingw-heif"
    local link=("-DCMAKE_SHARED_LINKER_FLAGS=-static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libpthread.a")
    # libde265 parses strangers' files: the newest Debian source there is
    # (the next release's carries fixes this one's mirror does not serve).
    if ! [ -f "$de265/bin/libde265.dll" ] || ! [ -f "$de265/share/licenses/libde265.txt" ] ||
        ! [ -f "$de265/share/newest-source" ]; then
        DEBIAN_VERSION="$(newest_source_version libde265)" build_mingw_cmake_package libde265 libde265-dev "$de265" \
            -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF -DBUILD_SHARED_LIBS=ON "${link[@]}"
        touch "$de265/share/newest-source"
        rm -f "$heif/share/with-dav1d"
    fi
    local dav1d="$deps/mingw-dav1d"
    build_mingw_dav1d
    # The stamp says this build reads AVIF; an older one without it is rebuilt.
    [ -f "$heif/bin/libheif.dll" ] && [ -f "$heif/share/licenses/libheif.txt" ] && [ -f "$heif/share/with-dav1d" ] &&
        return 0
    local off=()
    for option in EXAMPLES X265 AOM_DECODER AOM_ENCODER RAV1E SvtEnc LIBSHARPYUV GDK_PIXBUF; do
        off+=("-DWITH_$option=OFF")
    done
    build_mingw_cmake_package libheif libheif-dev "$heif" "${off[@]}" -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON \
        -DENABLE_PLUGIN_LOADING=OFF -DLIBDE265_INCLUDE_DIR="$de265/include" \
        -DLIBDE265_LIBRARY="$de265/lib/libde265.dll.a" -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
        -DDAV1D_INCLUDE_DIR="$dav1d/include" -DDAV1D_LIBRARY="$dav1d/lib/libdav1d.a" "${link[@]}"
    touch "$heif/share/with-dav1d"
}

# The Win32 flavour as PE executables for 64-bit Windows in build/pe:
# brimlow.exe, brimlow-cli.exe and the Win32 test programs.
build_pe() {
    mkdir -p "$ROOT/build"
    build_mingw_jpeg
    build_mingw_lcms2
    build_mingw_png
    build_mingw_tiff
    build_mingw_webp
    build_mingw_heif
    local deps="$ROOT/build/deps"
    configure_and_build pe -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
        -DBRIMLOW_MINGW_PREFIX="$deps/mingw;$deps/mingw-lcms2;$deps/mingw-png;$deps/mingw-tiff;$deps/mingw-webp;$deps/mingw-de265;$deps/mingw-dav1d;$deps/mingw-heif" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
