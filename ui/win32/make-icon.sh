#!/bin/sh
# Makes Quarrow.ico, the Windows program's icon, from the drawings the Linux
# window uses (16 x 16 and 32 x 32), with ImageMagick. Run it after changing
# a drawing and commit both.
set -eu
here=$(dirname "$0")
convert "$here/../fltk/quarrow-16.xpm" "$here/../fltk/quarrow-32.xpm" \
  -define icon:format=bmp "$here/Quarrow.ico"
