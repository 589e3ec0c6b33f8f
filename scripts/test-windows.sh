#!/usr/bin/env bash
# Cross-builds the Windows DLLs, xpmimport.exe and their tests with mingw-w64 into
# build-windows/ and runs the tests under Wine (a Wine prefix is made in
# build-windows/wine-prefix the first time).
# Extra arguments go to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
# With a Linux build in build/, xpmimport.exe's pictures are compared with its xpmimport's.
linux=()
[[ -x build/bin/xpmimport ]] && linux=(-DXPMFILTER_LINUX_XPMIMPORT="$PWD/build/bin/xpmimport")
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DXPMFILTER_TESTS=ON "${linux[@]}" "$@" >/dev/null
cmake --build build-windows -j "$(nproc)"
built=$SECONDS
# The wineserver is the tests' fixture: ctest starts it first and stops it last.
ctest --test-dir build-windows --output-on-failure --no-tests=error -j "$(nproc)"
echo "Windows build: $((built - start)) s, tests under Wine: $((SECONDS - built)) s"
