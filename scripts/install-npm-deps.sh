#!/bin/sh
# Installs the npm packages the tests need (the OAuth 2.0 authorization
# server oidc-provider) from the npm registry, pinned, into a folder of the
# project's own outside the checkout:
#   ${QUARROW_CACHE_DIR:-${XDG_CACHE_HOME:-~/.cache}/quarrow}/npm
# Nothing is installed globally. Prints the folder on the last line.
set -eu

VERSION=8.8.1
cache=${QUARROW_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quarrow}
folder=$cache/npm
if [ -f "$folder/node_modules/oidc-provider/package.json" ] &&
   grep -q "\"version\": \"$VERSION\"" "$folder/node_modules/oidc-provider/package.json"; then
  echo "$folder"
  exit 0
fi
# Debian's npm, where the nodejs in use does not bring its own.
command -v npm >/dev/null 2>&1 || "$(dirname "$0")/install-deps.sh" npm
mkdir -p "$folder"
cd "$folder"
[ -f package.json ] || echo '{ "name": "quarrow-test-servers", "private": true }' > package.json
npm install --no-audit --no-fund --save-exact "oidc-provider@$VERSION" >&2
echo "$folder"
