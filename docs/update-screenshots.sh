#!/bin/sh
# Copies the screenshots of the main window, and of the box after a failed
# tool run, that the window tests leave in the build trees into docs/, for
# the README, made small with ImageMagick: no metadata, 16 colours without
# dithering.
#   docs/update-screenshots.sh [BUILD [WINBUILD]]    (build, build-win)
# Run the tests posix_window, win32_window_flow and quarrow_wine_window_flow
# first.
set -eu
docs=$(dirname "$0")
build=${1:-build} winbuild=${2:-build-win}

shrink() {
  convert "$1" -strip +dither -colors 16 -define png:compression-level=9 \
    -define png:exclude-chunks=date,time "$2"
}
shrink "$build/tests/posix/screenshots/window.png" "$docs/window-linux.png"
shrink "$winbuild/tests/win32/screenshots/window.png" "$docs/window-windows.png"
shrink "$build/tests/e2e/screenshots-wine/reason.png" "$docs/failure-windows.png"
