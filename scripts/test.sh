#!/usr/bin/env bash
# Builds everything and runs every test: once as shipped, once more under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build -DXPMFILTER_WERROR=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

scripts/build.sh build-asan -DXPMFILTER_WERROR=ON -DXPMFILTER_SANITIZE=ON -DXPMFILTER_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
