#!/bin/bash
# getmail benchmark on a private Dovecot (plain POP3 on loopback).
# For 1,000 and 10,000 small messages, with the mail folder in memory (tmpfs,
# /dev/shm) and on disk ($TMPDIR or /tmp), it times, each the best of ROUNDS
# runs (default 3), as the wall time of the whole process:
#   dump        every header over one socket, all TOP commands sent at once,
#               into one file (getmail_pop3dump): the limit for a header run;
#   dump+files  the same, each header into a file of its own, written under a
#               temporary name and renamed (getmail_pop3dump --files): the
#               limit once the file system's share is in;
#   header run  getmail -headersonly;
# and then one retrieval run (getmail -m I -xtract ... -delete), which flushes
# its files and the folder to disk before it deletes.
#   bench/getmail/run.sh [BUILD_DIR]      (default: build)
#   COUNTS="1000 10000" ROUNDS=3 bench/getmail/run.sh build
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dovecot=$here/../../tests/e2e/private-dovecot.sh
build=$(cd "${1:-build}" && pwd)
getmail=$build/bin/getmail
dump=$build/bench/getmail/getmail_pop3dump
for f in "$getmail" "$dump"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done
counts=${COUNTS:-1000 10000}
rounds=${ROUNDS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/getmail-bench-XXXXXX")
places="disk:$work"
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
  memory=$(mktemp -d /dev/shm/getmail-bench-XXXXXX)
  places="memory:$memory $places"
fi
server=
cleanup() {
  [ -n "$server" ] && "$dovecot" stop "$server" || true
  rm -rf "$work" "${memory:-}"
}
trap cleanup EXIT
export TIMEFORMAT=%R
# The server here has no TLS: let getmail log in in plain text on loopback.
export QUARROW_GETMAIL_PLAINTEXT=allow

# Wall seconds of a command (its output is dropped; a failure stops all).
seconds() {
  local t
  t=$( { time "$@" >/dev/null 2>"$work/stderr" ; } 2>&1 ) || {
    cat "$work/stderr" >&2
    exit 1
  }
  echo "$t"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

printf '%-7s %8s %9s %11s %11s %9s %11s %14s\n' folder messages "dump (s)" \
  "+files (s)" "header run" "run/dump" "run/+files" "retrieval (s)"
for count in $counts; do
  server=$work/dovecot-$count
  ports=$("$dovecot" start "$server" --no-ssl)
  port=${ports#pop3=}
  port=${port%% *}
  "$dovecot" fill "$server" "$count"
  # Dovecot indexes a new mailbox on its first session: not timed.
  "$dump" "$port" quarrow secret "$work/dump.txt" >/dev/null

  for place in $places; do
    name=${place%%:*}
    folder=${place#*:}/mail-$count
    mkdir -p "$folder" "$folder.dump"
    on_server=$("$dovecot" count "$server")
    dumps=() files=() runs=()
    for ((r = 0; r < rounds; r++)); do
      dumps+=("$(seconds "$dump" "$port" quarrow secret "$folder.dump/all.txt")")
      rm -f "$folder.dump"/MSG*.TXT
      files+=("$(seconds "$dump" --files "$port" quarrow secret "$folder.dump")")
      rm -f "$folder"/MSG*.TXT
      runs+=("$(cd "$folder" && seconds "$getmail" -u quarrow -pw secret -s 127.0.0.1 \
        -port "$port" -headersonly)")
    done
    written=$(find "$folder" -name 'MSG*.TXT' | wc -l)
    [ "$written" = "$on_server" ] || {
      echo "the header run wrote $written of $on_server files" >&2
      exit 1
    }
    i=$((on_server / 2))
    retrieval=$(cd "$folder" && seconds "$getmail" -u quarrow -pw secret -s 127.0.0.1 \
      -port "$port" -m "$i" -xtract "Extract$i-" -delete)
    left=$("$dovecot" count "$server")
    [ "$left" = $((on_server - 1)) ] || { echo "the retrieval left $left messages" >&2; exit 1; }
    awk -v place="$name" -v n="$count" -v d="$(best "${dumps[@]}")" \
      -v f="$(best "${files[@]}")" -v h="$(best "${runs[@]}")" -v r="$retrieval" 'BEGIN {
      printf "%-7s %8d %9.3f %11.3f %11.3f %9.2f %11.2f %14.3f\n", place, n, d, f, h, h / d, h / f, r }'
  done
  "$dovecot" stop "$server"
  server=
done
