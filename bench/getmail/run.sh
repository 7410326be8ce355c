#!/bin/bash
# getmail benchmark on a private Dovecot (plain POP3 on loopback).
# For 1,000 and 10,000 small messages it times
#   - the raw dump: every header over one socket, all TOP commands sent at
#     once (getmail_pop3dump), the limit for a header run;
#   - getmail's header run (-headersonly), which writes one header file per
#     message;
# each the best of ROUNDS runs (default 3), wall time of the whole process,
# and their ratio; then one retrieval run (-m I -xtract ... -delete) of a
# message in the middle.
#   bench/getmail/run.sh [BUILD_DIR]      (default: build)
#   COUNTS="1000 10000" ROUNDS=3 bench/getmail/run.sh build
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dovecot=$here/../../tests/e2e/private-dovecot.sh
build=$(cd "${1:-build}" && pwd)
getmail=$build/tools/getmail/getmail
dump=$build/bench/getmail/getmail_pop3dump
for f in "$getmail" "$dump"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done
counts=${COUNTS:-1000 10000}
rounds=${ROUNDS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/getmail-bench-XXXXXX")
server=
cleanup() {
  [ -n "$server" ] && "$dovecot" stop "$server" || true
  rm -rf "$work"
}
trap cleanup EXIT
export TIMEFORMAT=%R

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

printf '%-9s %12s %13s %7s %13s %15s\n' messages "raw dump (s)" "header run (s)" ratio "µs/msg (run)" "retrieval (s)"
for count in $counts; do
  server=$work/dovecot-$count
  ports=$("$dovecot" start "$server" --no-ssl)
  port=${ports#pop3=}
  port=${port%% *}
  "$dovecot" fill "$server" "$count"
  folder=$work/mail-$count
  mkdir -p "$folder"
  # Dovecot indexes a new mailbox on its first session: not timed.
  "$dump" "$port" quarrow secret "$work/dump.txt" >/dev/null

  dumps=() runs=()
  for ((r = 0; r < rounds; r++)); do
    dumps+=("$(seconds "$dump" "$port" quarrow secret "$work/dump.txt")")
    rm -f "$folder"/MSG*.TXT
    runs+=("$(cd "$folder" && seconds "$getmail" -u quarrow -pw secret -s 127.0.0.1 \
      -port "$port" -headersonly)")
  done
  written=$(find "$folder" -name 'MSG*.TXT' | wc -l)
  [ "$written" = "$count" ] || { echo "the header run wrote $written of $count files" >&2; exit 1; }
  d=$(best "${dumps[@]}")
  h=$(best "${runs[@]}")

  i=$((count / 2))
  retrieval=$(cd "$folder" && seconds "$getmail" -u quarrow -pw secret -s 127.0.0.1 \
    -port "$port" -m "$i" -xtract "Extract$i-" -delete)
  left=$("$dovecot" count "$server")
  [ "$left" = $((count - 1)) ] || { echo "the retrieval left $left messages" >&2; exit 1; }

  awk -v n="$count" -v d="$d" -v h="$h" -v r="$retrieval" 'BEGIN {
    printf "%-9d %12.3f %13.3f %7.2f %13.1f %15.3f\n", n, d, h, h / d, h / n * 1e6, r }'
  "$dovecot" stop "$server"
  server=
done
