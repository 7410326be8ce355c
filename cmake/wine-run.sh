#!/bin/sh
# Runs a Windows program under Wine in the given private prefix:
#   wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# The prefix is made on first use (once, even when tests start in parallel),
# so runs depend neither on ~/.wine nor on each other. Gives back the
# program's exit status.
set -e
prefix=$1
shift
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
WINEPREFIX=$prefix
WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the programs need neither.
WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
WINEARCH=win64
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEARCH WINESERVER

if [ ! -f "$prefix/.made" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -f "$prefix/.made" ]; then
      DISPLAY= "$WINE" wineboot -i >/dev/null 2>&1 || true
      "$WINESERVER" -w
      touch "$prefix/.made"
    fi
  ) 9>"$prefix.lock"
fi
# Wine does not find its own fonts (fonts-wine) where Debian puts them, but it
# always looks in the prefix's Fonts folder. Tahoma is the message font.
fonts=$prefix/drive_c/windows/Fonts
if [ -f /usr/share/wine/fonts/tahoma.ttf ] && [ ! -e "$fonts/tahoma.ttf" ]; then
  ln -sf /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
fi
exec "$WINE" "$@"
