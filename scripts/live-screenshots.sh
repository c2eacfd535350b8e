#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the live results as spectators see them: the program runs
# under Xvfb with live results on, a start list is loaded and a race timed
# with the keys (xdotool), then headless Chromium opens the results page as a
# phone (390 x 844) and the spectator display is captured.
#   scripts/live-screenshots.sh <out-folder> [build-folder]
# Saves live-phone.png, live-display-page.png (the /display page at 1280 x 720),
# live-anzeige.png (the spectator window) and live-desktop.png (the screen).
set -euo pipefail
out=$(realpath -m "${1:?usage: $0 <out-folder> [build-folder]}")
build=$(realpath "${2:-$(dirname "$0")/../build}")
program=$build/bin/rennzeit
[ -x "$program" ] || { echo "no program at $program; build it first"; exit 1; }
mkdir -p "$out"

work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/config" "$work/home"
# The original settings, with a window tall enough to show every entry, then
# the live results.
cat > "$work/config/rennzeit.conf" <<CONF
[General]
Port=0
Alg=0
Left=0
Top=0
Width=1000
Height=680
Sound=0
C1=0
C2=65535
C3=4210752
Acc=2
C4=65280
FilterInd=2
WaitStart=3000
LiveOn=1
LivePort=$port
CONF
cat > "$work/startliste.txt" <<'LIST'
Nr.;Name
3;Berg, Anna
7;Müller, Jonas
12;Öztürk, Elif
15;Schmidt, Lena
21;Weber, Paul
28;Kowalski, Marta
33;Fischer, Tim
41;Nguyen, Linh
46;Hoffmann, Sara
52;Becker, Lukas
LIST

cat > "$work/race.sh" <<'RACE'
#!/usr/bin/env bash
set -euo pipefail
cd "$WORK"
"$PROGRAM" > "$WORK/program.log" 2>&1 &
pid=$!
stop() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
trap stop EXIT
win=$(xdotool search --sync --onlyvisible --name '^rennzeit 1\.5$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
click() { xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1; sleep 0.5; }
key() { xdotool key "$1"; sleep "${2:-0.3}"; }
# The start list through "Startliste öffnen" (the first button of the file bar).
click 465 259
sleep 1.5
xdotool type --delay 20 "$WORK/startliste.txt"
xdotool key Return
sleep 1.5
# The first entry's row (a click into its time columns), ten starts, then the
# first row again and seven stops on the running entries.
click 600 311
for i in $(seq 10); do key F5 0.7; done
sleep 2
click 600 311
for i in $(seq 7); do key F9 "0.$((RANDOM % 6 + 3))"; done
sleep 1
key F6 1.5
anzeige=$(xdotool search --onlyvisible --name '^Anzeige$' | head -1)
xdotool windowsize "$anzeige" 900 560 windowmove "$anzeige" 1010 0
sleep 1
curl -s "http://127.0.0.1:$PORT/results.json" > "$WORK/results.json"
chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars --user-data-dir="$WORK/chromium" \
  --window-size=390,844 --screenshot="$OUT/live-phone.png" "http://127.0.0.1:$PORT/" 2>/dev/null
chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars --user-data-dir="$WORK/chromium" \
  --window-size=1280,720 --screenshot="$OUT/live-display-page.png" "http://127.0.0.1:$PORT/display" 2>/dev/null
import -window "$anzeige" "$OUT/live-anzeige.png"
import -window root "$OUT/live-desktop.png"
RACE
chmod +x "$work/race.sh"
WORK=$work PROGRAM=$program PORT=$port OUT=$out HOME=$work/home XDG_CONFIG_HOME=$work/config \
  xvfb-run -a -s "-screen 0 1920x1080x24" "$work/race.sh"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print("results.json:", sum(e["state"]=="finished" for e in d["entries"]), "finished,", sum(e["state"]=="running" for e in d["entries"]), "running")' "$work/results.json"
echo "saved to $out: live-phone.png live-display-page.png live-anzeige.png live-desktop.png"
