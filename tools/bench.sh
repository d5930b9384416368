#!/usr/bin/env bash
# Builds the benchmarks in a Release tree and runs them all (`make bench`):
# the Google benchmarks of the hot paths, the in-process broadcast benchmark,
# model generation against libsvm and liblinear, the end-to-end tool against
# the real binary and the Node.js `ws` peer, and the web console in chromium
# (bench/console/console_bench.mjs).
# Everything is printed and also kept in $BENCH_BUILD_DIR/bench-results.txt.
#
# The broadcast and end-to-end benchmarks listen on port 8888 (and the virtual
# armband's control endpoint on 127.0.0.1:8889): both must be free.
#
# Environment:
#   BENCH_BUILD_DIR   build tree (default build-bench)
#   BENCH_QUICK=1     short runs (Google benchmarks 0.1 s each, e2e_bench --quick)
#   BENCH_FILTER=RE   only the Google benchmarks matching RE
#   E2E_ARGS="..."    extra arguments for e2e_bench (see e2e_bench --help)
#   BENCH_SKIP_BUILD=1  use the tree as it is (no set-up, configure, build or npm ci)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BENCH_BUILD_DIR:-build-bench}
RESULTS=$BUILD/bench-results.txt

if [ "${BENCH_SKIP_BUILD:-0}" != 1 ]; then
    EMG_WITH_BENCH=1 tools/setup.sh
    # The tests are not needed here; leaving them out keeps the tree independent of them.
    cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DEMG_BUILD_BENCH=ON -DEMG_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD" -j"$(nproc)" --target emgbridge model_bench training_bench core_bench broadcast_bench \
        e2e_bench console_recordings
    # The Node peer's one dependency, exactly as pinned in its lock file, into the build tree.
    (cd "$BUILD/bench/node-peer" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error)
fi

google_args=()
if [ "${BENCH_QUICK:-0}" = 1 ]; then
    google_args+=(--benchmark_min_time=0.1)
    E2E_ARGS="--quick ${E2E_ARGS:-}"
fi
[ -n "${BENCH_FILTER:-}" ] && google_args+=("--benchmark_filter=$BENCH_FILTER")

set +e  # one failing benchmark does not stop the others; the exit status tells
status=0
run() {
    echo
    echo "### $*"
    "$@" || { echo "### failed ($?): $*"; status=1; }
}

{
    echo "### machine"
    echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "nproc:   $(nproc)"
    echo "cpu:     $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    echo "memory:  $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
    echo "kernel:  $(uname -r)"
    echo "load:    $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "g++:     $(g++ --version | head -1)"
    echo "node:    $(node --version)"
    echo "git:     $(git rev-parse --short HEAD 2>/dev/null || echo '?')$(git diff --quiet 2>/dev/null || echo ' (with local changes)')"

    run "$BUILD/bench/model_bench" "${google_args[@]}"
    run "$BUILD/bench/training_bench"
    run "$BUILD/bench/core_bench" "${google_args[@]}"
    run "$BUILD/bench/broadcast_bench" "${google_args[@]}"
    # shellcheck disable=SC2086  # E2E_ARGS is a list of words
    run "$BUILD/bench/e2e_bench" ${E2E_ARGS:-}
    # The console: chromium and puppeteer-core as tools/setup.sh installed them for the browser tests.
    run env EMGBRIDGE_BINARY="$BUILD/emgbridge" CONSOLE_RECORDINGS="$BUILD/tools/console_kit/console_recordings" \
        CONSOLE_BENCH_SECONDS="$([ "${BENCH_QUICK:-0}" = 1 ] && echo 3 || echo 10)" \
        node bench/console/console_bench.mjs
    exit $status
} 2>&1 | tee "$RESULTS"
status=${PIPESTATUS[0]}
echo
echo "Results kept in $RESULTS"
exit "$status"
