# The Windows flavour's libraries: libjpeg-turbo, Little CMS, libpng,
# libtiff, libwebp, dav1d, libde265 and libheif, built with mingw-w64 from
# the newest Debian source packages that can be fetched. Sourced by
# common.sh, not run.
#
# They are built once a machine, not once a clone, into a cache outside the
# clone: $DEPS, under ${BRIMLOW_CACHE:-${XDG_CACHE_HOME:-~/.cache}/brimlow},
# in a folder keyed by the cross compiler's version and this file's own
# text (the build rules). Within it each library is built again when its
# folder is missing or Debian's source lists name a newer source than the
# one it was built from. Removing the cache folder clears it; the next build
# makes it again.

DEPS_CACHE="${BRIMLOW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/brimlow}"
DEPS_KEY="$({ x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null || echo none
    dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev libz-mingw-w64-dev 2>/dev/null
    cat "$ROOT/scripts/deps.sh"; } | sha256sum | cut -c1-12)"
DEPS="$DEPS_CACHE/mingw-$DEPS_KEY"

# apt-get or apt-cache (TOOL) on the private source lists in $DEPS/apt,
# never the system's: private_apt TOOL ARGS...
private_apt() {
    local tool="$1" deps="$DEPS"
    shift
    "$tool" -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$deps/apt/parts" \
        -o "Dir::State::Lists=$deps/apt/lists" -o "Dir::Cache=$deps/apt/cache" -o "APT::Sandbox::User=root" "$@"
}

# Sets up the private source lists (this release's and the next one's
# deb-src entries, in $DEPS/apt) and brings them up to date, once a run;
# the log goes to $DEPS/apt.log. 1 when they cannot be brought up to date.
LISTS_READY=""
source_lists_ready() {
    [ -n "$LISTS_READY" ] && return 0
    local deps="$DEPS"
    mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial" "$deps/apt/parts" "$deps/src"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$deps/apt/parts/debian.sources"
    else
        echo "deb-src http://deb.debian.org/debian $(. /etc/os-release && echo "$VERSION_CODENAME") main" \
            >"$deps/apt/parts/debian.list"
    fi
    # The next stable release's sources too: some libraries that parse
    # strangers' files carry security fixes there that this release's mirror
    # does not serve (see fetch_debian_source).
    echo "deb-src http://deb.debian.org/debian trixie main" >"$deps/apt/parts/next.list"
    private_apt apt-get update >"$deps/apt.log" 2>&1 || return 1
    LISTS_READY=1
}

# listed_sources PACKAGE: the versions of Debian's source package PACKAGE
# that the private lists name, "VERSION SUITE" a line, newest first, each
# version once; nothing when none does.
listed_sources() {
    private_apt apt-cache madison "$1" 2>/dev/null |
        awk -F'|' '$3 ~ /Sources/ { gsub(/ /, "", $2); split($3, at, " "); print $2, at[2] }' |
        sort -V -r -k1,1 | awk '!seen[$1]++'
}

# fetch_debian_source PACKAGE: the newest of Debian's source packages
# PACKAGE that can be fetched, of this release (with its updates and
# security fixes) or the next (the private source lists), unpacked into
# $DEPS/src; prints its folder. Says which version it took from which
# suite, and names each newer version the lists name but the mirror does
# not serve: the Debian updates the build then lacks.
fetch_debian_source() {
    local package="$1"
    local deps="$DEPS"
    source_lists_ready || fail "apt-get update of the Debian source lists failed (see $deps/apt.log)"
    local listed
    listed=$(listed_sources "$package")
    [ -n "$listed" ] || fail "no Debian source list names $package (see $deps/apt-$package.log)"
    local fetched="" suite="" missing=()
    while read -r candidate from; do
        rm -rf "$deps/src/$package"
        mkdir -p "$deps/src/$package"
        if (cd "$deps/src/$package" && private_apt apt-get source "$package=$candidate") >>"$deps/apt-$package.log" 2>&1; then
            fetched="$candidate" suite="$from"
            break
        fi
        missing+=("$candidate ($from)")
    done <<<"$listed"
    [ -n "$fetched" ] || fail "no source of $package could be fetched (see $deps/apt-$package.log)"
    echo "== $package $fetched, from Debian's $suite sources" >&2
    [ ${#missing[@]} -eq 0 ] ||
        echo "== warning: the mirror does not serve the sources of $package ${missing[*]}: built without" \
            "those Debian updates" >&2
    local source
    source=$(find "$deps/src/$package" -mindepth 1 -maxdepth 1 -type d | head -1)
    [ -n "$source" ] || fail "the $package source package did not unpack (see $deps/apt-$package.log)"
    echo "$source"
}

# mingw_built PACKAGE PREFIX FILE...: 0 when each FILE is in PREFIX and
# PREFIX was built while Debian's lists named the versions of PACKAGE they
# name now (keep_licence's mark), so a newer source is built when the
# lists name it. When the lists cannot be brought up to date (no network),
# a complete build is used as it is, with a warning.
mingw_built() {
    local package="$1" prefix="$2"
    shift 2
    [ -f "$prefix/share/listed-sources" ] || return 1
    for file in "$@"; do [ -f "$prefix/$file" ] || return 1; done
    if ! source_lists_ready; then
        echo "== warning: Debian's source lists cannot be read (see $DEPS/apt.log): $package used as built" >&2
        return 0
    fi
    [ "$(listed_sources "$package")" = "$(cat "$prefix/share/listed-sources")" ]
}

# build_mingw_cmake_package PACKAGE PREFIX [cmake options...]: the newest
# source of Debian's PACKAGE there is (fetch_debian_source), configured with
# CMake and the mingw-w64 toolchain, built and installed into PREFIX, which
# appears only when complete.
build_mingw_cmake_package() {
    local package="$1" prefix="$2"
    shift 2
    local deps="$DEPS"
    local source
    source=$(fetch_debian_source "$package")
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
    listed_sources "$package" >"$prefix/share/listed-sources"
}

# The libraries below parse strangers' files, so each Windows build of
# them comes from the newest Debian source there is (fetch_debian_source);
# the native build keeps Debian's installed, patched packages. Each is built
# once into its folder under $DEPS and again only when that is missing or
# Debian lists a newer source (mingw_built).

# libjpeg-turbo, static, with its SIMD code, in $DEPS/mingw.
build_mingw_jpeg() {
    local prefix="$DEPS/mingw"
    mingw_built libjpeg-turbo "$prefix" lib/libjpeg.a include/jpeglib.h share/licenses/libjpeg-turbo.txt && return 0
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || fail "the mingw-w64 cross compiler (g++-mingw-w64-x86-64) is missing"
    command -v nasm >/dev/null || fail "nasm, which libjpeg-turbo's SIMD code needs, is missing"
    rm -rf "$DEPS/mingw-tiff"  # libtiff links this one
    build_mingw_cmake_package libjpeg-turbo "$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
        -DREQUIRE_SIMD=ON
}

# Little CMS (MIT), static, with its own configure, in $DEPS/mingw-lcms2.
build_mingw_lcms2() {
    local deps="$DEPS"
    local prefix="$deps/mingw-lcms2"
    mingw_built lcms2 "$prefix" lib/liblcms2.a include/lcms2.h share/licenses/lcms2.txt && return 0
    local source
    source=$(fetch_debian_source lcms2)
    rm -rf "$prefix" "$prefix.partial"
    echo "== building Little CMS for 64-bit Windows"
    (cd "$source" && ./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix --enable-static \
        --disable-shared --prefix="$prefix.partial" && make -j"$JOBS" && make install) >"$deps/lcms2.log" 2>&1 ||
        fail "building Little CMS with mingw-w64 failed (see $deps/lcms2.log)"
    keep_licence lcms2 "$source" "$prefix.partial"
    mv "$prefix.partial" "$prefix"
}

# libpng, static, over the zlib of libz-mingw-w64-dev, in
# $DEPS/mingw-png; its tools and tests are left out (PNG_EXECUTABLES
# before 1.6.44, PNG_TOOLS after).
build_mingw_png() {
    local prefix="$DEPS/mingw-png"
    mingw_built libpng1.6 "$prefix" lib/libpng16.a share/licenses/libpng1.6.txt && return 0
    build_mingw_cmake_package libpng1.6 "$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
        -DPNG_EXECUTABLES=OFF -DPNG_TOOLS=OFF
}

# libwebp with its demuxer and muxer (BSD), static, in $DEPS/mingw-webp;
# the tools are left out.
build_mingw_webp() {
    local prefix="$DEPS/mingw-webp"
    mingw_built libwebp "$prefix" lib/libwebp.a lib/libwebpdemux.a share/licenses/libwebp.txt && return 0
    local off=()
    for tool in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO WEBPMUX EXTRAS; do off+=("-DWEBP_BUILD_$tool=OFF"); done
    build_mingw_cmake_package libwebp "$prefix" -DBUILD_SHARED_LIBS=OFF "${off[@]}"
}

# libtiff, static, over the zlib of libz-mingw-w64-dev and the
# libjpeg-turbo above, in $DEPS/mingw-tiff; the codecs of other
# libraries (JBIG, LERC, LZMA, ZSTD, WebP) and the tools are left out.
build_mingw_tiff() {
    local deps="$DEPS"
    local prefix="$deps/mingw-tiff"
    mingw_built tiff "$prefix" lib/libtiff.a share/licenses/tiff.txt && return 0
    local off=()
    for option in tiff-tools tiff-tests tiff-contrib tiff-docs cxx jbig lerc lzma zstd webp libdeflate; do
        off+=("-D$option=OFF")
    done
    build_mingw_cmake_package tiff "$prefix" -DBUILD_SHARED_LIBS=OFF "${off[@]}" -Djpeg=ON -Dzlib=ON \
        -DJPEG_INCLUDE_DIR="$deps/mingw/include" -DJPEG_LIBRARY="$deps/mingw/lib/libjpeg.a"
}

# dav1d (BSD), the AV1 decoder libheif reads AVIF with: a static library
# built with meson and a cross file naming the -posix compilers (dav1d
# decodes on threads), in $DEPS/mingw-dav1d.
build_mingw_dav1d() {
    local deps="$DEPS"
    local prefix="$deps/mingw-dav1d"
    mingw_built dav1d "$prefix" lib/libdav1d.a share/licenses/dav1d.txt && return 0
    local source
    source=$(fetch_debian_source dav1d)
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

# libde265 and libheif (LGPL) as DLLs, shipped beside the programs with
# their licences: the HEVC decoder in $DEPS/mingw-de265, libheif with
# it and dav1d built in (no encoders or plugin loading) in
# $DEPS/mingw-heif, made again whenever either decoder is. -static
# keeps the C++ runtime and winpthreads inside each DLL, so they import only
# what Windows has, and export none of it.
build_mingw_heif() {
    local deps="$DEPS"
    local de265="$deps/mingw-de265" heif="$deps/mingw-heif" dav1d="$deps/mingw-dav1d"
    local link=("-DCMAKE_SHARED_LINKER_FLAGS=-static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libpthread.a")
    if ! mingw_built libde265 "$de265" bin/libde265.dll share/licenses/libde265.txt; then
        build_mingw_cmake_package libde265 "$de265" -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF \
            -DBUILD_SHARED_LIBS=ON "${link[@]}"
        rm -rf "$heif"
    fi
    if ! mingw_built dav1d "$dav1d" lib/libdav1d.a share/licenses/dav1d.txt; then
        build_mingw_dav1d
        rm -rf "$heif"
    fi
    mingw_built libheif "$heif" bin/libheif.dll share/licenses/libheif.txt && return 0
    local off=()
    for option in EXAMPLES X265 AOM_DECODER AOM_ENCODER RAV1E SvtEnc LIBSHARPYUV GDK_PIXBUF; do
        off+=("-DWITH_$option=OFF")
    done
    build_mingw_cmake_package libheif "$heif" "${off[@]}" -DBUILD_TESTING=OFF -DBUILD_SHARED_LIBS=ON \
        -DENABLE_PLUGIN_LOADING=OFF -DLIBDE265_INCLUDE_DIR="$de265/include" \
        -DLIBDE265_LIBRARY="$de265/lib/libde265.dll.a" -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
        -DDAV1D_INCLUDE_DIR="$dav1d/include" -DDAV1D_LIBRARY="$dav1d/lib/libdav1d.a" "${link[@]}"
}

# The Win32 flavour as PE executables for 64-bit Windows in build/pe:
# brimlow.exe, brimlow-cli.exe and the Win32 test programs.
build_pe() {
    mkdir -p "$ROOT/build" "$DEPS"
    # One clone at a time builds the libraries; another waits for them.
    local lock
    exec {lock}>"$DEPS/lock"
    flock "$lock"
    build_mingw_jpeg
    build_mingw_lcms2
    build_mingw_png
    build_mingw_tiff
    build_mingw_webp
    build_mingw_heif
    flock -u "$lock"
    local deps="$DEPS"
    configure_and_build pe -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
        -DBRIMLOW_MINGW_PREFIX="$deps/mingw;$deps/mingw-lcms2;$deps/mingw-png;$deps/mingw-tiff;$deps/mingw-webp;$deps/mingw-de265;$deps/mingw-dav1d;$deps/mingw-heif" -DCMAKE_BUILD_TYPE=RelWithDebInfo
}
