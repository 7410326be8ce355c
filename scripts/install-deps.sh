#!/bin/sh
# Installs the Debian packages named on the command line that are missing.
# Needs root for that; without it, names what is missing and fails.
missing=""
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "Missing Debian packages:$missing (run 'make' as root to install them)" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q &&
  apt-get install -y --no-install-recommends $missing
