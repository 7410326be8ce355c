#!/bin/bash
# Header scan benchmark: a batch job over a mailbox of 1,000 and of 10,000
# messages (about 2 KB of headers each, 3 of them matching), played by the
# stand-in tool; an empty mailbox gives the fixed cost of a run. For each size it reports the job's wall time, Quarrow's own
# CPU time (the job's CPU time less the stand-in's) and the time `cat` takes
# to read the same header files.
#   bench/headers/run.sh [BUILD_DIR]      (default: build)
set -euo pipefail
build=${1:-build}
quarrow=$build/bin/quarrow
standin=$build/tests/standin/standin
[ -x "$standin" ] || standin=$build/bench/headers/standin/standin
for f in "$quarrow" "$standin"; do
  [ -x "$f" ] || { echo "missing $f: build first (cmake --build $build)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TIMEFORMAT='%R %U %S'

# One header block of about 2 KB; message numbers listed in `matching` get
# the subject looked for.
make_mailbox() {  # COUNT FOLDER
  mkdir -p "$2"
  (cd "$2" && seq -f "%06g" 1 "$1" | xargs -r mkdir)
  awk -v n="$1" -v dir="$2" 'BEGIN {
    pad = "";
    for (i = 0; i < 24; i++) pad = pad "X-Filler-" i ": lorem ipsum dolor sit amet, consectetur adipiscing elit sed do\r\n";
    for (m = 1; m <= n; m++) {
      subject = (m % int(n / 3 + 1) == 7) ? "Order for Velbrin, week " m : "Status report " m;
      file = sprintf("%s/%06d/headers", dir, m);
      printf "Return-Path: <sender%d@example.com>\r\nFrom: \"Sender, No. %d\" <sender%d@example.com>\r\nTo: me@example.com\r\nSubject: %s\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nMessage-ID: <%d@example.com>\r\n%s", m, m, m, subject, m, pad > file;
      close(file);
    }
  }'
}

# own: the job's CPU time less the stand-in's; work: own less the fixed cost
# of a run (the empty mailbox's own), i.e. what the messages cost.
printf '%-8s %9s %9s %9s %9s %9s %9s\n' messages "wall(s)" "job(s)" "own(s)" "work(s)" "cat(s)" work/cat
fixed=""
for count in 0 1000 10000; do
  dir=$work/$count
  mkdir -p "$dir/bin" "$dir/c/mail" "$dir/home"
  make_mailbox "$count" "$dir/mailbox"
  cp "$quarrow" "$dir/bin/quarrow"
  cp "$standin" "$dir/bin/standin"
  # The tool beside Quarrow: the stand-in, timed on its own so that its
  # share can be taken out of the job's CPU time.
  cat > "$dir/bin/getmail" <<WRAP
#!/bin/bash
TIMEFORMAT='%U %S'
{ time "$dir/bin/standin" "\$@" ; } 2>>"$dir/tool-cpu"
WRAP
  chmod +x "$dir/bin/getmail"

  sync
  job=$( { time env QUARROW_HEADLESS=1 HOME="$dir/home" QUARROW_DRIVE_C="$dir/c" \
      STANDIN_MAILBOX="$dir/mailbox" "$dir/bin/quarrow" "/me/pw/host/110/velbrin/c:\\mail" \
      >/dev/null 2>"$dir/stderr" ; } 2>&1 )
  [ ! -s "$dir/stderr" ] || { cat "$dir/stderr" >&2; exit 1; }
  fetched=$(ls "$dir/c/mail" | grep -c '\.vch$' || true)
  read -r wall user sys <<<"$job"
  tool=$(awk '{ s += $1 + $2 } END { printf "%.3f", s }' "$dir/tool-cpu")
  own=$(awk -v u="$user" -v s="$sys" -v t="$tool" 'BEGIN { printf "%.3f", u + s - t }')

  # cat over the same header files, from the page cache as Quarrow had them.
  (cd "$dir/c/mail" && ls | grep '^MSG[0-9]*\.TXT$' | head -n "$count" > ../list || true)
  catrun=$( { time (cd "$dir/c/mail" && xargs -r cat < ../list > /dev/null) ; } 2>&1 )
  read -r _ catuser catsys <<<"$catrun"
  catcpu=$(awk -v u="$catuser" -v s="$catsys" 'BEGIN { printf "%.3f", u + s }')
  [ -n "$fixed" ] || fixed=$own
  scan=$(awk -v o="$own" -v f="$fixed" 'BEGIN { printf "%.3f", o - f }')
  ratio=$(awk -v w="$scan" -v c="$catcpu" 'BEGIN { if (c > 0) printf "%.1f", w / c; else print "-" }')
  printf '%-8s %9s %9s %9s %9s %9s %9s   (%s fetched)\n' "$count" "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')" "$own" "$scan" "$catcpu" "$ratio" "$fetched"
done
