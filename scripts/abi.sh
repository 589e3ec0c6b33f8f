#!/usr/bin/env bash
# The ABI of the three libraries against the baselines in abi/ (abidw and abidiff, Debian's
# abigail-tools), over the exports and the public headers' types.
#   scripts/abi.sh check BUILD_DIR     compare the build with the baselines (the abi_check test)
#   scripts/abi.sh baseline BUILD_DIR [--incompatible]
#                                      write the baselines from the build
# check compares types where the libraries carry debug information (a Debug or RelWithDebInfo
# build, such as CI's sanitizer build) and the exports' names elsewhere; any difference fails,
# so that abi/ always says what is exported. baseline needs debug information, and refuses a
# change other than additions (a removed export, a changed signature or record) unless the
# library's SONAME changed with it (XPMFILTER_*_SOVERSION in CMakeLists.txt) or, for the
# module, which has none, --incompatible is given.
set -euo pipefail
source=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: scripts/abi.sh check|baseline BUILD_DIR [--incompatible]"
mode=${1:?$usage}
build=$(cd "${2:?$usage}" && pwd)
allow=${3:-}
libraries=(libwinshim.so.1 libvrgdi32.so.1 libxpmfilter.so)
# The libraries' names come from the build, whatever their SONAME numbers.
for i in "${!libraries[@]}"; do
    base=${libraries[$i]%%.so*}
    found=$(cd "$build/lib" && ls "$base".so.[0-9]* 2>/dev/null | head -1 || true)
    libraries[$i]=${found:-$base.so}
done
common=(--exported-interfaces-only --drop-private-types)

# True when the library carries debug information (read whole: grep -q would end readelf
# early, and pipefail would count that as a failure).
has_debug_info() {
    [[ $(readelf -S "$1") == *.debug_info* ]]
}

# True when an abidiff report holds more than additions: something removed or changed.
breaks() {
    grep -E 'summary: [1-9][0-9]* Removed|Removed, [1-9][0-9]* Changed' <<<"$1" >/dev/null
}

for library in "${libraries[@]}"; do
    binary=$build/lib/$library
    baseline=$source/abi/${library%%.so*}.abi
    [ -e "$binary" ] || { echo "abi: $binary is not built" >&2; exit 1; }
    if [ "$mode" = baseline ]; then
        has_debug_info "$binary" ||
            { echo "abi: $binary has no debug information (use a Debug or RelWithDebInfo build)" >&2; exit 1; }
        if [ -e "$baseline" ]; then
            report=$(abidiff "${common[@]}" --hd2 "$source/include" "$baseline" "$binary" || true)
            old=$(sed -n "1s/.* soname='\([^']*\)'.*/\1/p" "$baseline")
            new=$(readelf -d "$binary" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
            if breaks "$report" && [ "$old" = "$new" ] && [ "$allow" != --incompatible ]; then
                echo "$report"
                echo "abi: $library changes incompatibly but keeps its SONAME '$new';" \
                     "raise its number in CMakeLists.txt (or pass --incompatible for the module)" >&2
                exit 1
            fi
        fi
        abidw "${common[@]}" --headers-dir "$source/include" --no-corpus-path --no-comp-dir-path \
            --no-show-locs --no-elf-needed --type-id-style hash --out-file "$baseline" "$binary"
        sed -i "s|path='$source/|path='|" "$baseline"
        echo "abi: wrote $baseline"
        continue
    fi
    [ "$mode" = check ] || { echo "$usage" >&2; exit 2; }
    [ -e "$baseline" ] || { echo "abi: no baseline $baseline" >&2; exit 1; }
    what="types and exports"
    has_debug_info "$binary" || what="exports only (no debug information)"
    status=0
    report=$(abidiff "${common[@]}" --hd2 "$source/include" "$baseline" "$binary") || status=$?
    if [ "$status" -ne 0 ]; then
        echo "$report"
        if breaks "$report"; then
            echo "abi: $library changed incompatibly: raise its SONAME number in CMakeLists.txt" \
                 "and write the baseline anew (scripts/abi.sh baseline BUILD_DIR)" >&2
        else
            echo "abi: $library changed: write the baseline anew (scripts/abi.sh baseline" \
                 "BUILD_DIR, from a build with debug information)" >&2
        fi
        exit 1
    fi
    echo "abi: $library matches $baseline ($what)"
done
