#!/bin/bash
# The interactive window of Quarrow.exe under Wine, driven with xdotool on
# the display that with-xvfb.sh set: type a password and a subject, press
# the buttons with Space, Enter and the mouse, check the default mail
# folder, check that Enter in a text box presses nothing and that the focus
# stays on a button through its pass, close the window.
#   window_flow.sh WINE_RUN PREFIX QUARROW_EXE STANDIN_EXE SCREENSHOT_FOLDER
# Leaves SCREENSHOT_FOLDER/window.png (after typing) for review.
set -euo pipefail
wine_run=$1 prefix=$2 quarrow=$3 standin=$4 shots=$5

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-win-window-XXXXXX")
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  import -window root "$shots/failure.png" 2>/dev/null || true
  for log in stderr tool.log; do
    [ -s "$tmp/$log" ] && { echo "--- $log" >&2; cat "$tmp/$log" >&2; }
  done
  exit 1
}
wait_for() {
  for _ in $(seq 1200); do eval "$1" && return 0; sleep 0.1; done
  fail "timed out waiting for: $1"
}
windows_path() { echo "Z:$1" | tr / '\\'; }
quiet() { "$@" 2> >(grep -v XGetInputFocus >&2); }

# The first run makes the prefix; the default mail folder is on its drive C.
"$wine_run" "$prefix" cmd /c exit 0
folder="$prefix/drive_c/utils/PDA/Bluetooth Shared Folder"
rm -rf "$prefix/drive_c/utils"
rm -f "$shots/failure.png"
mkdir -p "$folder" "$tmp/bin" "$tmp/mailbox/1/attachments" "$tmp/mailbox/2" "$shots"
cp "$quarrow" "$tmp/bin/Quarrow.exe"
cp "$standin" "$tmp/bin/getmail.exe"
printf 'Subject: Hello there\r\n' > "$tmp/mailbox/1/headers"
printf 'picture' > "$tmp/mailbox/1/attachments/pic.jpg"
printf 'Subject: Velbrin news\r\n' > "$tmp/mailbox/2/headers"

STANDIN_MAILBOX=$(windows_path "$tmp/mailbox") \
STANDIN_LOG=$(windows_path "$tmp/tool.log") \
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

# Pixel centres at 96 dpi (15 twips a pixel): Text3 176,81; Text6 176,177;
# GetMsgHdr 380,52; ReadBody 380,180.
click() { quiet xdotool mousemove --window "$window" "$1" "$2" click 1; }
type_into() {
  click "$1" "$2"
  quiet xdotool key End shift+Home  # selects the box's text
  quiet xdotool type --delay 50 "$3"
}
# Enter in a text box neither moves the focus nor selects: "s3c", Enter,
# "ret" make the password "s3cret" (checked on the tool's command line).
type_into 176 81 's3c'
quiet xdotool key Return
quiet xdotool type --delay 50 ret
type_into 176 177 hello
sleep 1
import -window "$window" "$shots/window.png"
[ ! -e "$tmp/tool.log" ] || fail "Enter in a text box started a pass"

# Tab leads from Text6 to "Get message headers"; Space presses it.
quiet xdotool key Tab space
wait_for '[ -e "$folder/MSG2.TXT" ]'
find_window
grep -qx -- '<-headersonly>' "$tmp/tool.log" || fail "no header run"
# The focus is back on the button: a "v" typed now changes no box (in Text6
# the subject would match message 2 instead).
quiet xdotool type v
# Enter on the focused button presses it: a second header run.
quiet xdotool key Return
wait_for '[ "$(grep -c -- "^<-headersonly>$" "$tmp/tool.log")" = 2 ] && [ -e "$folder/MSG2.TXT" ]'
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
grep -A1 -- '^<-pw>$' "$tmp/tool.log" | grep -q '^<s3cret>$' ||
  fail "the typed password did not reach the tool"
[ "$(grep -c -- '^<-m>$' "$tmp/tool.log")" = 1 ] || fail "not exactly one message fetched"
grep -A1 -- '^<-m>$' "$tmp/tool.log" | grep -q '^<1>$' || fail "message 1 was not fetched"
result=$(ls "$folder" | grep -E '^[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}-[0-9]{2}-[0-9]{2}-1\.vch$' || true)
[ -n "$result" ] || fail "no stamped result in: $(ls "$folder")"
[ "$(cat "$folder/$result")" = picture ] || fail "the result is not the attachment"
[ -d "$tmp/mailbox/2" ] && [ ! -e "$tmp/mailbox/1" ] || fail "the wrong message left the mailbox"

# A batch run with a display: the window shows up only after the first tool
# run, and the program ends by itself once both passes are done.
mkdir -p "$tmp/mailbox/3"
printf 'Subject: Velbrin again\r\n' > "$tmp/mailbox/3/headers"
# Given in pieces, as wine would quote a piece with blanks in it, and a
# scheduled task's arguments carry no quotes.
status=0
STANDIN_MAILBOX=$(windows_path "$tmp/mailbox") \
  timeout 300 "$wine_run" "$prefix" "$tmp/bin/Quarrow.exe" \
  '/me/pw/pop.example.com/110/velbrin/c:\utils\PDA\Bluetooth' Shared Folder \
  2>"$tmp/stderr" || status=$?
[ "$status" = 0 ] || fail "batch run: exit status $status"
[ ! -e "$tmp/mailbox/2" ] && [ ! -e "$tmp/mailbox/3" ] ||
  fail "batch run: the Velbrin messages are still in the mailbox"
[ "$(ls "$folder" | grep -c '\.vch$')" = 3 ] || fail "batch run: results: $(ls "$folder")"
echo "PASS"
