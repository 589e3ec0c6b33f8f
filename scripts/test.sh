#!/usr/bin/env bash
# Builds everything and runs every test: once as a Release build, once more under AddressSanitizer
# and UndefinedBehaviorSanitizer; then fuzzes every target for a minute; last, cross-builds for
# Windows (the DLLs and xpmimport.exe) and runs those tests under Wine. Tests are switched on
# explicitly (a tree configured without them, as an older demo run left it, is reconfigured),
# and a run that finds no test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh

scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DXPMFILTER_WERROR=ON -DXPMFILTER_TESTS=ON -DXPMFILTER_BENCH=ON
ctest --test-dir build --output-on-failure --no-tests=error -j "$(nproc)"

scripts/build.sh build-asan -DXPMFILTER_WERROR=ON -DXPMFILTER_TESTS=ON -DXPMFILTER_SANITIZE=ON -DXPMFILTER_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$(nproc)"

# Every fuzz target for a minute under the sanitizers (clang, libFuzzer), two at a time; any
# finding fails the run.
scripts/fuzz.sh build
for pair in "import import_structured" "file_info profile"; do
  pids=()
  for target in $pair; do
    scripts/fuzz.sh "$target" 60 --no-merge &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid"; done
done

# The Windows DLLs and xpmimport.exe, built with mingw-w64 and tested under Wine.
scripts/test-windows.sh -DXPMFILTER_WERROR=ON
