#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and starts Rennzeit.
# Without a display the program runs under Xvfb: a screenshot of the main
# window is saved to build/screenshot.png and the program is ended.
# Only the program is built here; the folder's test and benchmark settings
# are left as they are, so the test command finds its tests afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build --target rennzeit
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/bin/rennzeit
fi
shot=$PWD/build/screenshot.png
rm -f "$shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  ./build/bin/rennzeit & pid=$!
  shown=
  for i in $(seq 1 50); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"rennzeit" && { shown=1; break; }
    kill -0 $pid 2>/dev/null || break
    sleep 0.2
  done
  [ -n "$shown" ] || { echo "run.sh: the main window did not appear" >&2; kill $pid 2>/dev/null; exit 1; }
  sleep 1.5
  kill -0 $pid 2>/dev/null || { echo "run.sh: the program ended by itself" >&2; exit 1; }
  import -window root "$1"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
' _ "$shot"
echo "No display: Rennzeit ran under Xvfb; screenshot of the main window: $shot"
