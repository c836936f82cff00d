#!/usr/bin/env bash
# Renders the program's icon from resources/kestrune.svg, the one drawing of it: the desktop's
# 48x48 resources/kestrune.png and the Windows icon resources/kestrune.ico (16 to 48 pixels as
# bitmaps, 256 as PNG). Both results are committed, so builds need neither tool.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh icons
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

for size in 16 24 32 48 64 256; do
  rsvg-convert -w "$size" -h "$size" resources/kestrune.svg -o "$scratch/$size.png"
done
cp "$scratch/48.png" resources/kestrune.png
icotool -c -o resources/kestrune.ico "$scratch"/{16,24,32,48,64}.png -r "$scratch/256.png"
icotool -l resources/kestrune.ico
