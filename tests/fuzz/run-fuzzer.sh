#!/bin/sh
# Runs one fuzz target for $QUARROW_FUZZ_SECONDS seconds (default 20): first
# every seed in corpus/NAME and every input that once broke it in
# regressions/NAME, then new inputs. Fails on a crash, a leak, a sanitizer
# report, a broken property, an input slower than the time-out or an
# allocation past the limit, and names the file that keeps the input.
#   run-fuzzer.sh TARGET-PROGRAM FUZZ-SOURCE-FOLDER NAME WORK-FOLDER
set -u
program=$1 source=$2 name=$3 work=$4
seconds=${QUARROW_FUZZ_SECONDS:-20}

# What the fuzzer finds goes into the work folder, never into the sources.
mkdir -p "$work/corpus" "$work/artifacts"
set -- "$work/corpus" "$source/corpus/$name"
if [ -d "$source/regressions/$name" ]; then set -- "$@" "$source/regressions/$name"; fi
if [ -f "$source/dict/$name.dict" ]; then set -- -dict="$source/dict/$name.dict" "$@"; fi

# Reports on standard error, each one the end of the run.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# Inputs are a few kilobytes: no allocation needs 64 MB, and none may be
# sized by a number the input holds.
"$program" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -malloc_limit_mb=64 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$@"
status=$?
if [ $status -ne 0 ]; then
  echo "fuzz_$name failed (status $status); the input is kept in $work/artifacts/." >&2
  echo "Keep it as a regression in $source/regressions/$name/ once the fault is understood." >&2
fi
exit $status
