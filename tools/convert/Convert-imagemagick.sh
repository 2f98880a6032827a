#!/bin/sh
# The conversion as it was before kesto-convert: ImageMagick alone, about
# 130 ms for a small photo. Not installed; scripts/bench measures Convert.sh
# against it. Turns any image ImageMagick can read into the uncompressed 24-bit
# BMP that libKESTOCommu prints: alpha flattened onto white, scaled down to the
# printer width when wider, dithered to black and white, written to /tmp/saved1.bmp.
#
#   Convert-imagemagick.sh IMAGE
#   KESTO_PRINT_WIDTH   printable dots (576 for 80 mm paper, the default; 384 for 58 mm)
#   KESTO_DITHER=0      threshold at 50% instead of Floyd-Steinberg dithering
set -eu

[ $# -eq 1 ] || { echo "usage: Convert-imagemagick.sh IMAGE" >&2; exit 2; }
input=$1
case "$input" in -*) input=./$input ;; esac   # never read as an option
width=${KESTO_PRINT_WIDTH:-576}
out=/tmp/saved1.bmp

if [ "${KESTO_DITHER:-1}" = 0 ]; then
  reduce="-threshold 50%"
else
  reduce="-dither FloydSteinberg -monochrome"
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
