#!/usr/bin/env bash
# xpmimport.exe and the Linux xpmimport, given the same inputs, must write the same pictures
# (EMF and WMF byte for byte; PNG, encoded by libpng on one and by the Windows Imaging Component
# on the other, pixel for pixel, as netpbm's pngtopnm reads them) and report the same outcome
# for each input: the --json lines, output paths aside, carry the sizes, the messages and the
# filter's result codes.
# Usage: same_pictures.sh LINUX_XPMIMPORT WINDOWS_XPMIMPORT INPUT_DIR... -- EMULATOR...
set -euo pipefail
linux=$1 windows=$2
shift 2
inputs=()
while [[ $1 != -- ]]; do inputs+=("$1"); shift; done
shift
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0 total=0 run=0
for dir in "${inputs[@]}"; do
  for format in emf wmf png; do
    out="$work/$((run += 1))"
    # Run from the inputs' directory, so that both see the same relative names.
    (cd "$dir" && "$linux" -q --json --format "$format" -d "$out/linux" -- * >"$out.linux.json" 2>/dev/null) || true
    (cd "$dir" && "${emulator[@]}" "$windows" -q --json --format "$format" -d "$out/windows" -- * \
       >"$out.windows.json" 2>/dev/null </dev/null) || true
    pictures=$(find "$out/linux" -type f 2>/dev/null | wc -l)
    if [[ $format == png ]]; then
      # A PNG that cannot be read stays as it is, and differs.
      for picture in "$out"/*/*.png; do
        [[ -e $picture ]] && pngtopnm "$picture" >"${picture%.png}.pnm" 2>/dev/null && rm "$picture" || true
      done
    fi
    if ! diff -r "$out/linux" "$out/windows" >/dev/null; then
      echo "FAIL: $dir as $format: the pictures differ"; failed=1
      diff -rq "$out/linux" "$out/windows" | head -5 || true
    elif ! diff <(sed 's/"output":"[^"]*",//' "$out.linux.json") \
                <(sed 's/"output":"[^"]*",//' "$out.windows.json" | tr -d '\r'); then
      echo "FAIL: $dir as $format: the outcomes differ"; failed=1
    else
      total=$((total + pictures))
      echo "ok: $dir as $format: $pictures pictures, $(wc -l <"$out.linux.json") outcomes alike"
    fi
  done
done
if [[ $total -eq 0 ]]; then echo "FAIL: no picture was written"; failed=1; fi
exit $failed
