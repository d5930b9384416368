#!/usr/bin/env bash
# Runs a Windows executable under Debian's wine64, headless and quiet, in the
# Wine prefix of the Windows build (WINEPREFIX, set by tools/test_windows.sh).
# The 64-bit loader is called directly: the `wine` launcher may pick the 32-bit one.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine_run.sh: set WINEPREFIX to the Wine prefix of the build (see tools/test_windows.sh)" >&2
    exit 2
fi
export WINEPREFIX WINEDEBUG=-all DISPLAY=
exec "${WINE64:-/usr/lib/wine/wine64}" "$@"
