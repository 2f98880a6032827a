#!/bin/sh
# Turns an image into the uncompressed 24-bit BMP that libKESTOCommu prints:
# alpha flattened onto white, scaled down to the printer width when wider,
# dithered to black and white, written to /tmp/saved1.bmp.
#
#   Convert.sh IMAGE
#   KESTO_PRINT_WIDTH   printable dots (576 for 80 mm paper, the default; 384 for 58 mm)
#   KESTO_DITHER=0      threshold at 50% instead of Floyd-Steinberg dithering
#   KESTO_CONVERTER     the kesto-convert of a build, for this script run from the
#                       sources (tests, demo); one beside the script comes first
#
# JPEG, PNG, BMP and GIF go through kesto-convert (a few milliseconds); anything
# it does not read, or any failure of it, goes to ImageMagick as before.
set -eu

[ $# -eq 1 ] || { echo "usage: Convert.sh IMAGE" >&2; exit 2; }
input=$1
case "$input" in -*) input=./$input ;; esac   # never read as an option
width=${KESTO_PRINT_WIDTH:-576}
out=/tmp/saved1.bmp

# Installed, the fixed path of the script is a link into the directory that
# also holds kesto-convert: look beside the file the link leads to.
here=$(readlink -f -- "$0" 2>/dev/null || echo "$0")
converter=${here%/*}/kesto-convert
[ -x "$converter" ] || converter=${KESTO_CONVERTER:-}

if [ "${KESTO_DITHER:-1}" = 0 ]; then
  fast="--threshold"
  reduce="-threshold 50%"
else
  fast=""
  reduce="-dither FloydSteinberg -monochrome"
fi

# shellcheck disable=SC2086
if [ -n "$converter" ] && [ -x "$converter" ] &&
   "$converter" --width "$width" $fast -- "$input" "$out"; then
  exit 0
fi

# Written beside the target, then renamed over it: a link planted at the fixed
# path is replaced, never followed.
tmp=$(mktemp /tmp/kesto-convert.XXXXXX)
trap 'rm -f "$tmp"' EXIT
# A two-colour input (a black-and-white PNG) is widened to full colour before
# scaling: scaled as it is, -monochrome turned it all white.
# shellcheck disable=SC2086
convert "${input}[0]" -background white -alpha remove -alpha off -type TrueColor \
  -resize "${width}x>" -colorspace Gray $reduce -type TrueColor "BMP3:$tmp"
mv -f "$tmp" "$out"
trap - EXIT
