#!/bin/sh
# Gives the tests' private Wine prefix a drive LETTER that shows FOLDER:
#   map-drive.sh WINE_RUN PREFIX LETTER FOLDER
set -e
wine_run=$1 prefix=$2 letter=$3 folder=$4
mkdir -p "$folder"
# Running anything makes the prefix first, if it is new.
"$wine_run" "$prefix" cmd /c exit 0
ln -sfn "$folder" "$prefix/dosdevices/$letter:"
