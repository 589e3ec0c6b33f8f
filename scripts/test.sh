#!/usr/bin/env bash
# Builds everything and runs every test, in stages:
#   format   the C and C++ files are as clang-format writes them
#   linux    a Release build and its tests (the install test and lintian among them)
#   asan     the whole suite once more under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz     every fuzz target for a minute (clang, libFuzzer, the sanitizers)
#   windows  the DLLs and xpmimport.exe cross-built with mingw-w64 and tested under Wine
# scripts/test.sh runs all of them in that order (CI does); scripts/test.sh STAGE... runs those
# named (windows compares with the Linux xpmimport of build/ when there is one). Tests are
# switched on explicitly (a tree configured without them, as an older demo run left it, is
# reconfigured), and a run that finds no test fails. Each stage's time is printed at its end.
set -euo pipefail
cd "$(dirname "$0")/.."
all=(format linux asan fuzz windows)
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all[@]}")
for stage in "${stages[@]}"; do
  [[ " ${all[*]} " == *" $stage "* ]] || { echo "usage: scripts/test.sh [${all[*]}]..." >&2; exit 2; }
done
scripts/install-deps.sh

stage_format() {
  scripts/check-format.sh
}

stage_linux() {
  scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DXPMFILTER_WERROR=ON -DXPMFILTER_TESTS=ON -DXPMFILTER_BENCH=ON
  ctest --test-dir build --output-on-failure --no-tests=error -j "$(nproc)"
}

stage_asan() {
  scripts/build.sh build-asan -DXPMFILTER_WERROR=ON -DXPMFILTER_TESTS=ON -DXPMFILTER_SANITIZE=ON -DXPMFILTER_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=Debug
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$(nproc)"
}

# Two targets at a time; any finding fails the run.
stage_fuzz() {
  scripts/fuzz.sh build
  for pair in "import import_structured" "file_info profile"; do
    pids=()
    for target in $pair; do
      scripts/fuzz.sh "$target" 60 --no-merge &
      pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid"; done
  done
}

stage_windows() {
  scripts/test-windows.sh -DXPMFILTER_WERROR=ON
}

for stage in "${stages[@]}"; do
  start=$SECONDS
  "stage_$stage"
  echo "test.sh: $stage passed in $((SECONDS - start)) s"
done
