#!/bin/sh
# A "browser" ($BROWSER) that goes straight back to the tool's loopback
# redirect with a code and a state of its own, as a page the user happened
# to open could send it.
redirect=$(printf '%s\n' "$1" | sed -n 's/.*[?&]redirect_uri=\([^&]*\).*/\1/p' |
           sed 's/%3A/:/g; s/%2F/\//g')
curl -s --max-time 30 -o /dev/null "${redirect}?code=forged-code&state=forged-state"
