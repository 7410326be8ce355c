#!/bin/sh
# Runs the tests whose labels match LABELS in a sanitized build folder and
# fails on any sanitizer report, also one from a program that a test started
# (such as the getmail that the tool tests run) and whose standard error the
# test never shows: every report goes to a file in the build folder.
#   check-sanitized.sh BUILD-FOLDER LABELS [more ctest options]
set -u
build=$1 labels=$2
shift 2
source=$(cd "$(dirname "$0")" && pwd)
reports=$(cd "$build" && pwd)/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"

export ASAN_OPTIONS="log_path=$reports/report:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="log_path=$reports/report:halt_on_error=1:print_stacktrace=1"

ctest --test-dir "$build" -L "$labels" --output-on-failure "$@"
status=$?
for report in "$reports"/report.*; do
  [ -f "$report" ] || continue
  echo "--- sanitizer report $report:" >&2
  cat "$report" >&2
  status=1
done
exit $status
