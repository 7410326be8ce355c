#!/bin/sh
# Runs COMMAND on a private session bus with a Secret Service of its own, for
# the tests of the desktop keyring store:
#   secret-service-session.sh COMMAND [ARG...]
# The Secret Service is gnome-keyring-daemon, whose login keyring (under
# $XDG_DATA_HOME/keyrings, which the caller points at a folder of its own) is
# made, or unlocked, with a password of the tests' given on standard input
# (printf is the shell's own: no command line holds it; with an empty one
# the daemon makes no keyring). Ends with COMMAND's status, or 125 when the
# Secret Service does not come up.
if [ "$1" != --inside ]; then
  exec /usr/bin/dbus-run-session -- /bin/sh "$0" --inside "$@"
fi
shift
printf 'only-for-tests' | /usr/bin/gnome-keyring-daemon --foreground --unlock --components=secrets \
  >/dev/null 2>&1 &
keyring=$!
up=no
for _ in $(seq 300); do
  if /usr/bin/dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
     grep -q 'boolean true'; then
    up=yes
    break
  fi
  sleep 0.1
done
if [ "$up" != yes ]; then
  echo "secret-service-session.sh: gnome-keyring-daemon did not come up" >&2
  kill "$keyring" 2>/dev/null
  exit 125
fi
"$@"
status=$?
kill "$keyring" 2>/dev/null
wait "$keyring" 2>/dev/null
exit $status
