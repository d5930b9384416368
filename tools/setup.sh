#!/usr/bin/env bash
# Installs what the build needs from Debian's packages, when it is missing.
set -euo pipefail

# Libraries, checked as packages.
# Boost (headers only: Beast for HTTP and WebSocket) and GoogleTest.
libraries=(libboost1.81-dev libgtest-dev)
# The benchmarks: Google Benchmark, and libsvm's svm-train and liblinear's train
# as references for the pair trainer.
[ "${EMG_WITH_BENCH:-0}" = 1 ] && libraries+=(libbenchmark-dev libsvm-tools liblinear-tools)
# The sanitizer and fuzzing builds: clang and its runtime libraries.
[ "${EMG_WITH_CLANG:-0}" = 1 ] && libraries+=(libclang-rt-14-dev)
# Tools, checked as commands: they may come from elsewhere than a Debian package.
declare -A tools=([cmake]=cmake [g++]=g++ [make]=make [pkg-config]=pkg-config [npm]=npm [openssl]=openssl)
[ "${EMG_WITH_CLANG:-0}" = 1 ] && tools+=([clang]=clang [clang++]=clang)

missing=()
for p in "${libraries[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
for command in "${!tools[@]}"; do
    command -v "$command" >/dev/null 2>&1 || missing+=("${tools[$command]}")
done
# The browser tests drive Debian's chromium, at the path they launch.
[ -x /usr/bin/chromium ] || missing+=(chromium)

if [ ${#missing[@]} -ne 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with:  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing ${missing[*]} ..."
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi

# The browser harness's own JS package (puppeteer-core and ws), exactly as its lock
# file pins them, into tools/console_kit/node_modules; again only when the lock changed.
# puppeteer-core downloads no browser; the variable makes sure of it.
console_kit="$(dirname "$0")/console_kit"
if ! cmp -s "$console_kit/package-lock.json" "$console_kit/node_modules/.installed-lock"; then
    (cd "$console_kit" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    cp "$console_kit/package-lock.json" "$console_kit/node_modules/.installed-lock"
fi
