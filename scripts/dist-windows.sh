#!/bin/sh
# The Windows download from a Windows build folder (make dist-windows):
#   <build>/Quarrow-<version>-win64.zip  one folder "Quarrow" with both
#                                        programs, README.txt and licenses\
#   <build>/Quarrow-<version>-win64.msi  the per-user installer of the same
#
#   scripts/dist-windows.sh BUILD [VERSION [OUT]]
#
# VERSION (default: the build's) names the files and the installer's
# version, and OUT (default: BUILD) is where they go; the installer tests
# make a later version elsewhere to upgrade to.
#
# Signing: with SIGN_PFX (a PKCS#12 file) and SIGN_PASS in the environment,
# both programs are signed before they go into the zip and the installer,
# and the installer after it is made, by osslsigncode; SIGN_TIMESTAMP_URL
# adds an RFC 3161 timestamp from that server. The password goes to
# osslsigncode on its standard input, never on a command line.
set -eu

build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
version=${2:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}
[ -n "$version" ] || { echo "dist-windows: no version in $build/CMakeCache.txt" >&2; exit 1; }
out=$build
if [ $# -ge 3 ]; then mkdir -p "$3" && out=$(cd "$3" && pwd); fi
name=Quarrow-$version-win64
SIGN_PFX=${SIGN_PFX:-}
SIGN_PASS=${SIGN_PASS:-}
SIGN_TIMESTAMP_URL=${SIGN_TIMESTAMP_URL:-}
if [ -n "$SIGN_PFX" ] && [ -z "$SIGN_PASS" ]; then
  echo "dist-windows: SIGN_PFX is given without SIGN_PASS" >&2
  exit 1
fi

work=$out/dist
rm -rf "$work"
mkdir -p "$work"
stage=$work/Quarrow
# The installed tree of the build, without debugging information.
cmake --install "$build" --prefix "$stage" --strip >/dev/null

sign() {
  [ -n "$SIGN_PFX" ] || return 0
  set -- "$1" -pkcs12 "$SIGN_PFX" -readpass - -h sha256 -n Quarrow
  if [ -n "$SIGN_TIMESTAMP_URL" ]; then set -- "$@" -ts "$SIGN_TIMESTAMP_URL"; fi
  file=$1
  shift
  rm -f "$file.signed"
  printf '%s' "$SIGN_PASS" |
    osslsigncode sign "$@" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
}

sign "$stage/Quarrow.exe"
sign "$stage/getmail.exe"

# The zip: its one folder is "Quarrow", as README.txt's paths expect.
rm -f "$out/$name.zip"
(cd "$work" && cmake -E tar cf "$out/$name.zip" --format=zip Quarrow)

# The installer. wixl takes the sources' paths relative to where it runs.
cp "$source_dir/ui/win32/Quarrow.ico" "$work/Quarrow.ico"
(cd "$stage" && find licenses -type f | LC_ALL=C sort |
  wixl-heat --prefix licenses/ --var var.LicensesDir \
    --directory-ref LICENSESDIR --component-group Licenses) >"$work/licenses.wxs"
rm -f "$out/$name.msi"
(cd "$work" && wixl --arch x64 -D Version="$version" -D StageDir=Quarrow \
  -D IconFile=Quarrow.ico -D LicensesDir=Quarrow/licenses \
  -o "$out/$name.msi" "$source_dir/packaging/windows/Quarrow.wxs" licenses.wxs)
sign "$out/$name.msi"

echo "$out/$name.zip"
echo "$out/$name.msi"
