#!/usr/bin/env bash
# Fetches one npm package (NAME@VERSION) into DEST and checks the tarball
# against its pinned sha512 before unpacking into DEST/package. Never
# committed to the repo.
#   fetch_npm_package.sh NAME@VERSION SHA512_BASE64 DEST [PATH_IN_PACKAGE ...]
# Only the listed paths are kept (all of the package when none is given).
set -euo pipefail
SPEC=${1:?usage: fetch_npm_package.sh NAME@VERSION SHA512 DEST [PATH ...]}
PINNED=${2:?pinned sha512 missing}
DEST=${3:?destination missing}
shift 3

mkdir -p "$DEST"
cd "$DEST"
if [ -f .verified ] && [ "$(cat .verified)" = "$SPEC $PINNED" ]; then exit 0; fi
rm -rf package ./*.tgz .verified
if ! npm pack "$SPEC" --silent >/dev/null 2>npm-pack.log; then
    echo "error: could not fetch $SPEC from the npm registry (see $DEST/npm-pack.log)" >&2
    exit 1
fi
tarball=$(ls ./*.tgz)
actual=$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)
if [ "$actual" != "$PINNED" ]; then
    echo "error: $tarball does not match the pinned sha512" >&2
    echo "  expected $PINNED" >&2
    echo "  got      $actual" >&2
    rm -f "$tarball"
    exit 1
fi
tar xzf "$tarball" "${@/#/package/}"
rm -f "$tarball"
echo "$SPEC $PINNED" > .verified
