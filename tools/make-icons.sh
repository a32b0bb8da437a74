#!/usr/bin/env bash
# Renders the application icon's fixed-size PNGs from its SVG (hicolor theme).
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
for size in 48 256; do
  rsvg-convert -w "$size" -h "$size" quiltor.svg -o "quiltor-$size.png"
done
