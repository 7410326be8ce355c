#!/bin/bash
# A private Dovecot POP3 and IMAP server on loopback, for tests, the benchmark
# and the demo.
#
#   private-dovecot.sh start DIR [--no-ssl]   start one in DIR (made if missing);
#                                             prints "pop3=PORT pop3s=PORT
#                                             imap=PORT imaps=PORT"
#   private-dovecot.sh add DIR FILE...        put messages into the mailbox
#   private-dovecot.sh fill DIR COUNT         put COUNT small made-up messages
#                                             into the mailbox (fast)
#   private-dovecot.sh stop DIR               stop it and wait until it is gone
#   private-dovecot.sh count DIR              number of messages in the mailbox
#
# Everything lives in DIR: its config (dovecot.conf), log (dovecot.log), a
# self-signed certificate for "localhost" and 127.0.0.1 (ca.pem, which is also
# the CA to trust), a passwd-file user and the Maildir (mail/), with an IMAP
# mailbox "Archive" beside INBOX. The ports are
# free ones picked at start-up (or POP3_PORT / POP3S_PORT / IMAP_PORT /
# IMAPS_PORT from the environment) and written to DIR/ports. With
# IMAP_CAPABILITY set, IMAP lists those capabilities after the sign-in, in
# place of all it has (to leave out UIDPLUS or MOVE, say). The user is $DOVECOT_USER
# (default "quarrow") with password $DOVECOT_PASSWORD (default "secret").
#
# Mail is served as nobody:nogroup: Dovecot will not serve mail as root. Run
# by another user, everything runs as that user.
#
# With OAUTH2_INTROSPECTION_URL set, start also takes OAuth 2.0 access
# tokens (mechanisms $OAUTH2_MECHANISMS, default "oauthbearer xoauth2"), which
# it checks by posting them to that URL (RFC 7662 introspection); passwords
# still work through PLAIN and LOGIN.
#
# With WATCH_PID set, start also leaves a watcher behind that stops the server
# once that process has ended, so a test program that crashes leaves no
# server running.
set -euo pipefail

die() { echo "private-dovecot: $*" >&2; exit 1; }

[ $# -ge 2 ] || die "usage: $0 start|add|stop|count DIR ..."
cmd=$1
dir=$2
shift 2

user=${DOVECOT_USER:-quarrow}
password=${DOVECOT_PASSWORD:-secret}

# The Maildir of the user.
maildir() { echo "$dir/mail/$user"; }

free_port() {
  # A port that nothing listens on now, from a high range.
  local port
  for _ in $(seq 1 200); do
    port=$(( 20000 + RANDOM % 40000 ))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      if [ "$port" != "${1:-}" ]; then echo "$port"; return; fi
    fi
  done
  die "no free port found"
}

write_config() {
  local pop3=$1 pop3s=$2 ssl=$3 imap=$4 imaps=$5
  local mail_user mail_group
  if [ "$(id -u)" = 0 ]; then
    mail_user=nobody
    mail_group=$(id -gn nobody 2>/dev/null || echo nogroup)
  else
    mail_user=$(id -un)
    mail_group=$(id -gn)
  fi
  {
    echo "# Written by private-dovecot.sh"
    echo "base_dir = $dir/run"
    echo "state_dir = $dir/state"
    echo "instance_name = quarrow-$(basename "$dir")"
    echo "protocols = pop3 imap"
    echo "listen = 127.0.0.1"
    echo "log_path = $dir/dovecot.log"
    echo "info_log_path = $dir/dovecot.log"
    echo "auth_failure_delay = 0"
    echo "disable_plaintext_auth = no"
    local oauth2_mechanisms=""
    if [ -n "${OAUTH2_INTROSPECTION_URL:-}" ]; then
      oauth2_mechanisms=${OAUTH2_MECHANISMS:-oauthbearer xoauth2}
      {
        echo "introspection_mode = post"
        echo "introspection_url = $OAUTH2_INTROSPECTION_URL"
        echo "username_attribute = username"
        echo "active_attribute = active"
        echo "active_value = true"
      } > "$dir/oauth2.conf"
    fi
    echo "auth_mechanisms = plain login $oauth2_mechanisms"
    echo "mail_location = maildir:$dir/mail/%u"
    echo "mail_uid = $mail_user"
    echo "mail_gid = $mail_group"
    echo "first_valid_uid = 0"
    echo "first_valid_gid = 0"
    echo "pop3_uidl_format = %08Xu%08Xv"
    [ -n "${IMAP_CAPABILITY:-}" ] && echo "imap_capability = $IMAP_CAPABILITY"
    if [ "$(id -u)" != 0 ]; then
      echo "default_internal_user = $(id -un)"
      echo "default_internal_group = $(id -gn)"
      echo "default_login_user = $(id -un)"
    fi
    # Only root may chroot.
    local chroot=""
    [ "$(id -u)" = 0 ] && chroot="login"
    if [ "$ssl" = yes ]; then
      echo "ssl = yes"
      echo "ssl_cert = <$dir/cert.pem"
      echo "ssl_key = <$dir/key.pem"
    else
      echo "ssl = no"
    fi
    if [ -n "$oauth2_mechanisms" ]; then
      echo "passdb {"
      echo "  driver = oauth2"
      echo "  mechanisms = $oauth2_mechanisms"
      echo "  args = $dir/oauth2.conf"
      echo "}"
    fi
    echo "passdb {"
    echo "  driver = passwd-file"
    [ -n "$oauth2_mechanisms" ] && echo "  mechanisms = plain login"
    echo "  args = scheme=PLAIN username_format=%u $dir/passwd"
    echo "}"
    echo "userdb {"
    echo "  driver = static"
    echo "  args = uid=$mail_user gid=$mail_group home=$dir/home/%u"
    echo "}"
    echo "service pop3-login {"
    echo "  chroot = $chroot"
    echo "  inet_listener pop3 {"
    echo "    port = $pop3"
    echo "  }"
    echo "  inet_listener pop3s {"
    if [ "$ssl" = yes ]; then
      echo "    port = $pop3s"
      echo "    ssl = yes"
    else
      echo "    port = 0"
    fi
    echo "  }"
    echo "}"
    # No growing delay after failed logins (the auth penalty): tests log in
    # with wrong passwords on purpose.
    echo "service anvil {"
    [ -z "$chroot" ] && echo "  chroot ="
    echo "  unix_listener anvil-auth-penalty {"
    echo "    mode = 0"
    echo "  }"
    echo "}"
    echo "service imap-login {"
    echo "  chroot = $chroot"
    echo "  inet_listener imap {"
    echo "    port = $imap"
    echo "  }"
    echo "  inet_listener imaps {"
    if [ "$ssl" = yes ]; then
      echo "    port = $imaps"
      echo "    ssl = yes"
    else
      echo "    port = 0"
    fi
    echo "  }"
    echo "}"
  } > "$dir/dovecot.conf"
}

make_certificate() {
  [ -s "$dir/cert.pem" ] && return
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" \
    -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
    -addext "basicConstraints=critical,CA:TRUE" >/dev/null 2>&1 \
    || die "openssl could not make a certificate"
  cp "$dir/cert.pem" "$dir/ca.pem"
}

master_pid() { cat "$dir/run/master.pid" 2>/dev/null || true; }

own_mail() {
  if [ "$(id -u)" = 0 ]; then
    chown -R nobody:"$(id -gn nobody 2>/dev/null || echo nogroup)" "$dir/mail" "$dir/home"
  fi
}

case $cmd in
  start)
    ssl=yes
    [ "${1:-}" = --no-ssl ] && ssl=no
    command -v dovecot >/dev/null || [ -x /usr/sbin/dovecot ] \
      || die "dovecot is not installed (Debian: apt-get install dovecot-core dovecot-pop3d dovecot-imapd)"
    PATH=$PATH:/usr/sbin
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    [ -n "$(master_pid)" ] && kill -0 "$(master_pid)" 2>/dev/null && die "already running in $dir"
    # The mail user must reach the Maildir through every folder above it.
    d=$dir
    while [ "$d" != / ]; do chmod o+x "$d" 2>/dev/null || true; d=$(dirname "$d"); done
    mkdir -p "$dir/run" "$dir/state" "$(maildir)"/{new,cur,tmp} "$dir/home/$user" \
      "$(maildir)/.Archive"/{new,cur,tmp}
    echo "$user:{PLAIN}$password::::::" > "$dir/passwd"
    own_mail
    [ "$ssl" = yes ] && make_certificate
    for attempt in 1 2 3 4 5; do
      pop3=${POP3_PORT:-$(free_port)}
      pop3s=${POP3S_PORT:-$(free_port "$pop3")}
      imap=${IMAP_PORT:-$(free_port "$pop3s")}
      imaps=${IMAPS_PORT:-$(free_port "$imap")}
      write_config "$pop3" "$pop3s" "$ssl" "$imap" "$imaps"
      if dovecot -c "$dir/dovecot.conf" 2>>"$dir/dovecot.log"; then
        break
      fi
      [ -n "${POP3_PORT:-}" ] && die "dovecot did not start; see $dir/dovecot.log"
      [ "$attempt" = 5 ] && die "dovecot did not start; see $dir/dovecot.log"
    done
    # Wait until it answers.
    for _ in $(seq 1 100); do
      if (exec 3<>"/dev/tcp/127.0.0.1/$pop3") 2>/dev/null; then break; fi
      sleep 0.05
    done
    for _ in $(seq 1 100); do
      if (exec 3<>"/dev/tcp/127.0.0.1/$imap") 2>/dev/null; then break; fi
      sleep 0.05
    done
    [ "$ssl" = yes ] || { pop3s=0; imaps=0; }
    if [ -n "${WATCH_PID:-}" ]; then
      script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
      nohup setsid bash -c 'while kill -0 "$1" 2>/dev/null && [ -d "$2/run" ]; do sleep 1; done
        bash "$3" stop "$2"' watcher "$WATCH_PID" "$dir" "$script" >/dev/null 2>&1 &
    fi
    echo "pop3=$pop3 pop3s=$pop3s imap=$imap imaps=$imaps" > "$dir/ports"
    cat "$dir/ports"
    ;;
  add)
    md=$(maildir)
    [ -d "$md/new" ] || die "no mailbox in $dir"
    n=$(date +%s)
    i=0
    for f in "$@"; do
      i=$((i + 1))
      # Names sort in the order given, so the messages keep that order.
      name=$(printf '%d.M%06dP%d.quarrow' "$n" "$i" $$)
      cp "$f" "$md/tmp/$name"
      mv "$md/tmp/$name" "$md/new/$name"
    done
    own_mail
    ;;
  fill)
    md=$(maildir)
    [ -d "$md/new" ] || die "no mailbox in $dir"
    count=${1:?fill needs a count}
    n=$(date +%s)
    # Written straight into new/ with shell built-ins only: quick for large
    # counts, and safe while no session runs.
    for ((i = 1; i <= count; i++)); do
      printf -v name '%d.M%07dP%d.fill' "$n" "$i" $$
      printf '%s\r\n' \
        "Return-Path: <sender$i@example.org>" \
        "Received: from mail.example.org by pop.example.org; Mon, 1 Jan 2024 10:00:00 +0000" \
        "From: \"Sender $i\" <sender$i@example.org>" \
        "To: Quarrow <quarrow@example.org>" \
        "Subject: Status report $i" \
        "Date: Mon, 1 Jan 2024 10:00:00 +0000" \
        "Message-ID: <$i.$n@example.org>" \
        "MIME-Version: 1.0" \
        "Content-Type: text/plain; charset=us-ascii" \
        "" \
        "Report number $i." > "$md/new/$name"
    done
    own_mail
    ;;
  stop)
    pid=$(master_pid)
    [ -n "$pid" ] || exit 0
    kill -0 "$pid" 2>/dev/null || exit 0
    # The master and every process it started (a pop3 process serving a
    # client would otherwise outlive the master for a while).
    pids="$pid $(ps -o pid= --ppid "$pid" | tr -s " \n" " ")"
    kill $pids 2>/dev/null || true
    for _ in $(seq 1 200); do
      alive=
      for p in $pids; do kill -0 "$p" 2>/dev/null && alive="$alive $p"; done
      [ -z "$alive" ] && exit 0
      sleep 0.05
    done
    kill -KILL $alive 2>/dev/null || true
    ;;
  count)
    md=$(maildir)
    find "$md/new" "$md/cur" -maxdepth 1 -type f | wc -l
    ;;
  *)
    die "unknown command $cmd"
    ;;
esac
