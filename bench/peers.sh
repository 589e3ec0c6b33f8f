#!/usr/bin/env bash
# Times xpmimport against the other XPM readers on this machine, side by side in one run:
# libXpm's XpmReadFileToXpmImage (decode only), gdk-pixbuf's gdk_pixbuf_new_from_file,
# ImageMagick's convert (XPM -> PNG) and xpmimport (XPM -> EMF file, XPM -> PNG).
# Each cell is the best of RUNS whole-process wall times and that run's peak resident
# memory (/usr/bin/time %M), with the time as a multiple of libXpm's.
#
#   bench/peers.sh [BUILD_DIR]        (default: build; xpmimport is BUILD_DIR/bin/xpmimport)
#   RUNS=5 SEED=7 WORK=/tmp/xpm-peers bench/peers.sh
#
# The inputs are uniform noise over a palette of random colours, made from SEED, so every
# run on every machine reads the same files. Installs nothing: a peer whose Debian package
# is missing is skipped and named (libxpm-dev, libgdk-pixbuf-2.0-dev, imagemagick; a C
# compiler and pkg-config build the harnesses).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
runs=${RUNS:-3}
seed=${SEED:-1}
work=${WORK:-${TMPDIR:-/tmp}/xpm-peers}
xpmimport=$build/bin/xpmimport
mkdir -p "$work"

say() { printf '%s\n' "$*" >&2; }

[ -x "$xpmimport" ] || { say "no $xpmimport: build the project first (scripts/build.sh build)"; exit 1; }
command -v cc >/dev/null || { say "no C compiler (Debian: gcc)"; exit 1; }
[ -x /usr/bin/time ] || { say "no /usr/bin/time (Debian: time)"; exit 1; }

cc -O2 -o "$work/gen_xpm" "$here/peers/gen_xpm.c" || exit 1
have_xpm=0 have_pixbuf=0 have_convert=0
if cc -O2 -o "$work/libxpm_read" "$here/peers/libxpm_read.c" -lXpm 2>/dev/null; then have_xpm=1
else say "skipping libXpm: install libxpm-dev"; fi
if pkg-config --exists gdk-pixbuf-2.0 2>/dev/null &&
   cc -O2 -o "$work/pixbuf_read" "$here/peers/pixbuf_read.c" $(pkg-config --cflags --libs gdk-pixbuf-2.0); then
    have_pixbuf=1
else say "skipping gdk-pixbuf: install libgdk-pixbuf-2.0-dev"; fi
# Only ImageMagick's own convert counts (not a stand-in of the same name).
convert_bin=$(command -v convert-im6.q16 || command -v convert || true)
if [ -n "$convert_bin" ] && "$convert_bin" -version 2>/dev/null | grep -q ImageMagick; then have_convert=1
else say "skipping ImageMagick: install imagemagick"; fi

# name width height chars-per-pixel colours
inputs=(
    "4096x4096-1c-64 4096 4096 1 64"
    "4096x4096-2c-256 4096 4096 2 256"
    "2048x2048-3c-4000 2048 2048 3 4000"
    "16384x4096-2c-256 16384 4096 2 256"
)
icon_count=2000
for shape in "${inputs[@]}"; do
    read -r name w h cpp colours <<<"$shape"
    [ -s "$work/$name.xpm" ] || "$work/gen_xpm" "$w" "$h" "$cpp" "$colours" "$seed" "$work/$name.xpm" || exit 1
done
if [ ! -s "$work/icons/icon-$icon_count.xpm" ]; then
    mkdir -p "$work/icons"
    for ((i = 1; i <= icon_count; i++)); do
        "$work/gen_xpm" 48 48 1 32 $((seed * 100000 + i)) "$work/icons/icon-$i.xpm" || exit 1
    done
fi

# Runs a command RUNS times; prints "seconds peak-KiB" of the fastest run, or "failed".
best_of() {
    local best="" best_rss="" t0 t1 elapsed
    for ((r = 0; r < runs; r++)); do
        t0=$(date +%s%N)
        if ! /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/stderr"; then
            say "failed: $* ($(grep -v 'exit status' "$work/stderr" | tail -1))"
            echo failed
            return
        fi
        t1=$(date +%s%N)
        elapsed=$((t1 - t0))
        if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed best_rss=$(tail -1 "$work/rss"); fi
    done
    echo "$best $best_rss"
}

# "0.123 s (2.5x) 54 MiB" from "nanoseconds KiB" and the libXpm time.
cell() {
    local result=$1 base=$2
    [ "$result" = failed ] && { echo "failed"; return; }
    [ -z "$result" ] && { echo "-"; return; }
    read -r ns kib <<<"$result"
    awk -v ns="$ns" -v kib="$kib" -v base="$base" 'BEGIN {
        ratio = base > 0 ? sprintf(" (%.2fx)", ns / base) : "";
        printf "%.3f s%s, %.0f MiB", ns / 1e9, ratio, kib / 1024 }'
}

row() {
    local label=$1 xpm=$2 emf=$3 png=$4 pixbuf=$5 convert=$6
    local base=""
    [ -n "$xpm" ] && [ "$xpm" != failed ] && base=${xpm%% *}
    printf '| %s | %s | %s | %s | %s | %s |\n' "$label" "$(cell "$xpm" "")" "$(cell "$pixbuf" "$base")" \
        "$(cell "$convert" "$base")" "$(cell "$emf" "$base")" "$(cell "$png" "$base")"
}

say "runs: best of $runs; inputs in $work (seed $seed); $(nproc) processors, $(uname -srm)"
echo "| input (noise, seed $seed) | libXpm read | gdk-pixbuf read | convert -> PNG | xpmimport -> EMF | xpmimport -> PNG |"
echo "|---|---|---|---|---|---|"
for shape in "${inputs[@]}"; do
    read -r name _ <<<"$shape"
    in=$work/$name.xpm
    xpm="" pixbuf="" convert=""
    [ $have_xpm = 1 ] && xpm=$(best_of "$work/libxpm_read" "$in")
    [ $have_pixbuf = 1 ] && pixbuf=$(best_of "$work/pixbuf_read" "$in")
    [ $have_convert = 1 ] && convert=$(best_of "$convert_bin" "$in" "png:$work/out-im.png")
    emf=$(best_of "$xpmimport" -q "$in" -o "$work/out.emf")
    png=$(best_of "$xpmimport" -q "$in" -o "$work/out.png")
    row "$name" "$xpm" "$emf" "$png" "$pixbuf" "$convert"
done

icons=("$work"/icons/icon-*.xpm)
xpm="" pixbuf="" convert=""
[ $have_xpm = 1 ] && xpm=$(best_of "$work/libxpm_read" "${icons[@]}")
[ $have_pixbuf = 1 ] && pixbuf=$(best_of "$work/pixbuf_read" "${icons[@]}")
mogrify_bin=$(dirname "$convert_bin")/mogrify
[ $have_convert = 1 ] && [ -x "$mogrify_bin" ] && mkdir -p "$work/icons-im" &&
    convert=$(best_of "$mogrify_bin" -path "$work/icons-im" -format png "${icons[@]}")
emf=$(best_of "$xpmimport" -q -d "$work/icons-emf" "${icons[@]}")
png=$(best_of "$xpmimport" -q --format png -d "$work/icons-png" "${icons[@]}")
row "$icon_count icons 48x48 (-d; convert: mogrify)" "$xpm" "$emf" "$png" "$pixbuf" "$convert"
if [ -n "$emf" ] && [ "$emf" != failed ]; then
    awk -v ns="${emf%% *}" -v n="$icon_count" 'BEGIN { printf "\nxpmimport -d: %.0f files/s\n", n / (ns / 1e9) }'
fi
