#!/bin/sh
# Copies the screenshots of the main window that the window tests leave in
# the build trees into docs/, for the README, made small with ImageMagick:
# no metadata, 16 colours without dithering.
#   docs/update-screenshots.sh [BUILD [WINBUILD]]    (build, build-win)
# Run the tests posix_window and win32_window_flow first.
set -eu
docs=$(dirname "$0")
build=${1:-build} winbuild=${2:-build-win}

shrink() {
  convert "$1" -strip +dither -colors 16 -define png:compression-level=9 \
    -define png:exclude-chunks=date,time "$2"
}
shrink "$build/tests/posix/screenshots/window.png" "$docs/window-linux.png"
shrink "$winbuild/tests/win32/screenshots/window.png" "$docs/window-windows.png"
