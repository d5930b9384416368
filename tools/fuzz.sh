#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer over the whole build) in build-fuzz and runs each
# for FUZZ_SECONDS (default 60), starting from its seed corpus fuzz/corpus/<target>
# and the regression inputs fuzz/regressions/<target>, with a scratch corpus in
# build-fuzz/fuzz/work/<target>. Fails when any target finds a crash, a leak,
# a time-out or a sanitizer report; the input is left in
# build-fuzz/fuzz/artifacts/<target>/ (fix the fault, then keep the input in
# fuzz/regressions/<target>/, which the test suite replays).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=build-fuzz
jobs=$(nproc)
targets=(frames http model_file recordings)

EMG_WITH_CLANG=1 tools/setup.sh

mkdir -p "$build"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

started=$(date +%s)
CC=clang CXX=clang++ cmake -S . -B "$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DEMG_BUILD_TESTS=OFF -DEMG_BUILD_FUZZ=ON
cmake --build "$build" -j"$jobs" --target "${targets[@]/%/_fuzzer}"
built=$(date +%s)

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

failed=()
for target in "${targets[@]}"; do
    work="$PWD/$build/fuzz/work/$target"
    artifacts="$PWD/$build/fuzz/artifacts/$target"
    log="$PWD/$build/fuzz/$target.log"
    mkdir -p "$work" "$artifacts"
    corpora=("$work" "$PWD/fuzz/corpus/$target")
    [ -d "fuzz/regressions/$target" ] && corpora+=("$PWD/fuzz/regressions/$target")
    options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=40000 -print_final_stats=1)
    # The frames target has the hub's threads allocating beside every input, so
    # libFuzzer's leak check after each input (a full heap scan) would always
    # run; the target checks for leaks once, when the run ends, instead. Its
    # inputs that connect the armband take seconds (the listener lets a new
    # connection settle for 2 s): prefer the fast ones.
    [ "$target" = frames ] && options+=(-detect_leaks=0 -entropic_scale_per_exec_time=1)
    # Absolute paths: the targets work in a scratch folder of their own.
    status=0
    "$build/fuzz/${target}_fuzzer" "${options[@]}" -artifact_prefix="$artifacts/" \
        "${corpora[@]}" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: ${runs:-?} runs in ${seconds} s, exit status $status (log: $log)"
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        tail -n 60 "$log" >&2
        ls -l "$artifacts" >&2
    fi
done
finished=$(date +%s)

echo "tools/fuzz.sh: build $((built - started)) s, fuzzing $((finished - built)) s"
if [ ${#failed[@]} -gt 0 ]; then
    echo "tools/fuzz.sh: faults found by: ${failed[*]}" >&2
    exit 1
fi
