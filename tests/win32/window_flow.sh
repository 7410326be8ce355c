#!/bin/bash
# The interactive window of Quarrow.exe under Wine, driven with xdotool on
# the display that with-xvfb.sh set: type the login, password, server, port
# and subject, press the buttons with Space, Enter and the mouse, check the
# default mail folder, check that Enter in a text box presses nothing and
# that the focus stays on a button through its pass, close the window; then
# a batch run with a display.
#   window_flow.sh WINE_RUN PREFIX QUARROW_EXE TOOL_EXE SCREENSHOT_FOLDER [DOVECOT]
# TOOL_EXE is the stand-in mail tool, with a mailbox of folders; or, with
# DOVECOT (tests/e2e/private-dovecot.sh) given, the real getmail.exe, with a
# private Dovecot that it reaches over STLS, trusting the server's CA.
# Leaves SCREENSHOT_FOLDER/window.png (after typing) for review.
set -euo pipefail
wine_run=$1 prefix=$2 quarrow=$3 tool=$4 shots=$5 dovecot=${6:-}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-win-window-XXXXXX")
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -z "$dovecot" ] || "$dovecot" stop "$tmp/dovecot" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  import -window root "$shots/failure.png" 2>/dev/null || true
  for log in stderr tool.log dovecot/dovecot.log; do
    [ -s "$tmp/$log" ] && { echo "--- $log" >&2; cat "$tmp/$log" >&2; }
  done
  for log in "$prefix"/drive_c/users/*/AppData/Local/Quarrow/getmail.log; do
    [ -s "$log" ] && { echo "--- getmail.log" >&2; tail -n 20 "$log" >&2; }
  done
  exit 1
}
wait_for() {
  for _ in $(seq 1200); do eval "$1" && return 0; sleep 0.1; done
  fail "timed out waiting for: $1"
}
windows_path() { echo "Z:$1" | tr / '\\'; }
# Runs an xdotool command without its focus warnings. A command that finds
# the focus on a window that has just gone (the tool's console window as it
# closes) fails with BadWindow before it sends anything: it is tried again,
# for up to ten seconds, since a loaded machine can take that long to settle
# the focus.
quiet() {
  local err
  for _ in $(seq 20); do
    if err=$("$@" 2>&1 >/dev/null); then
      [ -z "$err" ] || grep -v XGetInputFocus <<<"$err" >&2 || true
      return 0
    fi
    case $err in *BadWindow*) sleep 0.5 ;; *) break ;; esac
  done
  echo "$err" >&2
  return 1
}

# The first run makes the prefix; the default mail folder is on its drive C.
"$wine_run" "$prefix" cmd /c exit 0
folder="$prefix/drive_c/utils/PDA/Bluetooth Shared Folder"
rm -rf "$prefix/drive_c/utils"
rm -f "$shots/failure.png"
mkdir -p "$folder" "$tmp/bin" "$shots"
cp "$quarrow" "$tmp/bin/Quarrow.exe"
cp "$tool" "$tmp/bin/getmail.exe"

# The mailbox: the settings to type, the environment the tool runs in,
# add_message NUMBER SUBJECT [ATTACHMENT_TEXT] and left_subjects.
if [ -n "$dovecot" ]; then
  server=$tmp/dovecot
  ports=$(WATCH_PID=$$ "$dovecot" start "$server")
  pop3=${ports#pop3=}
  login=quarrow password=secret host=localhost port=${pop3%% *}
  export QUARROW_GETMAIL_CAFILE
  QUARROW_GETMAIL_CAFILE=$(windows_path "$server/ca.pem")
  unset QUARROW_GETMAIL_PLAINTEXT QUARROW_GETMAIL_TLS_PORTS
  add_message() {
    local file=$tmp/message-$1.eml
    {
      printf 'From: Alice <alice@example.org>\nSubject: %s\nMIME-Version: 1.0\n' "$2"
      if [ -n "${3:-}" ]; then
        printf 'Content-Type: multipart/mixed; boundary="b"\n\n--b\n'
        printf 'Content-Type: text/plain\n\nSee the picture.\n--b\n'
        printf 'Content-Type: image/jpeg; name="pic.jpg"\n'
        printf 'Content-Disposition: attachment; filename="pic.jpg"\n'
        printf 'Content-Transfer-Encoding: base64\n\n%s\n--b--\n' "$(printf %s "$3" | base64)"
      else
        printf 'Content-Type: text/plain\n\nNews.\n'
      fi
    } | sed 's/$/\r/' > "$file"
    "$dovecot" add "$server" "$file"
  }
  left_subjects() {
    for message in "$server"/mail/"$login"/new/* "$server"/mail/"$login"/cur/*; do
      [ -e "$message" ] && grep -m1 '^Subject:' "$message" | tr -d '\r'
    done
  }
else
  login=me@example.com password=s3cret host=pop.example.com port=110
  export STANDIN_MAILBOX STANDIN_LOG
  STANDIN_MAILBOX=$(windows_path "$tmp/mailbox")
  STANDIN_LOG=$(windows_path "$tmp/tool.log")
  add_message() {
    mkdir -p "$tmp/mailbox/$1"
    printf 'Subject: %s\r\n' "$2" > "$tmp/mailbox/$1/headers"
    if [ -n "${3:-}" ]; then
      mkdir -p "$tmp/mailbox/$1/attachments"
      printf %s "$3" > "$tmp/mailbox/$1/attachments/pic.jpg"
    fi
  }
  left_subjects() {
    for message in "$tmp"/mailbox/*; do
      [ -e "$message" ] && tr -d '\r' < "$message/headers"
    done
  }
fi
add_message 1 'Hello there' picture
add_message 2 'Velbrin news'

"$wine_run" "$prefix" "$tmp/bin/Quarrow.exe" 2>"$tmp/stderr" &
app=$!

# Hiding the window while the tool runs unmaps it, so it is looked up
# again after every pass.
find_window() {
  window=$(timeout 120 xdotool search --sync --onlyvisible --name '^Form1$' | head -1)
  [ -n "$window" ] || fail "the window did not appear"
  # Wine takes a moment after mapping the window before a click counts.
  sleep 2
}
find_window
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
grep -q 'Geometry: 488x230' <<<"$geometry" || fail "client area is not 488x230 at 96 dpi"

# Pixel centres at 96 dpi (15 twips a pixel): Text2 176,49; Text3 176,81;
# Text4 176,113; Text5 176,145; Text6 176,177; GetMsgHdr 380,52;
# ReadBody 380,180.
click() { quiet xdotool mousemove --window "$window" "$1" "$2" click 1; }
type_into() {
  click "$1" "$2"
  quiet xdotool key End shift+Home  # selects the box's text
  quiet xdotool type --delay 50 "$3"
}
type_into 176 49 "$login"
# Enter in a text box neither moves the focus nor selects: the password's
# first three characters, Enter, and the rest make the whole password
# (which the tool needs to log in).
type_into 176 81 "${password:0:3}"
quiet xdotool key Return
quiet xdotool type --delay 50 "${password:3}"
type_into 176 113 "$host"
type_into 176 145 "$port"
type_into 176 177 hello
sleep 1
import -window "$window" "$shots/window.png"
[ ! -e "$tmp/tool.log" ] && [ -z "$(ls "$folder")" ] || fail "Enter in a text box started a pass"

# Tab leads from Text6 to "Get message headers"; Space presses it.
quiet xdotool key Tab space
wait_for '[ -e "$folder/MSG2.TXT" ]'
find_window
# The focus is back on the button: a "v" typed now changes no box (in Text6
# the subject would match message 2 instead).
quiet xdotool type v
# Enter on the focused button presses it: a second header run writes the
# header files again.
rm "$folder"/MSG*.TXT
quiet xdotool key Return
wait_for '[ -e "$folder/MSG2.TXT" ]'
find_window

click 380 180  # Get message bodies && Delete
wait_for 'ls "$folder" | grep -q "\.vch$"'
find_window

# Alt+F4 asks the window to close, as its close box does.
click 10 10
quiet xdotool key alt+F4
status=0
wait "$app" || status=$?
app=""
[ "$status" = 0 ] || fail "exit status $status after closing"

# "hello", upper-cased by the header pass, matched message 1 only; its
# attachment got the stamped name.
if [ -z "$dovecot" ]; then
  [ "$(grep -c -- '^<-headersonly>$' "$tmp/tool.log")" = 2 ] || fail "not two header runs"
  grep -A1 -- '^<-pw>$' "$tmp/tool.log" | grep -q '^<s3cret>$' ||
    fail "the typed password did not reach the tool"
  [ "$(grep -c -- '^<-m>$' "$tmp/tool.log")" = 1 ] || fail "not exactly one message fetched"
  grep -A1 -- '^<-m>$' "$tmp/tool.log" | grep -q '^<1>$' || fail "message 1 was not fetched"
fi
result=$(ls "$folder" | grep -E '^[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}-[0-9]{2}-[0-9]{2}-1\.vch$' || true)
[ -n "$result" ] || fail "no stamped result in: $(ls "$folder")"
[ "$(cat "$folder/$result")" = picture ] || fail "the result is not the attachment"
[ "$(left_subjects)" = 'Subject: Velbrin news' ] ||
  fail "the wrong message left the mailbox; left: $(left_subjects)"

# A batch run with a display: the window shows up only after the first tool
# run, and the program ends by itself once both passes are done.
add_message 3 'Velbrin again'
# Given in pieces, as wine would quote a piece with blanks in it, and a
# scheduled task's arguments carry no quotes.
status=0
timeout 300 "$wine_run" "$prefix" "$tmp/bin/Quarrow.exe" \
  "/$login/$password/$host/$port/velbrin/c:\\utils\\PDA\\Bluetooth" Shared Folder \
  2>"$tmp/stderr" || status=$?
[ "$status" = 0 ] || fail "batch run: exit status $status"
[ -z "$(left_subjects)" ] || fail "batch run: still in the mailbox: $(left_subjects)"
[ "$(ls "$folder" | grep -c '\.vch$')" = 3 ] || fail "batch run: results: $(ls "$folder")"

# With the real tool: a header run that fails on the server's certificate
# (its CA no longer trusted) ends in Quarrow's box, which gives the tool's
# own reason; SCREENSHOT_FOLDER/reason.png keeps it.
if [ -n "$dovecot" ]; then
  env -u QUARROW_GETMAIL_CAFILE "$wine_run" "$prefix" "$tmp/bin/Quarrow.exe" 2>"$tmp/stderr" &
  app=$!
  find_window
  type_into 176 49 "$login"
  type_into 176 81 "$password"
  type_into 176 113 "$host"
  type_into 176 145 "$port"
  click 380 52  # Get message headers
  box=$(timeout 120 xdotool search --sync --onlyvisible --name '^Quarrow$' | head -1)
  [ -n "$box" ] || fail "no box after the failed header run"
  sleep 2
  import -window "$box" "$shots/reason.png"
  grep -q "not trusted" "$prefix"/drive_c/users/*/AppData/Local/Quarrow/getmail.log ||
    fail "the tool did not log the untrusted certificate"
  quiet xdotool key Return
  find_window
  quiet xdotool key alt+F4
  status=0
  wait "$app" || status=$?
  app=""
  [ "$status" = 0 ] || fail "exit status $status after the failed header run"
fi
echo "PASS"
