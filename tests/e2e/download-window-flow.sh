#!/bin/sh
# Quarrow.exe's window under Wine and Xvfb with the real getmail.exe beside
# it, both from the Windows download, against a private Dovecot: the window
# flow of tests/win32/window_flow.sh.
#   download-window-flow.sh CMAKE ZIP WINE_RUN PREFIX SCREENSHOT_FOLDER
# Skipped (77) without ZIP or Wine, unless QUARROW_REQUIRE_WINE=1, and
# without Dovecot, unless QUARROW_REQUIRE_DOVECOT=1.
set -eu
cmake=$1 zip=$2 wine_run=$3 prefix=$4 shots=$5
here=$(cd "$(dirname "$0")" && pwd)
win32=$here/../win32

# Says why the flow cannot run here ($1) and skips (77), or fails if the
# variable named $2 is 1.
skip() {
  echo "download-window-flow: $1"
  [ "$(printenv "$2" || true)" = 1 ] && exit 1
  echo "Skipped (set $2=1 to fail instead)."
  exit 77
}
[ -x /usr/sbin/dovecot ] ||
  skip "Dovecot is not installed (Debian: apt-get install dovecot-pop3d)" QUARROW_REQUIRE_DOVECOT
[ -x "${WINE:-/usr/lib/wine/wine64}" ] ||
  skip "Wine is not installed (Debian: apt-get install wine64)" QUARROW_REQUIRE_WINE
[ -f "$zip" ] ||
  skip "there is no Windows download $zip (make dist-windows makes it)" QUARROW_REQUIRE_WINE

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-download-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && "$cmake" -E tar xf "$zip")
# The zip holds one folder, "Quarrow".
programs=$tmp/Quarrow
"$win32/with-xvfb.sh" "$prefix" "$win32/window_flow.sh" "$wine_run" "$prefix" \
  "$programs/Quarrow.exe" "$programs/getmail.exe" "$shots" "$here/private-dovecot.sh"
