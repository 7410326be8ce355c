#!/bin/sh
# Runs a command on a private Xvfb display and, afterwards, waits until the
# Wine prefix's server has ended, so nothing of this display outlives it:
#   with-xvfb.sh PREFIX COMMAND [ARGUMENT...]
prefix=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-xvfb-XXXXXX")
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp \
  3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 300); do [ -s "$dir/display" ] && break; sleep 0.1; done
[ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(cat "$dir/display")
export DISPLAY
"$@"
status=$?
WINEPREFIX=$prefix "${WINESERVER:-/usr/lib/wine/wineserver}" -w
exit $status
