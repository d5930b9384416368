#!/usr/bin/env bash
# `make windows [ARCH=i686]`: cross-builds emgbridge.exe for Windows with Debian's
# mingw-w64 and packs dist/emgbridge-<version>-windows-<arch>.zip with the
# executable, README-windows.txt and the licence texts of what is linked in.
# The 32-bit build cannot run on this machine; it is built and packed only.
set -euo pipefail
cd "$(dirname "$0")/.."
arch="${1:-x86_64}"
case "$arch" in
    x86_64) build=build-windows; tests=ON ;;  # shares its tree with make test-windows
    i686) build=build-windows-i686; tests=OFF ;;
    *) echo "windows_package.sh: ARCH is x86_64 or i686, not '$arch'" >&2; exit 2 ;;
esac

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE="${WINDOWS_BUILD_TYPE:-Release}" -DEMG_BUILD_TESTS="$tests"
cmake --build "$build" -j"${JOBS:-2}"

exe="$build/emgbridge.exe"
[ -f "$exe" ] || { echo "windows_package.sh: no $exe after the build" >&2; exit 1; }

version="$(sed -n 's/.*SERVER_VERSION = "\([^"]*\)".*/\1/p' commands/protocol.h)"
stage="$build/package/emgbridge-$version-windows-$arch"
rm -rf "$build/package"
mkdir -p "$stage/licences" dist
"$arch-w64-mingw32-strip" -o "$stage/emgbridge.exe" "$exe"
# Windows' Notepad of older releases shows a file with bare LF line ends on one line.
sed 's/$/\r/' tools/windows/README-windows.txt >"$stage/README-windows.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/gcc-runtime-libstdc++.txt"
cp "/usr/share/doc/mingw-w64-$( [ "$arch" = i686 ] && echo i686 || echo x86-64 )-dev/copyright" \
    "$stage/licences/mingw-w64-runtime-winpthreads.txt"
# Boost's licence text alone, taken from Debian's copyright file (2 MB of
# per-file notices otherwise): the paragraph that spells out BSL-1.0.
awk '/^License: BSL-1.0$/ { getline; if ($0 ~ /Boost Software License - Version 1.0/) found = 1 }
     found && /^[^ ]/ { exit }
     found { sub(/^ /, ""); if ($0 == ".") $0 = ""; print }' \
    /usr/share/doc/libboost1.81-dev/copyright >"$stage/licences/boost.txt"
grep -q "Permission is hereby granted" "$stage/licences/boost.txt" ||
    { echo "windows_package.sh: Boost's licence text not found in Debian's copyright file" >&2; exit 1; }
for licence in "$build"/_deps/uplot/package/LICENSE; do
    [ -f "$licence" ] && cp "$licence" "$stage/licences/uplot.txt"
done
zip_path="$PWD/dist/emgbridge-$version-windows-$arch.zip"
rm -f "$zip_path"
(cd "$build/package" && zip -qr -X "$zip_path" "$(basename "$stage")")
echo "packed $zip_path"
