#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick. The results are committed
# beside this script; run it again only to change a picture.
set -euo pipefail
cd "$(dirname "$0")"
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# An alarm clock on a transparent 256 x 256 canvas: two bells, a red body,
# a white face with hour marks, hands at ten past ten, and two feet.
clock256() {
    convert -size 256x256 xc:none \
        -stroke '#5a1010' -strokewidth 10 -fill '#c62828' \
        -draw "circle 62,58 62,22" -draw "circle 194,58 194,22" \
        -stroke '#5a1010' -strokewidth 12 \
        -draw "line 74,214 52,244" -draw "line 182,214 204,244" \
        -stroke '#5a1010' -strokewidth 10 -fill '#d32f2f' \
        -draw "circle 128,138 128,36" \
        -stroke '#8e2424' -strokewidth 4 -fill '#fffdf5' \
        -draw "circle 128,138 128,54" \
        -stroke '#333333' -strokewidth 7 \
        -draw "line 128,62 128,76" -draw "line 128,200 128,214" \
        -draw "line 52,138 66,138" -draw "line 190,138 204,138" \
        -stroke '#222222' -strokewidth 12 -draw "line 128,138 92,112" \
        -stroke '#222222' -strokewidth 8 -draw "line 128,138 168,92" \
        -stroke none -fill '#222222' -draw "circle 128,138 128,128" \
        "$@"
}

# Application icon in the usual sizes, and the 32 x 32 logo (256 colours).
clock256 -depth 8 app-256.png
for s in 16 24 32 48 64 128; do
    convert app-256.png -filter Lanczos -resize ${s}x${s} -depth 8 app-${s}.png
done
convert app-256.png -filter Lanczos -resize 32x32 -colors 255 PNG8:logo.png

# Options: a grey gear with eight teeth.
convert -size 256x256 xc:none -fill '#607d8b' -stroke '#37474f' -strokewidth 6 \
    -draw "translate 128,128 rotate 0 roundrectangle -22,-118 22,118 8,8" \
    -draw "translate 128,128 rotate 45 roundrectangle -22,-118 22,118 8,8" \
    -draw "translate 128,128 rotate 90 roundrectangle -22,-118 22,118 8,8" \
    -draw "translate 128,128 rotate 135 roundrectangle -22,-118 22,118 8,8" \
    -stroke none -draw "circle 128,128 128,36" \
    -fill '#90a4ae' -draw "circle 128,128 128,58" \
    -fill none -stroke '#37474f' -strokewidth 6 -draw "circle 128,128 128,36" \
    -fill '#eceff1' -draw "circle 128,128 128,100" \
    -filter Lanczos -resize 32x32 -colors 255 PNG8:options.png

# About: a word-mark on a soft blue plate, 74 x 32.
convert -size 296x128 xc:none -fill '#1e5aa8' -stroke '#0d3570' -strokewidth 6 \
    -draw "roundrectangle 4,4 291,123 30,30" \
    -stroke none -fill white -font "$FONT" -pointsize 84 -gravity center \
    -annotate +0+2 "About" \
    -filter Lanczos -resize 74x32 -colors 255 PNG8:about.png

# Help: a white question mark on a green disc, 24-bit colour with alpha.
convert -size 256x256 xc:none -fill '#2e7d32' -stroke '#1b5e20' -strokewidth 8 \
    -draw "circle 128,128 128,8" \
    -stroke none -fill white -font "$FONT" -pointsize 190 -gravity center \
    -annotate +0+6 "?" \
    -filter Lanczos -resize 32x32 PNG32:help.png

# About box, upper left (219 x 222): the clock on a pale morning sky.
clock256 -resize 170x170 clock-170.png
convert -size 219x222 gradient:'#dcecff'-'#ffffff' \
    -fill '#ffe082' -stroke none -draw "circle 180,46 180,22" \
    clock-170.png -gravity center -geometry +0+8 -composite \
    -interlace Plane -colorspace sRGB -type TrueColor -quality 90 about-clock.jpg
rm -f clock-170.png

# About box, lower (241 x 113): a night sky with a crescent moon, stars and
# low hills.
convert -size 241x113 gradient:'#0b1a3a'-'#2c4f8a' \
    -fill '#fff4c2' -draw "circle 196,36 196,14" \
    -fill '#1a3466' -draw "circle 206,30 206,10" \
    -fill white \
    -draw "point 20,14" -draw "point 48,30" -draw "point 76,10" -draw "point 104,24" \
    -draw "point 132,8" -draw "point 150,36" -draw "point 30,46" -draw "point 90,44" \
    -draw "circle 60,20 61,21" -draw "circle 122,38 123,39" -draw "circle 168,16 169,17" \
    -fill '#14284f' -draw "ellipse 60,126 110,40 180,360" \
    -fill '#0f2140' -draw "ellipse 190,130 120,38 180,360" \
    -fill '#9fb8e0' -font "$FONT" -pointsize 14 -annotate +16+96 "z z z" \
    -interlace Plane -colorspace sRGB -type TrueColor -quality 90 about-night.jpg
