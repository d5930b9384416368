#!/usr/bin/env bash
# Runs a Windows executable under Debian's wine64, headless and quiet, in the
# Wine prefix of the build (WINEPREFIX, set by tools/test_windows.sh). wine64 is
# called directly: the `wine` launcher may pick the 32-bit loader.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the build's Wine prefix (see tools/test_windows.sh)}"
export WINEPREFIX WINEDEBUG=-all DISPLAY=
exec wine64 "$@"
