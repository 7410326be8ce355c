#!/bin/bash
# Builds static GMime for 64-bit Windows, with what it needs (libffi, PCRE2,
# GLib, zlib and a stub libintl), from Debian bookworm's source packages with
# mingw-w64, into a prefix kept in a cache folder outside the checkout:
#   ${QUARROW_CACHE_DIR:-${XDG_CACHE_HOME:-~/.cache}/quarrow}/win64-deps-<key>
# The key changes with this script, its helper files (which name the
# versions) and the compiler, so a finished prefix is only ever reused for
# the same build. Progress goes to stderr; the last line on stdout is the
# prefix. Fetching the sources the first time needs root (for the deb-src
# entry and apt-get update); building does not.
set -euo pipefail

HOST=x86_64-w64-mingw32
CC_HOST=$HOST-gcc-posix
CXX_HOST=$HOST-g++-posix
JOBS=${JOBS:-$(nproc)}

# Debian's source packages, pinned, and the SHA-256 of every file of them.
PACKAGES="libffi=3.4.4-1 pcre2=10.42-1 glib2.0=2.74.6-2+deb12u9 gmime=3.2.13+dfsg-2"
CHECKSUMS="\
21c9ef156b6766535cb014e0765142c8104ffbcd73f003ecfa80cfb314baa4f0  libffi_3.4.4-1.dsc
d66c56ad259a82cf2a9dfc408b32bf5da52371500b84745f7fb8b645712df676  libffi_3.4.4.orig.tar.gz
161b210bfd2ada0b15b0d2a2a98ffc779cd4a68661a7fdf46f61732493db0895  libffi_3.4.4-1.debian.tar.xz
726dafe7a8d07332d4df61edf23f384ddb158b2b263846273d1103b6b9a7c176  pcre2_10.42-1.dsc
c33b418e3b936ee3153de2c61cc638e7e4fe3156022a5c77d0711bcbb9d64f1f  pcre2_10.42.orig.tar.gz
8267c3acacb04e8a077235f676187393e295443fc16ff46ddbe5f6476879c8cb  pcre2_10.42-1.diff.gz
bd8e8cd8d251c2365a02258bf4d6c44721289ac44c3a2477c140ce253bdb4b41  glib2.0_2.74.6-2+deb12u9.dsc
069cf7e51cd261eb163aaf06c8d1754c6835f31252180aff5814e5afc7757fbc  glib2.0_2.74.6.orig.tar.xz
dabcaff9298aa111a94e580561d2f29371f3e61b356c925ec5e0792df2b11ff2  glib2.0_2.74.6.orig-unicode-data.tar.xz
ccfe76a05463099331f31fc2fde1677ce3c5e0d054112890541b511c0b3321ff  glib2.0_2.74.6-2+deb12u9.debian.tar.xz
e3f1ec3066756600bf2928dd813a14bae251d72dcc6efc187c2704751c3d85d4  gmime_3.2.13+dfsg-2.dsc
4b868eb152b83ccbc593340560c1fd1cc497e43e14104c85869de6f2101675e0  gmime_3.2.13+dfsg.orig.tar.xz
1c4d66082f3a7efb6f90dd66571514964bd97e55b7106e3ee4eb15d75fb57f07  gmime_3.2.13+dfsg-2.debian.tar.xz
"

here=$(cd "$(dirname "$0")" && pwd)
extras=$here/windows-deps
say() { echo "build-windows-deps: $*" >&2; }
die() { say "$*"; exit 1; }

cache=${QUARROW_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quarrow}
key=$( { cat "$0"; find "$extras" -type f | LC_ALL=C sort | xargs cat;
         $CC_HOST --version | head -n1;
         dpkg-query -W -f='${Version}' libz-mingw-w64-dev; } |
       sha256sum | cut -c1-16)
prefix=$cache/win64-deps-$key
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache"
exec 9>"$prefix.lock"
flock 9
# Another run may have finished it while this one waited.
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
# Under the lock, anything left of an earlier run of this key is stale.
rm -rf "$prefix" "$prefix".tmp.*

work=$(mktemp -d "$cache/win64-deps-$key.tmp.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/prefix
log=$work/build.log
mkdir -p "$stage/include" "$stage/lib/pkgconfig" "$work/src"

# Runs a build step with its output in the log; on failure shows the end.
step() {
  say "[${SECONDS}s] $1"
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    cp "$log" "$cache/win64-deps-failed.log"
    die "failed; the whole log is $cache/win64-deps-failed.log"
  fi
}

sources_ok() {
  [ -d "$1" ] && (cd "$1" && printf '%s' "$CHECKSUMS" | sha256sum --quiet -c - 2>/dev/null)
}

# A deb-src entry for every bookworm entry of the system's deb822 sources,
# with the same mirror, suites and key.
add_deb_src() {
  local list=/etc/apt/sources.list.d/quarrow-deb-src.sources
  [ -f "$list" ] && return 0
  # shellcheck disable=SC2016 # apt's own field syntax
  apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources &&
    return 0
  [ "$(id -u)" = 0 ] || die "no deb-src entry: run once as root to add one"
  local found
  found=$(find /etc/apt/sources.list.d -name '*.sources' ! -name "$(basename "$list")")
  [ -n "$found" ] || die "no deb822 sources in /etc/apt/sources.list.d to copy"
  # shellcheck disable=SC2086
  awk 'BEGIN { RS = ""; FS = "\n" }
       { types = ""; suites = ""; rest = ""
         for (i = 1; i <= NF; i++) {
           if ($i ~ /^#/) continue
           if ($i ~ /^Types:/) { types = $i; continue }
           if ($i ~ /^Suites:/) suites = $i
           rest = rest $i "\n" }
         if (types ~ /[ \t]deb([ \t]|$)/ && suites ~ /[ \t]bookworm/)
           printf "Types: deb-src\n%s\n", rest }' $found >"$list.new"
  [ -s "$list.new" ] || { rm -f "$list.new"; die "no bookworm entry to copy"; }
  mv "$list.new" "$list"
  say "added $list"
  apt-get update -q -o DPkg::Lock::Timeout=300 >&2
}

# Downloads the pinned packages once into the cache and checks them.
fetch_sources() {
  local dir=$cache/sources
  sources_ok "$dir" && return 0
  add_deb_src
  local tmp
  tmp=$(mktemp -d "$cache/sources.tmp.XXXXXX")
  # shellcheck disable=SC2086
  if ! (cd "$tmp" && apt-get source --download-only $PACKAGES) >>"$log" 2>&1; then
    tail -n 20 "$log" >&2
    rm -rf "$tmp"
    die "apt-get source failed (a pinned version may have left the mirror)"
  fi
  if ! (cd "$tmp" && printf '%s' "$CHECKSUMS" | sha256sum --quiet -c -) >&2; then
    rm -rf "$tmp"
    die "downloaded sources do not match the recorded checksums"
  fi
  rm -rf "$dir"
  mv "$tmp" "$dir"
}

say "[${SECONDS}s] fetching Debian's sources"
fetch_sources
for p in $PACKAGES; do
  dsc=$(cd "$cache/sources" && ls "${p%%=*}_${p#*=}.dsc")
  step "unpacking $dsc" dpkg-source --no-check -x "$cache/sources/$dsc" \
    "$work/src/${p%%=*}"
done

# pkg-config sees only the prefix being built.
export PKG_CONFIG_LIBDIR=$stage/lib/pkgconfig PKG_CONFIG_PATH=
launcher=
command -v ccache >/dev/null && launcher="ccache "
autotools_env=(CC="$launcher$CC_HOST" CXX="$launcher$CXX_HOST" AR="$HOST-ar"
               RANLIB="$HOST-ranlib" STRIP="$HOST-strip" CFLAGS=-O2)
autotools_static=(--host="$HOST" --prefix="$stage" --disable-shared --enable-static)

# zlib from Debian's mingw-w64 package, copied so the prefix stands alone.
zlib_root=/usr/$HOST
cp "$zlib_root/include/zlib.h" "$zlib_root/include/zconf.h" "$stage/include/"
cp "$zlib_root/lib/libz.a" "$stage/lib/"
cat >"$stage/lib/pkgconfig/zlib.pc" <<EOF
prefix=$stage
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library
Version: $(dpkg-query -W -f='${source:Upstream-Version}' libz-mingw-w64-dev)
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF

configure() {
  local name=$1
  shift
  cd "$work/src/$name"
  step "$name: configure" ./configure "${autotools_static[@]}" "${autotools_env[@]}" "$@"
}

configure libffi --disable-docs --disable-multi-os-directory
step "libffi: build" make -j"$JOBS"
step "libffi: install" make install

# The libraries only, not pcre2grep and pcre2test.
configure pcre2 --enable-pcre2-8 --disable-pcre2-16 --disable-pcre2-32 \
  CPPFLAGS=-DPCRE2_STATIC
step "pcre2: build" make -j"$JOBS" libpcre2-8.la libpcre2-posix.la
step "pcre2: install" make install-libLTLIBRARIES install-includeHEADERS \
  install-nodist_includeHEADERS install-pkgconfigDATA

step "intl stub: build" sh -c "
  $CC_HOST -O2 -Wall -Wextra -Werror -c '$extras/intl/intl.c' -o '$work/intl.o' &&
  $HOST-ar rcs '$stage/lib/libintl.a' '$work/intl.o' &&
  cp '$extras/intl/libintl.h' '$stage/include/'"

cat >"$work/cross.ini" <<EOF
[binaries]
c = [$( [ -n "$launcher" ] && echo "'ccache', ")'$CC_HOST']
cpp = [$( [ -n "$launcher" ] && echo "'ccache', ")'$CXX_HOST']
ar = '$HOST-ar'
strip = '$HOST-strip'
windres = '$HOST-windres'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = ['$stage/lib/pkgconfig']

[built-in options]
c_args = ['-I$stage/include', '-DLC_MESSAGES=1729']
cpp_args = ['-I$stage/include']
c_link_args = ['-L$stage/lib']
cpp_link_args = ['-L$stage/lib']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF

cd "$work/src/glib2.0"
step "glib: configure" meson setup "$work/glib-build" --cross-file "$work/cross.ini" \
  --prefix="$stage" --libdir=lib --buildtype=release --default-library=static \
  -Dnls=disabled -Dtests=false -Dlibelf=disabled -Dsysprof=disabled \
  -Dxattr=false -Dman=false -Dgtk_doc=false --wrap-mode=nodownload
# The libraries only, not GLib's tools.
step "glib: build" ninja -C "$work/glib-build" -j"$JOBS" \
  glib/libglib-2.0.a gobject/libgobject-2.0.a gio/libgio-2.0.a \
  gmodule/libgmodule-2.0.a gthread/libgthread-2.0.a
step "glib: install" meson install -C "$work/glib-build" --no-rebuild --tags devel

cd "$work/src/gmime"
cp "$extras/gmime/iconv-detect.h" .
cp "$extras/gmime/iconv.h" "$stage/include/"
step "gmime: autoreconf" sh -c 'touch ChangeLog && autoreconf -fi'
configure gmime glib_native_win32=yes ac_cv_have_iconv_detect_h=yes \
  "PKG_CONFIG=pkg-config --static" --disable-crypto --without-libidn \
  --disable-vala --disable-introspection --disable-gtk-doc
# The library only, not GMime's tests and tools.
step "gmime: build" sh -c "make -j$JOBS -C util && make -j$JOBS -C gmime"
step "gmime: install" sh -c "make -C gmime install && make install-pkgconfigDATA"

# Licence texts to ship beside the programs.
licences=$stage/share/licenses
copy_licence() {
  local name=$1
  shift
  mkdir -p "$licences/$name"
  cp "$@" "$licences/$name/"
}
copy_licence libffi "$work/src/libffi/LICENSE"
copy_licence pcre2 "$work/src/pcre2/LICENCE"
copy_licence glib "$work/src/glib2.0/COPYING" "$work/src/glib2.0/LICENSES"/*
copy_licence gmime "$work/src/gmime/COPYING"
for p in libffi pcre2 glib2.0 gmime; do
  n=${p%2.0}
  cp "$work/src/$p/debian/copyright" "$licences/$n/debian-copyright"
done
copy_licence zlib /usr/share/doc/libz-mingw-w64-dev/copyright
copy_licence intl-stub "$extras/intl/COPYING"
copy_licence mingw-w64-runtime /usr/share/doc/mingw-w64-common/copyright
cp /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright \
   "$licences/mingw-w64-runtime/gcc-runtime-copyright"

# Only what a program that links GMime needs stays; the .pc files find
# their prefix from where they lie, so the folder can be moved into place.
rm -rf "${stage:?}/bin" "$stage/libexec" "$stage/lib"/*.la
find "$stage/share" -mindepth 1 -maxdepth 1 ! -name licenses -exec rm -rf {} +
sed -i "s|^prefix=.*|prefix=\${pcfiledir}/../..|; s|$stage|\${prefix}|g" \
  "$stage"/lib/pkgconfig/*.pc
if grep -rl "$stage" "$stage/lib/pkgconfig" >&2; then
  die "the .pc files above still name the build folder"
fi
PKG_CONFIG_LIBDIR=$stage/lib/pkgconfig pkg-config --static --libs gmime-3.0 >/dev/null ||
  die "gmime-3.0 is not usable through pkg-config"

touch "$stage/.complete"
mv "$stage" "$prefix"
say "done"
echo "$prefix"
