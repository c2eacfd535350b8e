#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of a race with classes as a club secretary checks it: the
# program runs under Xvfb with live results on, a start list of three classes
# is loaded and timed with the keys (xdotool), one entry gives up (DNF) and
# one is disqualified (DSQ) through the table's context menu, the protocol is
# printed through a private CUPS server with a PDF queue (Alt+D) and headless
# Chromium opens the live results as a phone.
#   scripts/class-screenshots.sh <out-folder> [build-folder]
# Saves klassen-tabelle.png (the main window), klassen-druck.pdf and
# klassen-druck-1.png (its first page), klassen-phone.png and
# klassen-results.json.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
out=$(realpath -m "${1:?usage: $0 <out-folder> [build-folder]}")
build=$(realpath "${2:-$root/build}")
program=$build/bin/rennzeit
[ -x "$program" ] || { echo "no program at $program; build it first"; exit 1; }
mkdir -p "$out"

work=$(mktemp -d)
chmod 755 "$work" # the print queue's filters run as the user lp
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
cups_port=$(free_port)
cleanup() {
  "$root/scripts/cups-test-server.sh" stop "$work/cups" > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$root/scripts/cups-test-server.sh" start "$work/cups" "$cups_port"
mkdir -p "$work/config" "$work/home"
cat > "$work/config/rennzeit.conf" <<CONF
[General]
Port=0
Alg=0
Left=0
Top=0
Width=1000
Height=700
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
# A start list as a registration form exports it: its own column order, a
# column the program does not know, three classes.
cat > "$work/startliste.txt" <<'LIST'
Startnr;Name;Verein;Klasse
1;Berg, Anna;SV Nord;Schüler
2;Müller, Jonas;TV Süd;Schüler
3;Öztürk, Elif;SV Nord;Damen
4;Schmidt, Lena;LG Mitte;Damen
5;Weber, Paul;TV Süd;Herren
6;Kowalski, Marta;SV Nord;Damen
7;Fischer, Tim;LG Mitte;Herren
8;Nguyen, Linh;TV Süd;Schüler
9;Hoffmann, Sara;LG Mitte;Damen
10;Becker, Lukas;SV Nord;Herren
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
click() { xdotool mousemove "$((X + $1))" "$((Y + $2))" click "${3:-1}"; sleep 0.6; }
key() { xdotool key "$1"; sleep "${2:-0.3}"; }
# Row n of the table (from 1), in its "Zeit" column.
row() { echo $((311 + ($1 - 1) * 20)); }
click 465 259
sleep 1.5
xdotool type --delay 20 "$WORK/startliste.txt"
xdotool key Return
sleep 1.5
click 600 "$(row 1)"
for i in $(seq 10); do key F5 0.6; done
sleep 2
click 600 "$(row 1)"
for i in $(seq 4); do key F9 "0.$((RANDOM % 6 + 3))"; done
# The table is ranked: four finished on top, the runners below in start
# order. The first runner (row 5) gives up: context menu, "DNF".
click 600 "$(row 5)" 3
for i in 1 2 3 4; do key Down 0.2; done
key Return 1
for i in $(seq 3); do key F9 "0.$((RANDOM % 6 + 3))"; done
# The fastest of all (row 1) is disqualified: context menu, "DSQ".
click 600 "$(row 1)" 3
for i in 1 2 3 4 5; do key Down 0.2; done
key Return 1
for i in $(seq 2); do key F9 "0.$((RANDOM % 6 + 3))"; done
sleep 1
import -window "$win" "$OUT/klassen-tabelle.png"
key alt+d 4
curl -s "http://127.0.0.1:$PORT/results.json" > "$OUT/klassen-results.json"
chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars --user-data-dir="$WORK/chromium" \
  --window-size=390,844 --screenshot="$OUT/klassen-phone.png" "http://127.0.0.1:$PORT/" 2>/dev/null
RACE
chmod +x "$work/race.sh"
WORK=$work PROGRAM=$program PORT=$port OUT=$out HOME=$work/home XDG_CONFIG_HOME=$work/config \
  CUPS_SERVER=127.0.0.1:$cups_port xvfb-run -a -s "-screen 0 1920x1080x24" "$work/race.sh"
for _ in $(seq 30); do
  pdf=$(find "$work/cups/pdf" -name '*.pdf' 2>/dev/null | head -1)
  [ -n "$pdf" ] && break
  sleep 1
done
[ -n "${pdf:-}" ] || { echo "the print queue wrote no PDF"; exit 1; }
cp "$pdf" "$out/klassen-druck.pdf"
pdftoppm -png -r 60 -f 1 -l 1 "$out/klassen-druck.pdf" "$out/klassen-druck"
echo "saved to $out: klassen-tabelle.png klassen-druck.pdf klassen-druck-1.png klassen-phone.png klassen-results.json"
