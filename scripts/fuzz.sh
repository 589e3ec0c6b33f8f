#!/usr/bin/env bash
# One fuzzing campaign: scripts/fuzz.sh TARGET SECONDS [--no-merge]   (or: scripts/fuzz.sh build)
# TARGET is import, import_structured, file_info or profile. Builds the libFuzzer binaries with
# clang under AddressSanitizer and UndefinedBehaviorSanitizer (in build-fuzz/), runs TARGET for
# SECONDS at libFuzzer's default limits from its corpus, and then merges the inputs that found
# new coverage into fuzz/corpus/ (not with --no-merge, as CI runs it). A finding is copied to
# fuzz/regressions/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: scripts/fuzz.sh TARGET SECONDS [--no-merge] | scripts/fuzz.sh build"
target=${1:?$usage}
merge=yes
[[ ${3:-} == --no-merge ]] && merge=no
corpus_name=${target%_structured}
build=${XPMFILTER_FUZZ_BUILD:-build-fuzz}

if [[ ! -f $build/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DXPMFILTER_FUZZ=ON -DXPMFILTER_SANITIZE=ON -DXPMFILTER_TESTS=OFF -DXPMFILTER_BENCH=OFF >/dev/null
fi
ninja -C "$build" import_fuzz import_structured_fuzz file_info_fuzz profile_fuzz >/dev/null
[[ $target == build ]] && exit 0
seconds=${2:?$usage}

corpus=fuzz/corpus/$corpus_name
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/new" "$work/findings"
# Small inputs reach every branch; large ones only slow the campaign. The sample pictures
# seed the XPM readers; a profile starts from its own corpus.
case $corpus_name in
  import) options=(-dict=fuzz/xpm.dict -max_len=32768) seeds=(samples) ;;
  file_info) options=() seeds=(samples) ;;
  *) options=(-max_len=4096) seeds=() ;;
esac

status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/bin/${target}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$work/findings/" "${options[@]}" "$work/new" "$corpus" "${seeds[@]}" >"$work/log" 2>&1 || status=$?
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^#[0-9]+.*DONE' "$work/log" || true

if [[ $status -ne 0 ]] || compgen -G "$work/findings/*" >/dev/null; then
  mkdir -p "fuzz/regressions/$corpus_name"
  cp "$work"/findings/* "fuzz/regressions/$corpus_name/" 2>/dev/null || true
  tail -n 60 "$work/log"
  echo "fuzz.sh: $target found a failure; the input is in fuzz/regressions/$corpus_name/" >&2
  exit 1
fi
if [[ $merge == yes ]] && compgen -G "$work/new/*" >/dev/null; then
  "$build/bin/${target}_fuzz" -merge=1 "$corpus" "$work/new" >/dev/null 2>&1
  echo "merged new coverage into $corpus ($(ls "$corpus" | wc -l) inputs)"
fi
