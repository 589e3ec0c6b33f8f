#!/usr/bin/env bash
# The metafiles xpmimport writes, as the programs people open them with show them: LibreOffice
# (headless Draw; WMF and EMF), ImageMagick's convert and libwmf's wmf2svg (WMF) place every
# picture at its true size and draw xpmimport's own PNG of it pixel for pixel. Pictures of 1, 2,
# 17, 95, 96 and 1000 pixels on each side, and one of several bands.
# Usage: real_readers_test.sh BUILD_DIR
set -euo pipefail
for program in soffice convert compare identify wmf2svg; do
  command -v "$program" >/dev/null ||
    { echo "$program is missing: scripts/install-deps.sh installs it" >&2; exit 1; }
done
xpmimport=$(realpath "$1")/bin/xpmimport
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() {
  echo "FAIL $*" >&2
  failures=$((failures + 1))
}

# An XPM picture whose rows and columns all differ, in 64 colours (none of them white).
picture() {
  awk -v w="$1" -v h="$2" 'BEGIN {
    codes = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ#$"
    printf "/* XPM */\nstatic char *p[] = {\n\"%d %d 64 1\",\n", w, h
    for (i = 0; i < 64; ++i)
      printf "\"%s c #%02x%02x%02x\",\n", substr(codes, i + 1, 1), (i * 37 + 1) % 240, (i * 91 + 2) % 240, (i * 53 + 3) % 240
    for (y = 0; y < h; ++y) {
      row = ""
      for (x = 0; x < w; ++x) row = row substr(codes, (x * 7 + y * 13 + int(x * y / 8)) % 64 + 1, 1)
      printf "\"%s\"%s\n", row, y + 1 < h ? "," : "};"
    }
  }'
}

# How a reader's picture differs from xpmimport's PNG of it: not at all (nothing said),
# its size, or how many pixels differ.
differ() {
  local want=$1 got=$2
  [ -s "$got" ] || { echo "nothing"; return; }
  [ "$(identify -format '%w %h' "$want")" = "$(identify -format '%w %h' "$got")" ] ||
    { echo "$(identify -format '%w x %h' "$got") pixels"; return; }
  local count
  count=$(compare -metric AE "$want" "$got" null: 2>&1 || true)
  [ "$count" = 0 ] || echo "$count pixels differ"
}
check() {  # check WHAT WANT GOT
  local how
  how=$(differ "$2" "$3")
  [ -z "$how" ] || fail "$1: $how"
}
cm() { awk -v p="$1" 'BEGIN { printf "%.4fcm", p * 2.54 / 96 }'; }

names=()
for w in 1 2 17 95 96 1000; do
  for h in 1 2 17 95 96 1000; do names+=("${w}x$h"); done
done
names+=(1219x300)
for name in "${names[@]}"; do
  picture "${name%x*}" "${name#*x}" >"$name.xpm"
  "$xpmimport" -q "$name.xpm" -o "$name.png"
  for kind in wmf emf; do "$xpmimport" -q "$name.xpm" -o "$kind-$name.$kind"; done
done

# ImageMagick (libwmf underneath) at 96 dpi, and wmf2svg's SVG as ImageMagick draws it. wmf2svg
# takes logical units for pixels and applies a scaled bitmap's scale twice, so it is not asked
# about a picture with a 1-pixel side, which has 2 units to the pixel (see LibreOffice below).
for name in "${names[@]}"; do
  convert -density 96 "wmf-$name.wmf" "im-$name.png" || true
  check "convert wmf-$name.wmf" "$name.png" "im-$name.png"
  case "x$name" in x1x* | *x1) continue ;; esac
  wmf2svg --inline --maxwidth=4000 --maxheight=4000 -o "$name.svg" "wmf-$name.wmf" &&
    convert "$name.svg" "svg-$name.png" || true
  check "wmf2svg wmf-$name.wmf" "$name.png" "svg-$name.png"
done

# LibreOffice, in two calls for all (it starts slowly): each metafile opened as a drawing, where
# its frame has its size, and each placed on a page of its own size, drawn at 96 dpi.
files=()
for name in "${names[@]}"; do
  width=$(cm "${name%x*}") height=$(cm "${name#*x}")
  for kind in wmf emf; do
    files+=("$kind-$name.$kind")
    printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' \
      '<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.graphics"><office:styles/>' \
      "<office:automatic-styles><style:page-layout style:name=\"PM0\"><style:page-layout-properties fo:margin-top=\"0cm\" fo:margin-bottom=\"0cm\" fo:margin-left=\"0cm\" fo:margin-right=\"0cm\" fo:page-width=\"$width\" fo:page-height=\"$height\"/></style:page-layout></office:automatic-styles>" \
      '<office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM0"/></office:master-styles>' \
      "<office:body><office:drawing><draw:page draw:name=\"p\" draw:master-page-name=\"Default\"><draw:frame svg:x=\"0cm\" svg:y=\"0cm\" svg:width=\"$width\" svg:height=\"$height\"><draw:image><office:binary-data>" \
      "$(base64 -w0 "$kind-$name.$kind")" '</office:binary-data></draw:image></draw:frame></draw:page></office:drawing></office:body></office:document>' \
      >"page-$kind-$name.fodg"
  done
done
office() { soffice "-env:UserInstallation=file://$work/profile" --headless --convert-to "$@" >/dev/null 2>&1 || true; }
office fodg --outdir opened "${files[@]}"
office png --outdir drawn page-*.fodg
for name in "${names[@]}"; do
  for kind in wmf emf; do
    # A picture larger than the page is fitted into it, keeping its shape.
    frame=$(grep -o '<draw:frame [^>]*' "opened/$kind-$name.fodg" 2>/dev/null |
      sed -n 's/.*svg:width="\([0-9.]*\)cm" svg:height="\([0-9.]*\)cm".*/\1 \2/p')
    awk -v f="$frame" -v w="${name%x*}" -v h="${name#*x}" 'BEGIN {
      if (split(f, cm, " ") != 2) exit 1
      fw = cm[1] * 96 / 2.54; fh = cm[2] * 96 / 2.54; s = w >= h ? fw / w : fh / h
      if (w <= 700 && h <= 700) s = 1
      exit !(s <= 1 && (w * s - fw)^2 < 0.25 && (h * s - fh)^2 < 0.25)
    }' || fail "LibreOffice places $kind-$name.$kind at ${frame:-nothing} (cm)"
    check "LibreOffice draws $kind-$name.$kind" "$name.png" "drawn/page-$kind-$name.png"
  done
done
echo "${#names[@]} pictures, $failures failures"
[ "$failures" = 0 ]
