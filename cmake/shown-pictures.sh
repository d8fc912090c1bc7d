#!/bin/sh
# Usage: shown-pictures.sh FOLDER WIDTHxHEIGHT
# Pictures that other people's tools made, for the end-to-end comparison:
# photos and artwork from Debian's mate-backgrounds (JPEG and PNG, installed
# here when missing), and BMP files that ImageMagick makes from one of them:
# 24-bit bottom-up, 8-bit RLE (ImageMagick writes only encoded runs, which
# take more bytes than the rows would uncompressed) and 24-bit top-down;
# and photos that carry a colour profile.
# For each, ImageMagick's own decode of the part that a screen of that size
# shows goes to FOLDER as a PPM, and FOLDER/list.txt names the picture (a
# Linux path) and its decode, a tab between them. Made again only when this
# script is newer than the list. FOLDER/names.txt lists the same way copies
# whose names no code page holds, for runs under Japanese and English code
# pages, which need those locales (made here when missing).
set -e
folder=$1
size=$2
list="$folder/list.txt"
[ -f "$list" ] && [ "$list" -nt "$0" ] && exit 0

backgrounds=/usr/share/backgrounds/mate
if [ ! -d "$backgrounds" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian package mate-backgrounds. As root, run: apt-get install -y mate-backgrounds" >&2
    exit 1
  fi
  echo "Installing mate-backgrounds"
  # Package lists may be missing or old on a fresh machine.
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q mate-backgrounds >/dev/null 2>&1 || {
    DEBIAN_FRONTEND=noninteractive apt-get update -q >/dev/null || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q mate-backgrounds >/dev/null
  }
fi

# Wine takes its code page from the locale it starts in; a UTF-8 locale that
# exists also lets it spell any file name.
for name in ja_JP en_US; do
  locale -a | grep -qix "$name.utf8" && continue
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing locale $name.UTF-8. As root, run: localedef -i $name -f UTF-8 $name.UTF-8" >&2
    exit 1
  fi
  localedef -i "$name" -f UTF-8 "$name.UTF-8"
done

mkdir -p "$folder"
: >"$list.part"
# The decode of what the screen shows: upright as the EXIF orientation says,
# and, where the picture is transparent, over black, as Wine paints the
# background under it.
# Further arguments go before the rest, as -profile to turn colours.
decode() {
  picture=$1
  name=$2
  shift 2
  convert "$picture[0]" "$@" -auto-orient -background black -alpha remove -crop "$size+0+0" \
    +repage -depth 8 "ppm:$folder/$name"
  printf '%s\t%s\n' "$picture" "$name" >>"$list.part"
}

# Larger and smaller than a 1920x1080 screen; the first is wider than 4000.
for picture in abstract/Elephants_5640x3172.jpg nature/Garden.jpg nature/GreenMeadow.jpg \
    nature/Dune.jpg desktop/Ubuntu-Mate-Cold-no-logo.png desktop/Float-into-MATE.png \
    abstract/Arc-Colors-Transparent-Wallpaper.png desktop/Stripes.png; do
  decode "$backgrounds/$picture" "$(basename "$picture").ppm"
done

photo="$backgrounds/nature/Garden.jpg"
part=2200x1300+0+0
convert "$photo" -crop "$part" +repage -type truecolor "BMP3:$folder/bottom-up.bmp"
convert "$photo" -crop "$part" +repage -type palette -compress RLE "BMP3:$folder/rle8.bmp"
# ImageMagick writes rows bottom-up only: the same rows stored top-down.
python3 - "$folder/bottom-up.bmp" "$folder/top-down.bmp" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
rows_at, = struct.unpack_from('<I', data, 10)
width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
row = (width * bits + 31) // 32 * 4
rows = [data[rows_at + i * row:rows_at + (i + 1) * row] for i in range(height)]
header = bytearray(data[:rows_at])
struct.pack_into('<i', header, 22, -height)
open(sys.argv[2], 'wb').write(bytes(header) + b''.join(reversed(rows)))
EOF
for bmp in bottom-up.bmp rle8.bmp top-down.bmp; do
  decode "$folder/$bmp" "$bmp.ppm"
done

# Photos that carry a colour profile, made as a camera or an editor writes
# them (Debian's colord-data has the profiles), each decoded by ImageMagick
# turned into sRGB: JPEG in Adobe RGB (its profile in one APP2 segment, and
# again split over two), a PNG in ProPhoto RGB that is partly transparent, a
# TIFF in Wide Gamut RGB; and a JPEG tagged sRGB, which shows as stored.
icc=/usr/share/color/icc/colord
convert "$photo" -crop "$part" +repage -profile "$icc/sRGB.icc" -profile "$icc/AdobeRGB1998.icc" \
  -quality 92 "$folder/adobe-rgb.jpg"
python3 - "$folder/adobe-rgb.jpg" "$folder/adobe-rgb-split.jpg" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
at = data.index(b'\xff\xe2')
length, = struct.unpack_from('>H', data, at + 2)
head, profile = data[at + 4:at + 18], data[at + 18:at + 2 + length]
assert head == b'ICC_PROFILE\0\x01\x01'
half = len(profile) // 2
segments = b''.join(b'\xff\xe2' + struct.pack('>H', 2 + 14 + len(chunk)) + b'ICC_PROFILE\0' +
                    bytes([number, 2]) + chunk
                    for number, chunk in ((1, profile[:half]), (2, profile[half:])))
open(sys.argv[2], 'wb').write(data[:at] + segments + data[at + 2 + length:])
EOF
dune="$backgrounds/nature/Dune.jpg"
convert "$dune" -profile "$icc/sRGB.icc" -profile "$icc/ProPhotoRGB.icc" -alpha set -channel A \
  -evaluate set 60% +channel "$folder/prophoto-translucent.png"
convert "$dune" -profile "$icc/sRGB.icc" -profile "$icc/WideGamutRGB.icc" -compress lzw \
  "$folder/wide-gamut.tif"
convert "$photo" -crop "$part" +repage -profile "$icc/sRGB.icc" "$folder/srgb.jpg"
for tagged in adobe-rgb.jpg adobe-rgb-split.jpg prophoto-translucent.png wide-gamut.tif; do
  decode "$folder/$tagged" "$tagged.ppm" -profile "$icc/sRGB.icc"
done
decode "$folder/srgb.jpg" srgb.jpg.ppm

# Copies of three of them under names that code pages 932 and 1252 cannot
# spell (but for the Japanese one, which 932 can), in UTF-8 written as
# escapes to keep this file ASCII: a PNG named with an accent and an emoji,
# a BMP named in Japanese, a JPEG named in Korean; and a Korean name that no
# file has, which shows only the background.
cafe=$(printf 'caf\303\251 \360\237\220\261.png')
photo=$(printf '\345\206\231\347\234\237.bmp')
seoul=$(printf '\354\204\234\354\232\270 \354\202\254\354\247\204.jpg')
missing=$(printf '\354\227\206\353\212\224 \352\267\270\353\246\274.png')
cp "$backgrounds/desktop/Float-into-MATE.png" "$folder/$cafe"
cp "$folder/bottom-up.bmp" "$folder/$photo"
cp "$backgrounds/nature/GreenMeadow.jpg" "$folder/$seoul"
convert -size 64x64 xc:black -depth 8 "ppm:$folder/background.ppm"
printf '%s\t%s\n' "$folder/$cafe" Float-into-MATE.png.ppm "$folder/$photo" bottom-up.bmp.ppm \
  "$folder/$seoul" GreenMeadow.jpg.ppm "$folder/$missing" background.ppm >"$folder/names.txt"
mv "$list.part" "$list"
