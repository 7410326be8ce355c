#!/bin/sh
# The "browser" of the sign-in tests ($BROWSER): follows the authorization
# address through the test server's interaction, which signs in and agrees
# at once, and on to the tool's loopback redirect.
jar=$(mktemp)
trap 'rm -f "$jar"' EXIT
curl -s -L --max-redirs 20 --max-time 60 -c "$jar" -b "$jar" -o /dev/null "$1"
