#!/bin/sh
# Runs a command (the connection tests: Windows' under Wine, and Linux's)
# beside TLS servers on loopback:   tls-servers.sh COMMAND [ARGUMENT...]
# Makes a test CA, an unrelated CA and server certificates with the openssl
# command, starts one `openssl s_server` per certificate (each answers a line
# with the line reversed), and hands their ports and the files' folder (as a
# Windows path, and as it is) to the command in the environment. Gives back
# its status; with GETMAIL_TLS_SHOW_LOGS set, shows the servers' logs after a
# failure.
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/getmail-tls.XXXXXX")
pids=
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cd "$work"

ca() {  # ca FILE NAME
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" \
    -days 3 -subj "/CN=$2" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}
cert() {  # cert FILE COMMON-NAME SUBJECT-ALT-NAMES [EXTENSION-LINE]
  openssl req -new -key server.key -subj "/CN=$2" -out "$1.csr" 2>/dev/null
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n%s\n' \
    "$3" "${4:-}" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial \
    -days 3 -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
ca ca "getmail test CA"
ca other-ca "unrelated test CA"
openssl genrsa -out server.key 2048 2>/dev/null
cert localhost localhost DNS:localhost
cert other mail.other.test DNS:mail.other.test
cert address "address test" IP:127.0.0.1,IP:::1
cert dnsaddress 127.0.0.1 DNS:127.0.0.1

# Certificates that name a revocation list (a file, as Windows reads a
# "file:" address): one the list names as revoked, and one whose list is
# not there, which counts as not known.
crls="file:///Z:$work"
cert crlrevoked localhost DNS:localhost "crlDistributionPoints=URI:$crls/revoked.crl"
cert crlmissing localhost DNS:localhost "crlDistributionPoints=URI:$crls/missing.crl"
printf '[ca]\ndefault_ca = test\n[test]\ndatabase = crl.idx\ncrlnumber = crl.number\n' > crl.cnf
printf 'default_md = sha256\ndefault_crl_days = 3\n' >> crl.cnf
printf 'R\t%s\t%s\t%s\tunknown\t/CN=localhost\n' "$(date -u -d '+3 days' +%y%m%d%H%M%SZ)" \
  "$(date -u -d '-1 hour' +%y%m%d%H%M%SZ)" \
  "$(openssl x509 -in crlrevoked.pem -noout -serial | cut -d= -f2)" > crl.idx
echo 01 > crl.number
openssl ca -config crl.cnf -gencrl -keyfile ca.key -cert ca.pem -out revoked.crl 2>/dev/null

# OCSP answers for the localhost certificate, signed by the CA: "good", and
# "revoked" an hour ago (openssl ocsp as a responder, from a request file
# and an index of the CA's certificates).
serial=$(openssl x509 -in localhost.pem -noout -serial | cut -d= -f2)
expiry=$(date -u -d '+3 days' +%y%m%d%H%M%SZ)
printf 'V\t%s\t\t%s\tunknown\t/CN=localhost\n' "$expiry" "$serial" > good.idx
printf 'R\t%s\t%s\t%s\tunknown\t/CN=localhost\n' "$expiry" \
  "$(date -u -d '-1 hour' +%y%m%d%H%M%SZ)" "$serial" > revoked.idx
openssl ocsp -issuer ca.pem -cert localhost.pem -no_nonce -reqout ocsp-request.der 2>/dev/null
for answer in good revoked; do
  openssl ocsp -index "$answer.idx" -rsigner ca.pem -rkey ca.key -CA ca.pem \
    -reqin ocsp-request.der -respout "$answer.der" -ndays 1 2>/dev/null
done

# The CA files the tests name in QUARROW_GETMAIL_CAFILE.
cp ca.pem right-ca.pem
cat other-ca.pem ca.pem > second-ca.pem
cp other-ca.pem unrelated-ca.pem
printf 'no certificate here\n' > no-certificate.pem

# serve NAME INPUT CERTIFICATE [S_SERVER-OPTION...]: starts a server that
# reads commands from INPUT, and sets port_NAME once it listens.
serve() {
  name=$1
  input=$2
  certificate=$3
  shift 3
  : > "$name.log"
  stdbuf -oL openssl s_server -accept 0 -cert "$certificate.pem" -key server.key "$@" \
    0<> "$input" > "$name.log" 2>&1 &
  pids="$pids $!"
  port=
  tries=0
  while [ -z "$port" ]; do
    port=$(sed -n 's/^ACCEPT .*:\([0-9][0-9]*\)$/\1/p' "$name.log")
    tries=$((tries + 1))
    if [ -z "$port" ] && [ $tries -gt 300 ]; then
      echo "tls-servers.sh: the server $name did not start:" >&2
      cat "$name.log" >&2
      exit 1
    fi
    [ -n "$port" ] || sleep 0.1
  done
  eval "port_$name=$port"
}
serve localhost /dev/null localhost -rev
serve other /dev/null other -rev
serve address /dev/null address -rev
serve dnsaddress /dev/null dnsaddress -rev
# The localhost certificate with an OCSP answer stapled to it, under TLS 1.3
# and 1.2 (which carry it differently).
serve good /dev/null localhost -rev -status_file good.der
serve revoked /dev/null localhost -rev -status_file revoked.der
serve revoked12 /dev/null localhost -rev -status_file revoked.der -tls1_2
serve crlrevoked /dev/null crlrevoked -rev
serve crlmissing /dev/null crlmissing -rev
# TLS 1.1 only, if this OpenSSL still speaks it (security level 0).
serve tls11 /dev/null localhost -rev -tls1_1 -cipher DEFAULT@SECLEVEL=0
if ! openssl s_client -connect "127.0.0.1:$port_tls11" -tls1_1 \
       -cipher DEFAULT@SECLEVEL=0 < /dev/null > tls11-check.log 2>&1; then
  port_tls11=
fi
# TLS 1.2 in the plain mode, which takes commands on its standard input:
# "r" asks the client for a new handshake, "q" drops the connection, other
# lines go to the client. The tests write them into the pipe, and follow
# the handshakes in its log (-state; each line as it comes).
mkfifo commands.in
serve commanded commands.in localhost -tls1_2 -state

GETMAIL_TLS_DIR="Z:$(printf '%s' "$work" | tr / '\\')"
GETMAIL_TLS_PORT_LOCALHOST=$port_localhost
GETMAIL_TLS_PORT_OTHER=$port_other
GETMAIL_TLS_PORT_ADDRESS=$port_address
GETMAIL_TLS_PORT_DNSADDRESS=$port_dnsaddress
GETMAIL_TLS_PORT_TLS11=$port_tls11
GETMAIL_TLS_PORT_COMMANDED=$port_commanded
GETMAIL_TLS_PORT_GOOD=$port_good
GETMAIL_TLS_PORT_REVOKED=$port_revoked
GETMAIL_TLS_PORT_REVOKED12=$port_revoked12
GETMAIL_TLS_PORT_CRLREVOKED=$port_crlrevoked
GETMAIL_TLS_PORT_CRLMISSING=$port_crlmissing
GETMAIL_TLS_POSIX_DIR=$work
# Whether the loopback device has an IPv6 address.
GETMAIL_TLS_IPV6=0
if grep -q '^00000000000000000000000000000001 ' /proc/net/if_inet6 2>/dev/null; then
  GETMAIL_TLS_IPV6=1
fi
export GETMAIL_TLS_DIR GETMAIL_TLS_PORT_LOCALHOST GETMAIL_TLS_PORT_OTHER \
  GETMAIL_TLS_PORT_ADDRESS GETMAIL_TLS_PORT_DNSADDRESS GETMAIL_TLS_PORT_TLS11 \
  GETMAIL_TLS_PORT_COMMANDED GETMAIL_TLS_PORT_GOOD GETMAIL_TLS_PORT_REVOKED \
  GETMAIL_TLS_PORT_REVOKED12 GETMAIL_TLS_PORT_CRLREVOKED GETMAIL_TLS_PORT_CRLMISSING \
  GETMAIL_TLS_POSIX_DIR GETMAIL_TLS_IPV6
unset QUARROW_GETMAIL_CAFILE

set +e
"$@"
status=$?
if [ $status -ne 0 ] && [ -n "${GETMAIL_TLS_SHOW_LOGS:-}" ]; then
  tail -n 20 ./*.log >&2
fi
exit $status
