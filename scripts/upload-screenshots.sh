#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the upload to a web host: an OpenSSH server on a free port of
# 127.0.0.1 with its own host key stands in for the club's web space. The
# program runs under Xvfb with a private HOME and the upload set, the server's
# new key is accepted from the header (its fingerprint shown first), a start
# list is loaded and a race timed with the keys (xdotool); then headless
# Chromium opens the uploaded index.html from the server's folder through a
# small loopback web server, as a phone (390 x 844).
#   scripts/upload-screenshots.sh <out-folder> [build-folder]
# Saves upload-header.png (the header bar), upload-hostkey.png (the question
# with the fingerprint), upload-settings.png (the settings dialog after
# "Verbindung testen"), upload-phone.png and upload-desktop.png.
set -euo pipefail
out=$(realpath -m "${1:?usage: $0 <out-folder> [build-folder]}")
build=$(realpath "${2:-$(dirname "$0")/../build}")
program=$build/bin/rennzeit
[ -x "$program" ] || { echo "no program at $program; build it first"; exit 1; }
mkdir -p "$out"

work=$(mktemp -d)
sshd_pid=
web_pid=
cleanup() {
  [ -z "$sshd_pid" ] || kill "$sshd_pid" 2>/dev/null || true
  [ -z "$web_pid" ] || kill "$web_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free_port)
web=$(free_port)
mkdir -p "$work/config" "$work/home" "$work/ssh" "$work/site"
for key in host client; do ssh-keygen -q -t ed25519 -N '' -C "$key" -f "$work/ssh/$key"; done
cp "$work/ssh/client.pub" "$work/ssh/authorized_keys"
[ "$(id -u)" != 0 ] || mkdir -p /run/sshd
cat > "$work/ssh/sshd_config" <<CONF
Port $port
ListenAddress 127.0.0.1
HostKey $work/ssh/host
PidFile $work/ssh/sshd.pid
AuthorizedKeysFile $work/ssh/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PubkeyAuthentication yes
PermitRootLogin prohibit-password
LogLevel ERROR
Subsystem sftp internal-sftp
CONF
/usr/sbin/sshd -D -e -f "$work/ssh/sshd_config" 2> "$work/sshd.log" &
sshd_pid=$!
python3 -m http.server "$web" --bind 127.0.0.1 --directory "$work/site" > "$work/web.log" 2>&1 &
web_pid=$!
sleep 1
address="sftp://$(id -un)@127.0.0.1:$port$work/site/"
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
Veranstaltung=Vereinsmeisterschaft Slalom 2027
UploadUrl=$address
UploadKey=$work/ssh/client
CONF
cat > "$work/startliste.txt" <<'LIST'
Nr.;Name
3;Berg, Anna
7;Müller, Jonas
12;Öztürk, Elif
15;Schmidt, Lena
21;Weber, Paul
28;Kowalski, Marta
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
sleep 3
# The server's key is new: the header says so in red; a click on it asks.
import -window root -crop "${WIDTH}x40+$X+$Y" "$OUT/upload-header-hostkey.png"
for x in 560 620 680 720; do
  xdotool mousemove "$((X + x))" "$((Y + 18))" click 1
  sleep 1
  question=$(xdotool search --onlyvisible --name '^Schlüssel des Servers$' | head -1 || true)
  [ -z "$question" ] || break
done
if [ -n "${question:-}" ]; then
  import -window "$question" "$OUT/upload-hostkey.png"
  xdotool windowfocus "$question" key Return || true  # Ja
  sleep 1
fi
xdotool windowfocus "$win" || true
click 465 259
sleep 1.5
xdotool type --delay 20 "$WORK/startliste.txt"
xdotool key Return
sleep 1.5
click 600 311
for i in $(seq 6); do key F5 0.7; done
sleep 1
click 600 311
for i in $(seq 4); do key F9 "0.$((RANDOM % 6 + 3))"; done
sleep 5
import -window root -crop "${WIDTH}x40+$X+$Y" "$OUT/upload-header.png"
import -window root "$OUT/upload-desktop.png"
# The settings dialog and its button.
key F2 1.5
cfg=$(xdotool search --onlyvisible --name '^Einstellungen$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$cfg" | sed 's/^/CFG_/')"
# "Verbindung testen" spans the dialog below the address and key rows.
xdotool mousemove "$((CFG_X + 130))" "$((CFG_Y + 328))" click 1
sleep 4
import -window "$cfg" "$OUT/upload-settings.png"
xdotool key Escape
chromium --headless --no-sandbox --disable-gpu --no-first-run --hide-scrollbars --user-data-dir="$WORK/chromium" \
  --virtual-time-budget=3000 --window-size=390,844 --screenshot="$OUT/upload-phone.png" \
  "http://127.0.0.1:$WEB/index.html" 2>/dev/null
RACE
chmod +x "$work/race.sh"
WORK=$work PROGRAM=$program OUT=$out WEB=$web HOME=$work/home XDG_CONFIG_HOME=$work/config \
  xvfb-run -a -s "-screen 0 1920x1080x24" "$work/race.sh"
ls -l "$work/site"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print("uploaded results.json:", sum(e["state"]=="finished" for e in d["entries"]), "finished,", sum(e["state"]=="running" for e in d["entries"]), "running")' "$work/site/results.json"
echo "saved to $out: upload-header.png upload-hostkey.png upload-settings.png upload-phone.png upload-desktop.png"
