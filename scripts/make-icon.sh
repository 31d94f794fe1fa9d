#!/usr/bin/env bash
# Renders the application icon from its drawing resources/icon/km4200.svg:
#   resources/km4200.ico                   48, 32, 24 and 16 px, each in 8-bit palette and 32-bit colour
#   resources/icon/kestrix-studio-<n>.png  the hicolor theme sizes for the desktop entry
# Needs rsvg-convert (librsvg2-bin), ImageMagick and icotool (icoutils).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source_svg=$root/resources/icon/km4200.svg
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrix-icon.XXXXXX")
trap 'rm -rf "$work"' EXIT

for tool in rsvg-convert convert icotool; do
    command -v "$tool" >/dev/null || { echo "make-icon: $tool is missing" >&2; exit 1; }
done

render() { # size output
    rsvg-convert --width "$1" --height "$2" "$source_svg" --output "$3"
}

# Hicolor theme PNGs (RGBA, no metadata chunks so the files stay reproducible).
for size in 16 24 32 48 64 128 256; do
    render "$size" "$size" "$work/raw-$size.png"
    convert "$work/raw-$size.png" -strip -define png:color-type=6 "$root/resources/icon/kestrix-studio-$size.png"
done

# The .ico: per size an 8-bit palette image (alpha cut to on/off, since
# palette icons only have a 1-bit mask) and a 32-bit image with full alpha.
ico_args=()
for size in 48 32 24 16; do
    convert "$work/raw-$size.png" -channel A -threshold 50% +channel -dither None -colors 255 \
        "PNG8:$work/palette-$size.png"
    ico_args+=(--bit-depth=8 "$work/palette-$size.png" --bit-depth=32 "$work/raw-$size.png")
done
icotool --create --output="$root/resources/km4200.ico" "${ico_args[@]}"

icotool --list "$root/resources/km4200.ico"
count=$(icotool --list "$root/resources/km4200.ico" | wc -l)
if [ "$count" -ne 8 ]; then
    echo "make-icon: expected 8 images in km4200.ico, found $count" >&2
    exit 1
fi
