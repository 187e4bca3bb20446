#!/bin/sh
# Regenerates the pictures of the utility's window in this folder.
# Needs ImageMagick ("convert") and the Liberation fonts (fonts-liberation).
#
#   window_icon_32.png, window_icon_16.png, window_icon.ico  window icon
#   logo.png      242x65  maker's wordmark, top left of the window
#   status_32.png, status_16.png                             STATUS button
#   kick.png      78x60   kick button (an open cash drawer)
#   help.png      64x64   help button
#   exit_32.png, exit_16.png                                 exit button
#   hicolor/crtest_N.png  the window icon for the desktop's menus, N from 16 to 256
#
# Each window picture has a copy twice its size beside it, NAME@2x.png, for
# screens scaled by 1.5 or 2; Qt finds it by that name.
#
# The small icons are pixel art in the classic 16-colour palette, written
# out in art/*.txt one character per pixel; "." is transparent. They are only ever
# enlarged by whole factors, pixel for pixel, so that they stay crisp. The
# larger pictures are drawn at four times their size and scaled down, once
# to their size and once to twice their size.
set -eu

cd "$(dirname "$0")"

command -v convert >/dev/null 2>&1 || {
    echo "make_pictures.sh: ImageMagick 'convert' is missing" >&2; exit 1; }
for font in Liberation-Sans-Bold Liberation-Sans-Bold-Italic; do
    convert -list font | grep -q "Font: $font\$" || {
        echo "make_pictures.sh: font $font is missing (fonts-liberation)" >&2
        exit 1; }
done

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# No time stamps, so that a rerun gives the same bytes.
PNGOPT="-strip -define png:exclude-chunks=date,time"
# The window decodes the plain copies of its larger pictures at every start: stored
# unfiltered and uncompressed they take less than half the instructions to read, for some
# 60 KB more in the program. The doubled copies are read only on scaled screens.
STORED="-quality 1 -define png:compression-level=0"

PALETTE='. c None
k c #000000
R c #800000
G c #008000
Y c #808000
N c #000080
P c #800080
T c #008080
s c #C0C0C0
g c #808080
r c #FF0000
L c #00FF00
y c #FFFF00
b c #0000FF
M c #FF00FF
C c #00FFFF
w c #FFFFFF'

# pixel_icon OUT.png: reads the picture from standard input, one text line
# per pixel row, and writes it as a palette PNG, and OUT@2x.png with every
# pixel doubled.
pixel_icon() {
    out=$1
    cat > "$TMP/art"
    w=$(awk 'NR == 1 { print length($0) }' "$TMP/art")
    h=$(awk 'END { print NR }' "$TMP/art")
    awk -v w="$w" 'length($0) != w {
        printf "%s: row %d is %d wide, not %d\n", FILENAME, NR, length($0), w
        bad = 1 } END { exit bad }' "$TMP/art" || {
        echo "make_pictures.sh: bad art for $out" >&2; exit 1; }
    {
        echo '/* XPM */'
        echo 'static char *icon[] = {'
        echo "\"$w $h $(printf '%s\n' "$PALETTE" | wc -l) 1\","
        printf '%s\n' "$PALETTE" | sed 's/.*/"&",/'
        sed 's/.*/"&",/' "$TMP/art"
        echo '};'
    } > "$TMP/icon.xpm"
    # shellcheck disable=SC2086
    convert "$TMP/icon.xpm" $PNGOPT "PNG8:$out"
    # shellcheck disable=SC2086
    convert "$TMP/icon.xpm" -scale 200% $PNGOPT "PNG8:${out%.png}@2x.png"
}

# enlarged IN.png FACTOR PADDING OUT.png: IN with every pixel repeated FACTOR
# times each way, then PADDING transparent pixels added all round.
enlarged() {
    # shellcheck disable=SC2086
    convert "$1" -scale "$(($2 * 100))%" -background none -bordercolor none \
        -border "$3" $PNGOPT "PNG8:$4"
}

# Window icon: a red dollar sign above a grey cash drawer, on black.
pixel_icon window_icon_32.png < art/window_icon_32.txt

pixel_icon window_icon_16.png < art/window_icon_16.txt

# Both sizes in one file, for the Windows program file.
convert window_icon_32.png window_icon_16.png window_icon.ico

# The sizes desktop menus ask for: the 16 pixel art up to 48, the 32 one
# above; 22 and 24 are not whole multiples of either, so they frame the 16.
mkdir -p hicolor
enlarged window_icon_16.png 1 0 hicolor/crtest_16.png
enlarged window_icon_16.png 1 3 hicolor/crtest_22.png
enlarged window_icon_16.png 1 4 hicolor/crtest_24.png
enlarged window_icon_32.png 1 0 hicolor/crtest_32.png
enlarged window_icon_16.png 3 0 hicolor/crtest_48.png
enlarged window_icon_32.png 2 0 hicolor/crtest_64.png
enlarged window_icon_32.png 4 0 hicolor/crtest_128.png
enlarged window_icon_32.png 8 0 hicolor/crtest_256.png

# STATUS button: a blue question mark over a grey device.
pixel_icon status_32.png < art/status_32.txt

pixel_icon status_16.png < art/status_16.txt

# Exit button: a figure leaving through a door, and a red arrow.
pixel_icon exit_32.png < art/exit_32.txt

pixel_icon exit_16.png < art/exit_16.txt

# Kick button: an open cash drawer pulled out of its cabinet, notes at the
# back, coins in the cups at the front. The background is the button's own
# colour, RGB(255,255,192). Coordinates are those of the 78x60 picture.
# shellcheck disable=SC2086
convert -size 312x240 xc:'#ffffc0' -draw "scale 4,4
 stroke none
 fill #d8d8b0 ellipse 39,57.5 38,2.5 0,360
 fill #7a8088 polygon 15,3 63,3 72,9 6,9
 fill #545a62 rectangle 6,9 72,28
 fill #1a1c20 rectangle 10,12 68,24
 fill #8c929a polygon 11,19 67,19 75,44 3,44
 fill #e6e3d8 polygon 13.5,20.5 64.5,20.5 71.5,43 6.5,43
 fill #b9b6aa polygon 12.4,30 65.6,30 66.6,32.3 11.4,32.3
 stroke-width 0.5
 fill #5b9a4e stroke #2f5e28 rectangle 17,21 27,29.5 rectangle 29,21 38,29.5
 fill #4f7fb8 stroke #284f80 rectangle 40,21 49,29.5
 fill #c78f4c stroke #7a5320 rectangle 51,21 61,29.5
 stroke none
 fill #8fc47f ellipse 22,25.3 2.6,2.2 0,360 ellipse 33.5,25.3 2.5,2.2 0,360
 fill #86aee0 ellipse 44.5,25.3 2.5,2.2 0,360
 fill #e6b47a ellipse 56,25.3 2.6,2.2 0,360
 stroke #9aa0a8 stroke-width 1
 line 28,20.5 27.6,30 line 39,20.5 39,30 line 50,20.5 50.4,30
 line 22.5,32.3 21.4,43 line 33.5,32.3 33.1,43
 line 44.5,32.3 44.9,43 line 55.5,32.3 56.6,43
 stroke none
 fill #e0b52a circle 16.5,38 20.5,38 fill #f2d35c circle 16,37.3 17.5,37.3
 fill #c8c8cc circle 28,38 31.8,38 fill #e4e4e8 circle 27.5,37.3 29,37.3
 fill #b87333 circle 39,38 42.5,38 fill #d99a5e circle 38.5,37.3 40,37.3
 fill #c8c8cc circle 50,38 53.8,38 fill #e4e4e8 circle 49.5,37.3 51,37.3
 fill #e0b52a circle 61.5,38 65.5,38 fill #f2d35c circle 61,37.3 62.5,37.3
 fill #444a52 rectangle 3,44 75,57
 fill #6c727a rectangle 3,44 75,45.5
 fill #2e3238 rectangle 3,56 75,57
 fill #16181b roundrectangle 28,48.5 50,52.5 2,2
 fill #7c828a rectangle 30,52.5 48,53.3
 fill #c9a43a circle 66,50.5 67.8,50.5
 fill #2a2a2a rectangle 65.7,49.6 66.3,51.4
" \( +clone -resize 156x120 -depth 8 $PNGOPT -write PNG24:kick@2x.png +delete \) \
 -resize 78x60 -depth 8 $PNGOPT $STORED PNG24:kick.png

# Help button: a red question mark in a ring above "HELP", on white.
# shellcheck disable=SC2086
convert -size 256x256 xc:'#ffffff' \
    -fill none -stroke '#d01010' -strokewidth 12 \
    -draw "circle 128,96 128,28" \
    -stroke none -fill '#d01010' -font Liberation-Sans-Bold -gravity north \
    -pointsize 104 -annotate +0+36 '?' \
    -pointsize 64 -annotate +0+184 'HELP' \
    \( +clone -resize 128x128 -depth 8 $PNGOPT -write PNG24:help@2x.png +delete \) \
    -resize 64x64 -depth 8 $PNGOPT $STORED PNG24:help.png

# Maker's logo: a "V" badge and the wordmark "Varnel", on the grey of the
# window's dialog face (#efefef).
# shellcheck disable=SC2086
convert -size 968x260 xc:'#efefef' \
    -fill '#1d3f7a' -draw "roundrectangle 24,34 204,214 28,28" \
    -fill '#d42a20' -draw "polygon 24,162 204,122 204,158 24,198" \
    -gravity northwest \
    -fill '#ffffff' -font Liberation-Sans-Bold -pointsize 190 \
    -annotate +44+20 'V' \
    -fill '#1d3f7a' -font Liberation-Sans-Bold-Italic -pointsize 200 \
    -annotate +236+6 'Varnel' \
    -fill '#d42a20' -draw "rectangle 244,204 936,222" \
    \( +clone -resize 484x130 -depth 8 $PNGOPT -write PNG24:logo@2x.png +delete \) \
    -resize 242x65 -depth 8 $PNGOPT $STORED PNG24:logo.png
