#!/bin/bash
# getmail retrieval benchmark on a private Dovecot (plain POP3 on loopback).
# For messages of about 10 KB, 25 MB and 100 MB, each a short text and one
# base64 attachment, with the mail folder in memory (tmpfs, /dev/shm) and on
# disk ($TMPDIR or /tmp), it measures, each the best of ROUNDS runs (default
# 3), with getmail_rusage (wall time of the whole process, and its peak
# resident set size as getrusage reports it):
#   raw RETR    getmail_pop3dump --retr: the message over one socket into a
#               file, flushed to disk with its folder: the limit;
#   retrieval   getmail -m 1 -xtract Extract1- -delete after a header run,
#               which writes the body file and the attachment and flushes
#               both and the folder before it deletes.
# Then, with the folder in memory, it times one retrieval of a message with
# PARTS attachments all named "a.txt" (default 10,000 and 40,000), which
# get "a-2.txt", "a-3.txt" and so on.
#   bench/getmail/retrieval.sh [BUILD_DIR]      (default: build)
#   SIZES="10240 26214400" PARTS=10000 ROUNDS=3 bench/getmail/retrieval.sh build
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dovecot=$here/../../tests/e2e/private-dovecot.sh
build=$(cd "${1:-build}" && pwd)
getmail=$build/bin/getmail
dump=$build/bench/getmail/getmail_pop3dump
measure=$build/bench/getmail/getmail_rusage
for f in "$getmail" "$dump" "$measure"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done
sizes=${SIZES:-10240 26214400 104857600}
parts=${PARTS-10000 40000}
rounds=${ROUNDS:-3}
# Plain POP3 on loopback: the password may go in clear here.
export QUARROW_GETMAIL_PLAINTEXT=allow

work=$(mktemp -d "${TMPDIR:-/tmp}/getmail-retrieval-XXXXXX")
places="disk:$work"
if [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
  memory=$(mktemp -d /dev/shm/getmail-retrieval-XXXXXX)
  places="memory:$memory $places"
fi
server=$work/dovecot
cleanup() {
  "$dovecot" stop "$server" || true
  rm -rf "$work" "${memory:-}"
}
trap cleanup EXIT
ports=$("$dovecot" start "$server" --no-ssl)
port=${ports#pop3=}
port=${port%% *}

# A message of about $1 bytes: a short text and one base64 attachment.
make_message() {
  local size=$1 file=$2
  {
    printf '%s\r\n' "From: Sender <sender@example.org>" "To: Quarrow <quarrow@example.org>" \
      "Subject: Bench $size" "Date: Mon, 1 Jan 2024 10:00:00 +0000" \
      "Message-ID: <bench.$size@example.org>" "MIME-Version: 1.0" \
      "Content-Type: multipart/mixed; boundary=\"=-bench-=\"" "" \
      "--=-bench-=" "Content-Type: text/plain; charset=us-ascii" "" "The data." "" \
      "--=-bench-=" "Content-Type: application/octet-stream" \
      "Content-Disposition: attachment; filename=\"data.bin\"" \
      "Content-Transfer-Encoding: base64" ""
    # 57 bytes make a line of 76 digits and CRLF: 78 bytes.
    head -c $((size * 57 / 78)) /dev/urandom | base64 -w 76 | sed 's/$/\r/'
    printf '%s\r\n' "--=-bench-=--"
  } > "$file"
}

# A message with $1 small attachments, all named "a.txt".
make_parts() {
  local count=$1 file=$2 k
  {
    printf '%s\r\n' "From: Sender <sender@example.org>" "Subject: Parts $count" \
      "Message-ID: <parts.$count@example.org>" "MIME-Version: 1.0" \
      "Content-Type: multipart/mixed; boundary=\"=-parts-=\"" ""
    for ((k = 1; k <= count; k++)); do
      printf '%s\r\n' "--=-parts-=" "Content-Type: text/plain" \
        "Content-Disposition: attachment; filename=\"a.txt\"" "" "Part $k."
    done
    printf '%s\r\n' "--=-parts-=--"
  } > "$file"
}

# "SECONDS KB" of a measured command (its own output is dropped).
measured() {
  local line
  line=$("$measure" "$@" 2>"$work/stderr" | tail -1) || {
    cat "$work/stderr" >&2
    exit 1
  }
  echo "$line"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

printf '%-7s %11s %11s %11s %9s %12s %12s\n' folder "size (B)" "raw (s)" \
  "getmail (s)" ratio "raw RSS (MB)" "getmail (MB)"
for size in $sizes; do
  make_message "$size" "$work/message.eml"
  bytes=$(stat -c %s "$work/message.eml")
  for place in $places; do
    name=${place%%:*}
    folder=${place#*:}/mail
    mkdir -p "$folder"
    raws=() runs=() rawRss=() runRss=()
    for ((r = 0; r < rounds; r++)); do
      "$dovecot" add "$server" "$work/message.eml"
      (cd "$folder" && "$getmail" -u quarrow -pw secret -s 127.0.0.1 -port "$port" \
        -headersonly) || exit 1
      read -r t kb < <(measured "$dump" --retr 1 "$port" quarrow secret "$folder/raw.eml")
      raws+=("$t") rawRss+=("$kb")
      cmp -s "$work/message.eml" "$folder/raw.eml" || { echo "the raw RETR differs" >&2; exit 1; }
      read -r t kb < <(cd "$folder" && measured "$getmail" -u quarrow -pw secret \
        -s 127.0.0.1 -port "$port" -m 1 -xtract Extract1- -delete)
      runs+=("$t") runRss+=("$kb")
      cmp -s "$work/message.eml" "$folder/MSG2.TXT" || { echo "the body file differs" >&2; exit 1; }
      [ "$("$dovecot" count "$server")" = 0 ] || { echo "the message is still there" >&2; exit 1; }
      rm -f "$folder"/*
    done
    awk -v place="$name" -v n="$bytes" -v raw="$(best "${raws[@]}")" \
      -v run="$(best "${runs[@]}")" -v rr="$(printf '%s\n' "${rawRss[@]}" | sort -g | tail -1)" \
      -v gr="$(printf '%s\n' "${runRss[@]}" | sort -g | tail -1)" 'BEGIN {
      printf "%-7s %11d %11.3f %11.3f %9.2f %12.1f %12.1f\n", place, n, raw, run, run / raw,
        rr / 1024, gr / 1024 }'
  done
done

[ -n "$parts" ] && printf '\n%-7s %9s %13s %12s\n' folder parts "retrieval (s)" "getmail (MB)"
for count in $parts; do
  make_parts "$count" "$work/message.eml"
  folder=${memory:-$work}/parts
  mkdir -p "$folder"
  "$dovecot" add "$server" "$work/message.eml"
  (cd "$folder" && "$getmail" -u quarrow -pw secret -s 127.0.0.1 -port "$port" -headersonly) ||
    exit 1
  read -r t kb < <(cd "$folder" && measured "$getmail" -u quarrow -pw secret \
    -s 127.0.0.1 -port "$port" -m 1 -xtract Extract1- -delete)
  saved=$(find "$folder" -name 'Extract1-a*.txt' | wc -l)
  [ "$saved" = "$count" ] || { echo "saved $saved of $count parts" >&2; exit 1; }
  rm -rf "$folder"
  awk -v place="${memory:+memory}" -v n="$count" -v t="$t" -v kb="$kb" 'BEGIN {
    printf "%-7s %9d %13.3f %12.1f\n", place == "" ? "disk" : place, n, t, kb / 1024 }'
done
