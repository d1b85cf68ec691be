#!/usr/bin/env bash
# Renders the program's icon from its SVG into the PNG sizes of the hicolor theme.
# Run after changing the SVG and commit the PNGs (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../app/desktop/icons/hicolor"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" scalable/apps/dendrovia.svg -o "${size}x${size}/apps/dendrovia.png"
done
