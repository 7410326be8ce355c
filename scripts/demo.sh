#!/bin/bash
# make demo: Quarrow's main job against a mail server of its own.
#   scripts/demo.sh BUILD_DIR
# Installs the build into a temporary prefix as a user installs it (the link
# bin/quarrow, the program and getmail side by side in lib/quarrow), starts a private Dovecot on loopback holding the sample messages in
# demo/samples, runs quarrow in batch mode without a window for the subject
# text "Velbrin" into BUILD_DIR/demo (drive D: is mapped to BUILD_DIR, the
# folder is "d:\demo"), lists the ".vch" files it made and what is left on
# the server, and stops the server.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: scripts/demo.sh BUILD_DIR}" && pwd)
dovecot=$repo/tests/e2e/private-dovecot.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-demo-XXXXXX")
server=$work/dovecot
cleanup() {
  "$dovecot" stop "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
if [ ! -x "$work/prefix/bin/quarrow" ]; then
  echo "demo: this build installs no quarrow yet; nothing to show." >&2
  exit 1
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
echo "== quarrow $command"
echo "   (QUARROW_DRIVE_D=$build, so d:\\demo is $folder)"
echo "   (getmail logs in under TLS, by STLS on port $pop3, trusting the server's private"
echo "   CA through QUARROW_GETMAIL_CAFILE; without TLS it would not send the password)"
status=0
env -u QUARROW_GETMAIL_PLAINTEXT QUARROW_HEADLESS=1 QUARROW_DRIVE_D="$build" \
  QUARROW_GETMAIL_CAFILE="$server/ca.pem" "$work/prefix/bin/quarrow" "$command" || status=$?
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
