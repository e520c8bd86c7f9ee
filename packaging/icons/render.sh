#!/usr/bin/env bash
# Renders the PNG icons from org.vexo.Vexo.svg. They are kept in the
# repository, so building needs no SVG renderer; run this (it needs
# rsvg-convert, Debian package librsvg2-bin) after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert --width "$size" --height "$size" org.vexo.Vexo.svg \
    --output "${size}x${size}/org.vexo.Vexo.png"
done
