#!/bin/sh
# Quarrow.exe's window under Wine and Xvfb with the real getmail.exe beside
# it, both from the Windows download, against a private Dovecot: the window
# flow of tests/win32/window_flow.sh.
#   download-window-flow.sh CMAKE ZIP WINE_RUN PREFIX SCREENSHOT_FOLDER
# Skipped (77) while there is no ZIP, unless QUARROW_REQUIRE_WINE=1.
set -eu
cmake=$1 zip=$2 wine_run=$3 prefix=$4 shots=$5
here=$(cd "$(dirname "$0")" && pwd)
win32=$here/../win32

if [ ! -f "$zip" ]; then
  echo "There is no Windows download $zip (make dist-windows makes it)."
  [ "${QUARROW_REQUIRE_WINE:-}" = 1 ] && exit 1
  echo "Skipped (set QUARROW_REQUIRE_WINE=1 to fail instead)."
  exit 77
fi
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-download-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && "$cmake" -E tar xf "$zip")
programs=$tmp/$(basename "$zip" .zip)
"$win32/with-xvfb.sh" "$prefix" "$win32/window_flow.sh" "$wine_run" "$prefix" \
  "$programs/Quarrow.exe" "$programs/getmail.exe" "$shots" "$here/private-dovecot.sh"
