#!/usr/bin/env bash
# Installs what is missing, builds and starts Rennzeit.
# Without a display the program runs under Xvfb: a screenshot of the main
# window is saved to build/screenshot.png and the program is ended.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build -DRENNZEIT_TESTS=OFF -DRENNZEIT_BENCH=OFF
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/bin/rennzeit
fi
shot=$PWD/build/screenshot.png
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  ./build/bin/rennzeit & pid=$!
  for i in $(seq 1 50); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"rennzeit" && break
    sleep 0.2
  done
  sleep 1.5
  import -window root "$1"
  kill $pid 2>/dev/null; wait $pid 2>/dev/null || true
' _ "$shot"
echo "No display: Rennzeit ran under Xvfb; screenshot of the main window: $shot"
