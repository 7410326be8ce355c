#!/bin/sh
# A "browser" ($BROWSER) that goes straight back to the tool's loopback
# redirect with an answer of its own, as a page the user happened to open
# could send it: with a state of its own, or (FORGE=issuer) with the right
# state but another issuer's name (RFC 9207).
redirect=$(printf '%s\n' "$1" | sed -n 's/.*[?&]redirect_uri=\([^&]*\).*/\1/p' |
           sed 's/%3A/:/g; s/%2F/\//g')
state=$(printf '%s\n' "$1" | sed -n 's/.*[?&]state=\([^&]*\).*/\1/p')
case "${FORGE:-state}" in
  issuer) query="code=forged-code&state=$state&iss=https%3A%2F%2Fevil.example" ;;
  *) query="code=forged-code&state=forged-state" ;;
esac
curl -s --max-time 30 -o /dev/null "${redirect}?${query}"
