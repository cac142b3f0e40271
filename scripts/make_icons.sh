#!/usr/bin/env bash
# Draws Brindle's two icons with ImageMagick and writes them to frontend/ui/icons:
#   brindle.ico    the window and list icon: 16 x 16 in 256 colours and 48 x 48 in true colour
#   classfile.ico  the class-file icon, 48 x 48 in true colour
#   failed.ico     the list's mark of a class file that failed, 16 x 16 in 256 colours
#   brindle.png, classfile.png  the same 48 x 48 images, installed beside the Linux programs
#   failed.png     the same 16 x 16 mark, for the Linux list
# The results are committed; run this again only after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/.."
out=frontend/ui/icons
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
im=/usr/bin/convert

# The points of one brace on the 48-pixel grid, scaled by k; side 1 is "{", -1 is "}".
brace() {  # k side
    awk -v k="$1" -v d="$2" 'BEGIN {
        n = split("19,11 15,13 15,21 10,24 15,27 15,35 19,37", p, " ")
        for (i = 1; i <= n; i++) {
            split(p[i], xy, ",")
            printf "%g,%g ", (24 + d * (xy[1] - 24)) * k, xy[2] * k
        }
    }'
}

# The program: a blue tile with a white pair of braces, the sign of source code.
draw_program() {  # size file
    local s=$1 k
    k=$(awk -v s="$s" 'BEGIN { print s / 48 }')
    "$im" -size "${s}x${s}" xc:none -fill '#1f5fbf' -stroke '#0b3a80' \
        -strokewidth "$(awk -v k="$k" 'BEGIN { print k < 0.5 ? 1 : 2 }')" \
        -draw "roundrectangle $(awk -v k="$k" 'BEGIN { printf "%g,%g %g,%g %g,%g", 1*k, 1*k, 46*k, 46*k, 8*k, 8*k }')" \
        -fill none -stroke white -strokewidth "$(awk -v k="$k" 'BEGIN { print k < 0.5 ? 1.2 : 3.5 }')" \
        -draw "fill-opacity 0 stroke-linejoin round polyline $(brace "$k" 1) polyline $(brace "$k" -1)" \
        "$2"
}

# A class file: a white page with a folded corner and a brown bean on it.
draw_class_file() {  # file
    "$im" -size 48x48 xc:none -fill white -stroke '#555555' -strokewidth 2 \
        -draw "polygon 8,2 30,2 40,12 40,46 8,46" \
        -fill '#d8d8d8' -draw "polygon 30,2 30,12 40,12" \
        -fill '#8a4b16' -stroke '#5a2e08' -strokewidth 1 -draw "ellipse 24,30 9,12 0,360" \
        -fill none -stroke '#e9b27a' -strokewidth 2 -draw "path 'M 22,19 C 28,25 20,35 26,41'" \
        "$1"
}

# A failure: a red disc with a white cross, plain enough to read at 16 pixels.
draw_failed() {  # file
    "$im" -size 16x16 xc:none -fill '#d12c2c' -stroke '#8c1515' -strokewidth 1 \
        -draw "circle 7.5,7.5 7.5,0.5" \
        -stroke white -strokewidth 2 -draw "line 5,5 10,10 line 10,5 5,10" \
        "$1"
}

draw_program 16 "$work/program-16.png"
draw_program 48 "$work/program-48.png"
draw_class_file "$work/class-48.png"

"$im" \( "$work/program-16.png" -background white -alpha remove -colors 256 -type Palette \) \
    \( "$work/program-48.png" -type TrueColorAlpha \) "$out/brindle.ico"
"$im" "$work/class-48.png" -type TrueColorAlpha "$out/classfile.ico"
cp "$work/program-48.png" "$out/brindle.png"
cp "$work/class-48.png" "$out/classfile.png"
draw_failed "$work/failed-16.png"
"$im" "$work/failed-16.png" -background white -alpha remove -colors 256 -type Palette "$out/failed.ico"
cp "$work/failed-16.png" "$out/failed.png"
