#!/usr/bin/env bash
# Fetches uWebSockets 0.14.5 from the npm registry into DEST and checks it
# against the pinned sha512 before unpacking. Never committed to the repo.
set -euo pipefail
DEST=${1:?usage: fetch_uws.sh DEST}
PINNED='oMU9WJmbsu0M2oGXJ8vgbDSTLxAGCfvLGg1knjH07E9LgKTQ1cdDTGMwUl8bvEwsfKiAiwLEWRbE+hC/Qvtsjw=='
TARBALL=uws-0.14.5.tgz

mkdir -p "$DEST"
cd "$DEST"
if [ -f src/.verified ]; then exit 0; fi
rm -rf package src "$TARBALL"
if ! npm pack uws@0.14.5 --silent >/dev/null 2>npm-pack.log || [ ! -f "$TARBALL" ]; then
    echo "error: could not fetch uws@0.14.5 from the npm registry (see $DEST/npm-pack.log)" >&2
    exit 1
fi
actual=$(openssl dgst -sha512 -binary "$TARBALL" | base64 -w0)
if [ "$actual" != "$PINNED" ]; then
    echo "error: $TARBALL does not match the pinned sha512" >&2
    echo "  expected $PINNED" >&2
    echo "  got      $actual" >&2
    rm -f "$TARBALL"
    exit 1
fi
tar xzf "$TARBALL" package/src package/LICENSE
mv package/src src
mv package/LICENSE src/LICENSE
rm -rf package "$TARBALL"
touch src/.verified
