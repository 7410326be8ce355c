#!/bin/bash
# getmail's IMAP header run on a private Dovecot (plain IMAP on loopback)
# against a raw dump: for COUNT small messages (default 10,000), with the mail
# folder in memory (tmpfs, /dev/shm) where there is one, else on disk, each
# the best of ROUNDS runs (default 3), as the wall time of the whole process:
#   dump        every header in one UID FETCH over one socket, into one file
#               (getmail_imapdump): the limit for a header run;
#   dump+files  the same, each header into a file of its own, written under a
#               temporary name and renamed (getmail_imapdump --files): the
#               limit once the file system's share is in;
#   header run  QUARROW_GETMAIL_PROTOCOL=imap getmail -headersonly.
#   bench/getmail/run-imap.sh [BUILD_DIR]      (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dovecot=$here/../../tests/e2e/private-dovecot.sh
build=$(cd "${1:-build}" && pwd)
getmail=$build/bin/getmail
dump=$build/bench/getmail/getmail_imapdump
for f in "$getmail" "$dump"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done
count=${COUNT:-10000}
rounds=${ROUNDS:-3}

base=${TMPDIR:-/tmp}
[ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && base=/dev/shm
work=$(mktemp -d "$base/getmail-imap-bench-XXXXXX")
server=$(mktemp -d "${TMPDIR:-/tmp}/getmail-imap-dovecot-XXXXXX")
cleanup() {
  "$dovecot" stop "$server" || true
  rm -rf "$work" "$server"
}
trap cleanup EXIT
export TIMEFORMAT=%R
# No TLS here: the password goes in plain text on loopback.
export QUARROW_GETMAIL_PLAINTEXT=allow QUARROW_GETMAIL_PROTOCOL=imap

seconds() {
  local t
  t=$( { time "$@" >/dev/null 2>"$work/stderr" ; } 2>&1 ) || {
    cat "$work/stderr" >&2
    exit 1
  }
  echo "$t"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

ports=$("$dovecot" start "$server" --no-ssl)
port=${ports#*imap=}
port=${port%% *}
"$dovecot" fill "$server" "$count"
# Dovecot indexes a new mailbox on its first session: not timed.
"$dump" "$port" quarrow secret "$work/dump.txt" >/dev/null
mkdir -p "$work/mail" "$work/dump"
dumps=() files=() runs=()
for ((r = 0; r < rounds; r++)); do
  dumps+=("$(seconds "$dump" "$port" quarrow secret "$work/dump.txt")")
  rm -f "$work/dump"/MSG*.TXT
  files+=("$(seconds "$dump" --files "$port" quarrow secret "$work/dump")")
  rm -f "$work/mail"/MSG*.TXT
  runs+=("$(cd "$work/mail" && seconds "$getmail" -u quarrow -pw secret -s 127.0.0.1 \
    -port "$port" -headersonly)")
done
written=$(find "$work/mail" -name 'MSG*.TXT' | wc -l)
[ "$written" = "$count" ] || { echo "the header run wrote $written of $count files" >&2; exit 1; }
printf '%8s %9s %11s %11s %9s %11s\n' messages "dump (s)" "+files (s)" "header run" \
  "run/dump" "run/+files"
awk -v n="$count" -v d="$(best "${dumps[@]}")" -v f="$(best "${files[@]}")" \
  -v h="$(best "${runs[@]}")" 'BEGIN {
  printf "%8d %9.3f %11.3f %11.3f %9.2f %11.2f\n", n, d, f, h, h / d, h / f }'
