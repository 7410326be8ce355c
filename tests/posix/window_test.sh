#!/bin/bash
# The window under a private Xvfb, driven with xdotool: start interactive,
# check its class and icon, type a password and a subject, press the buttons
# with Space, Enter and the mouse, check the mail folder, check that Enter
# in a text box and Esc press nothing and that the focus stays on a button
# through its pass, close the window.
#   window_test.sh QUARROW STANDIN CLOSE_WINDOW SCREENSHOT_FOLDER
# Then a batch run whose tool is missing: its modal "Error" box, dismissed.
# Screenshots for review: SCREENSHOT_FOLDER/window.png (after typing),
# window-after.png (after both passes) and error-box.png.
set -euo pipefail
quarrow=$1 standin=$2 close_window=$3 shots=$4

for tool in Xvfb xdotool xprop import; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quarrow-window-XXXXXX")
xvfb="" app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$tmp/stderr" ] && cat "$tmp/stderr" >&2; exit 1; }

# Polls `condition` (a shell test) for up to 60 s.
wait_for() {
  for _ in $(seq 600); do eval "$1" && return 0; sleep 0.1; done
  fail "timed out waiting for: $1"
}

# A display of our own, on a number the server picks itself.
Xvfb -displayfd 3 -screen 0 800x600x24 -dpi 96 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
wait_for '[ -s "$tmp/display" ]'
export DISPLAY=:$(cat "$tmp/display")

folder="$tmp/c/utils/PDA/Bluetooth Shared Folder"  # the default mail folder
mkdir -p "$tmp/bin" "$tmp/home" "$folder" "$tmp/mailbox/1/attachments" "$tmp/mailbox/2"
cp "$quarrow" "$tmp/bin/quarrow"
cp "$standin" "$tmp/bin/getmail"
printf 'Subject: Hello there\r\n' > "$tmp/mailbox/1/headers"
printf 'picture' > "$tmp/mailbox/1/attachments/pic.jpg"
printf 'Subject: Velbrin news\r\n' > "$tmp/mailbox/2/headers"

cd "$tmp"
env HOME="$tmp/home" QUARROW_DRIVE_C="$tmp/c" STANDIN_MAILBOX="$tmp/mailbox" \
  STANDIN_LOG="$tmp/tool.log" "$tmp/bin/quarrow" 2>"$tmp/stderr" &
app=$!

# The visible main window; hiding it destroys its X window, so it is looked
# up again after every tool run.
find_window() {
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Form1$' | head -1)
  [ -n "$window" ] || fail "the window did not appear"
}
find_window
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
grep -q 'Geometry: 488x230' <<<"$geometry" || fail "client area is not 488x230 at 96 dpi"

# The class name and the icon a window manager shows; the Error box below
# has them too.
check_identity() {
  xprop -id "$1" WM_CLASS | grep -qx 'WM_CLASS(STRING) = "Quarrow", "Quarrow"' ||
    fail "window class: $(xprop -id "$1" WM_CLASS)"
  icons=$(xprop -id "$1" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ')
  [ "$icons" = "Icon (32 x 32) Icon (16 x 16) " ] || fail "icons: $icons"
}
check_identity "$window"

# Pixel centres at 96 dpi (15 twips a pixel): Text3 176,81; Text6 176,177;
# GetMsgHdr 380,52; ReadBody 380,180. Keys go where the pointer is.
quiet() { "$@" 2> >(grep -v XGetInputFocus >&2); }
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
type_into() {
  click "$1" "$2"
  quiet xdotool key ctrl+a
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

# Esc presses nothing and closes nothing; nor has Enter pressed anything.
quiet xdotool key Escape
sleep 1
kill -0 "$app" 2>/dev/null || fail "Esc ended the program"
[ ! -e "$tmp/tool.log" ] || fail "Enter or Esc started a pass"

# Tab leads from Text6 to "Get message headers"; Space presses it.
quiet xdotool key Tab space
wait_for '[ -e "$folder/MSG2.TXT" ]'
find_window
# The window comes back with the focus on the button that started the pass,
# also once a window manager gives it the input focus: a "v" typed now
# changes no box (in Text6 the subject would match message 2 instead).
quiet xdotool windowfocus --sync "$window"
sleep 1
quiet xdotool type v
# Enter on the focused button presses it, as on Windows: a second header run.
quiet xdotool key Return
wait_for '[ "$(grep -c -- "^<-headersonly>$" "$tmp/tool.log")" = 2 ] && [ -e "$folder/MSG2.TXT" ]'
find_window
click 380 180  # Get message bodies && Delete
wait_for 'ls "$folder" | grep -q "\.vch$"'
find_window
sleep 1
import -window "$window" "$shots/window-after.png"

"$close_window" "$window"
for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$app" || status=$?
app=""
[ "$status" = 0 ] || fail "exit status $status after closing"

# The typed subject ("hello", upper-cased by the header pass) matched
# message 1 only; its attachment got the stamped name.
runs=$(grep -c -- '^<-u>$' "$tmp/tool.log")
[ "$runs" = 3 ] || fail "expected 3 tool runs, got $runs"
grep -q -- '^<-headersonly>$' "$tmp/tool.log" || fail "no header run"
grep -A1 -- '^<-pw>$' "$tmp/tool.log" | grep -q '^<s3cret>$' || fail "the typed password did not reach the tool"
grep -A1 -- '^<-m>$' "$tmp/tool.log" | grep -q '^<1>$' || fail "message 1 was not fetched"
results=$(ls "$folder" | grep -E '^[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}-[0-9]{2}-[0-9]{2}-1\.vch$' || true)
[ -n "$results" ] || fail "no stamped result in: $(ls "$folder")"
[ "$(cat "$folder/$results")" = picture ] || fail "the result is not the attachment"
[ -d "$tmp/mailbox/2" ] && [ ! -e "$tmp/mailbox/1" ] || fail "the wrong message left the mailbox"
# Batch mode with a display and no tool: the "Error" box is modal and
# waits for OK; the main window never shows, and the run ends with status 2.
mv "$tmp/bin/getmail" "$tmp/bin/getmail.off"
env HOME="$tmp/home" QUARROW_DRIVE_C="$tmp/c" "$tmp/bin/quarrow" \
  '/me/pw/host/110/hello/c:\utils' 2>"$tmp/stderr" &
app=$!
box=$(timeout 60 xdotool search --sync --onlyvisible --name '^Error$' | head -1)
[ -n "$box" ] || fail "no Error box"
check_identity "$box"
# A fixed size: the window manager offers neither resizing nor maximize.
hints=$(xprop -id "$box" WM_NORMAL_HINTS)
min=$(sed -n 's/.*minimum size: //p' <<<"$hints")
max=$(sed -n 's/.*maximum size: //p' <<<"$hints")
[ -n "$min" ] && [ "$min" = "$max" ] || fail "the Error box can be resized: $hints"
sleep 1
import -window "$box" "$shots/error-box.png"
if xdotool search --onlyvisible --name '^Form1$' >/dev/null; then
  fail "the main window showed although the tool never started"
fi
kill -0 "$app" 2>/dev/null || fail "the program did not wait for OK"
quiet xdotool mousemove --window "$box" 10 10 key Return
for _ in $(seq 600); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
status=0
wait "$app" || status=$?
app=""
[ "$status" = 2 ] || fail "exit status $status after a tool that did not start"
echo "PASS"
