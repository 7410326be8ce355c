#!/bin/bash
# make demo and make demo-windows: Quarrow's main job against a mail server
# of its own.
#   scripts/demo.sh BUILD_DIR
#   scripts/demo.sh --windows WINDOWS_BUILD_DIR
# Starts a private Dovecot on loopback holding the sample messages in
# demo/samples, runs Quarrow in batch mode without a window for the subject
# text "Velbrin" into BUILD_DIR/demo (drive D: is mapped to BUILD_DIR, the
# folder is "d:\demo"), lists the ".vch" files it made and what is left on
# the server, and stops the server.
# On Linux, the build is installed into a temporary prefix as a user
# installs it (the link bin/quarrow, the program and getmail side by side in
# lib/quarrow). With --windows, Quarrow.exe and getmail.exe come from the
# Windows download (WINDOWS_BUILD_DIR/Quarrow-<version>-win64.zip, made by
# make dist-windows), unpacked onto drive C of a Wine prefix kept in
# WINDOWS_BUILD_DIR/wine-prefix-demo, and run under Wine.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
windows=false
if [ "${1:-}" = --windows ]; then
  windows=true
  shift
fi
build=$(cd "${1:?usage: scripts/demo.sh [--windows] BUILD_DIR}" && pwd)
dovecot=$repo/tests/e2e/private-dovecot.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-demo-XXXXXX")
server=$work/dovecot
wine_prefix=$build/wine-prefix-demo
cleanup() {
  "$dovecot" stop "$server" 2>/dev/null || true
  if $windows; then
    WINEPREFIX=$wine_prefix "${WINESERVER:-/usr/lib/wine/wineserver}" -w 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if $windows; then
  zip=$(ls -t "$build"/Quarrow-*-win64.zip 2>/dev/null | head -n 1)
  if [ -z "$zip" ]; then
    echo "demo: there is no Windows download in $build (make dist-windows makes it)." >&2
    exit 1
  fi
  echo "== $(basename "$zip"), unpacked onto drive C of the Wine prefix $wine_prefix"
  wine_run() { LC_ALL=C.UTF-8 DISPLAY= "$repo/cmake/wine-run.sh" "$wine_prefix" "$@"; }
  wine_run cmd /c exit 0  # makes the prefix on first use
  top=Quarrow  # the zip's one folder
  rm -rf "${wine_prefix:?}/drive_c/$top"
  (cd "$wine_prefix/drive_c" && cmake -E tar xf "$zip")
  ln -sfn "$build" "$wine_prefix/dosdevices/d:"
  program="C:\\$top\\Quarrow.exe"
  windows_path() { echo "z:$1" | tr / '\\'; }
  ca_file=$(windows_path "$server/ca.pem")
  run_quarrow() { QUARROW_GETMAIL_CAFILE=$ca_file wine_run "$program" "$1"; }
  echo
else
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  if [ ! -x "$work/prefix/bin/quarrow" ]; then
    echo "demo: this build installs no quarrow yet; nothing to show." >&2
    exit 1
  fi
  program=$work/prefix/bin/quarrow
  run_quarrow() {
    QUARROW_DRIVE_D=$build QUARROW_GETMAIL_CAFILE=$server/ca.pem "$program" "$1"
  }
fi

echo "== A private Dovecot on loopback, with the sample messages"
ports=$("$dovecot" start "$server")
pop3=${ports#pop3=}
pop3=${pop3%% *}
"$dovecot" add "$server" "$repo"/demo/samples/*.eml
for sample in "$repo"/demo/samples/*.eml; do
  subject=$(grep -m1 '^Subject:' "$sample" | tr -d '\r')
  printf '   %-28s %s\n' "$(basename "$sample")" "$subject"
done

folder=$build/demo
rm -rf "$folder"
mkdir -p "$folder"
command="/quarrow/secret/localhost/$pop3/Velbrin/d:\\demo"
echo
if $windows; then
  echo "== $program $command, under Wine"
  echo "   (drive D: of the prefix is $build, so d:\\demo is $folder)"
else
  echo "== quarrow $command"
  echo "   (QUARROW_DRIVE_D=$build, so d:\\demo is $folder)"
fi
echo "   (getmail logs in under TLS, by STLS on port $pop3, trusting the server's private"
echo "   CA through QUARROW_GETMAIL_CAFILE; without TLS it would not send the password)"
status=0
unset QUARROW_GETMAIL_PLAINTEXT
QUARROW_HEADLESS=1 run_quarrow "$command" || status=$?
echo "   exit status $status"

echo
echo "== The .vch files in $folder"
found=0
for file in "$folder"/*.vch; do
  [ -e "$file" ] || continue
  found=$((found + 1))
  printf '   %-28s %6d bytes  %s\n' "$(basename "$file")" "$(stat -c %s "$file")" \
    "$(file -b "$file" 2>/dev/null | cut -c1-40)"
done
[ "$found" -gt 0 ] || echo "   (none)"

echo
echo "== Left on the server: $("$dovecot" count "$server") of $(ls "$repo"/demo/samples/*.eml | wc -l) messages"
for message in "$server"/mail/quarrow/new/* "$server"/mail/quarrow/cur/*; do
  [ -e "$message" ] || continue
  printf '   %s\n' "$(grep -m1 '^Subject:' "$message" | tr -d '\r')"
done
exit "$status"
