#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the program icon resources/rennzeit.svg into the PNG sizes desktops
# look for (resources/icons/<size>/rennzeit.png). The PNG files are kept in
# the repository, so a build needs no SVG renderer; run this again after
# changing the SVG. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert > /dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "resources/icons/$size"
  rsvg-convert --width "$size" --height "$size" --format png --output "resources/icons/$size/rennzeit.png" \
    resources/rennzeit.svg
done
