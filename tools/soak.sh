#!/usr/bin/env bash
# The soak: the real server under 100 WebSocket clients (valid, malformed and
# oversized traffic), the virtual armband streaming, recording and training,
# and injected armband faults, for SOAK_SECONDS (default 300); then checks that
# it is still up, answers quickly, has stopped growing in memory and kept every
# confirmed recording intact. Uses free ports.
# `make soak` builds first; BUILD_DIR chooses the build (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
SOAK_SECONDS=${SOAK_SECONDS:-300}
binary="$BUILD_DIR/soak/emgbridge_soak"
if [ ! -x "$binary" ]; then
    echo "tools/soak.sh: $binary is missing; run 'make soak' (or 'make build') first" >&2
    exit 1
fi
exec "$binary" "$SOAK_SECONDS"
