#!/usr/bin/env bash
# Builds everything with clang under a sanitizer and
# runs the whole suite, as `make test` does.
#
#   tools/sanitize.sh address   AddressSanitizer + UndefinedBehaviorSanitizer in build-asan
#   tools/sanitize.sh thread    ThreadSanitizer in build-tsan
#
# Any sanitizer report fails the run: the sanitizers stop the process at the
# first report, and every report (of a test process or of a server binary that
# an end-to-end test started) is also written under BUILD/sanitizer-reports and
# printed at the end, so that a report in a child whose exit code a test does
# not look at is still seen.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
    address)
        build=build-asan
        flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
        ;;
    thread)
        build=build-tsan
        flags="-fsanitize=thread -fno-omit-frame-pointer"
        ;;
    *)
        echo "usage: tools/sanitize.sh address|thread" >&2
        exit 2
        ;;
esac
jobs=$(nproc)

EMG_WITH_CLANG=1 tools/setup.sh

reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"

# log_path writes each report to $reports/<sanitizer>.<pid>; halt_on_error ends
# the process at the first one with a non-zero exit code.
common="halt_on_error=1:log_path=$reports/SANITIZER:print_stacktrace=1"
# Only the options of this mode: a runtime may also read another's (TSan reads
# UBSAN_OPTIONS), and the last log_path read would win.
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS
if [ "$mode" = address ]; then
    export ASAN_OPTIONS="${common/SANITIZER/asan}:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:detect_leaks=1"
    export UBSAN_OPTIONS="${common/SANITIZER/ubsan}"
    export LSAN_OPTIONS="${common/SANITIZER/lsan}"
else
    export TSAN_OPTIONS="${common/SANITIZER/tsan}:second_deadlock_stack=1:exitcode=66"
fi

# Line tables are all a report's stack needs; full debug information would
# double the objects and slow the build.
started=$(date +%s)
CC=clang CXX=clang++ cmake -S . -B "$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags"
cmake --build "$build" -j"$jobs"
built=$(date +%s)

status=0
# The browser tests are left out here: the sanitizers instrument the server, not
# the page, and the server paths those tests drive are the end-to-end tests'
# too; under a sanitizer their whole walk would take most of the run.
ctest --test-dir "$build" --output-on-failure --timeout 900 -j"$jobs" -E console_browser || status=$?
finished=$(date +%s)

shopt -s nullglob
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
    echo "tools/sanitize.sh $mode: ${#found[@]} sanitizer report(s):" >&2
    for report in "${found[@]}"; do
        echo "==== $report" >&2
        cat "$report" >&2
    done
    status=1
fi
echo "tools/sanitize.sh $mode: build $((built - started)) s, tests $((finished - built)) s, status $status"
exit $status
