#!/usr/bin/env bash
# Draws the start-up picture, resources/splash.bmp (200 x 230, 24-bit), with ImageMagick and the
# DejaVu fonts (Debian: imagemagick, fonts-dejavu-core, fonts-dejavu-extra). Then pack it with
#   cmake --build --preset native --target splash_block
#
# The main window shows the top-left part (about 194 x 171 client pixels) until a picture is
# dropped; the program writes "Ver1.5.3" near (86, 57) and a credit line near (48, 139) in light
# grey, so those places stay plain and dark. Rows 200 to 221 of the left 48 columns hold the
# progress window's mark, drawn with white as the transparent colour.
set -euo pipefail
cd "$(dirname "$0")/.."
fonts=/usr/share/fonts/truetype/dejavu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A row of pixel tiles going from grainy (left) to clean (right): what the program does.
jitter=(58 -47 36 -55 29 -38 22 -26 15 -17 9 -8 3 0)
tiles=()
for i in "${!jitter[@]}"; do
  x=$((14 + i * 12))
  j=${jitter[$i]}
  r=$((64 + j)); g=$((138 + j)); b=$((152 + j))
  [ $r -lt 0 ] && r=0
  tiles+=(-fill "rgb($r,$g,$b)" -draw "rectangle $x,24 $((x + 8)),32")
done

# The name, light on dark, centred on the visible width.
convert -background none -fill '#e8eef4' -font "$fonts/DejaVuSans-ExtraLight.ttf" -pointsize 36 \
  label:Quorvane -trim +repage "$work/name.png"
name_w=$(identify -format %w "$work/name.png")
name_x=$(((194 - name_w) / 2))

convert -size 200x200 gradient:'#24384d'-'#0c131b' \
  \( -size 200x200 radial-gradient:'#3a5670'-'#0c131b00' -alpha on -channel A -evaluate multiply 0.35 +channel \) \
  -geometry +0-40 -composite \
  "${tiles[@]}" \
  "$work/name.png" -geometry "+${name_x}+80" -composite \
  -fill '#4f9aa8' -draw "rectangle $name_x,121 $((name_x + name_w - 1)),121" \
  "$work/top.png"

# The mark: a small tile with the initial and the short name, kept sharp against white so that
# no light fringe shows on a grey button face.
convert -size 48x22 xc:none \
  -fill '#1f3447' -draw 'roundrectangle 1,1 20,20 4,4' \
  -fill '#4f9aa8' -draw 'rectangle 5,16 16,17' \
  -font "$fonts/DejaVuSans-Bold.ttf" -pointsize 12 -fill '#e8eef4' -annotate +5+14 'Q' \
  -font "$fonts/DejaVuSans-Bold.ttf" -pointsize 10 -fill '#1f3447' -annotate +23+15 'qvn' \
  "$work/mark_rgba.png"
convert "$work/mark_rgba.png" -background '#d4d0c8' -alpha remove "$work/mark_flat.png"
convert "$work/mark_rgba.png" -alpha extract -threshold 50% -negate "$work/mark_mask.png"
convert "$work/mark_flat.png" \( -size 48x22 xc:white \) "$work/mark_mask.png" -composite "$work/mark.png"

convert -size 200x230 xc:white \
  "$work/top.png" -geometry +0+0 -composite \
  "$work/mark.png" -geometry +0+200 -composite \
  -alpha off -type TrueColor BMP3:resources/splash.bmp
echo "resources/splash.bmp drawn"
