#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The layering check must fail on an include of a later folder and on a
# folder it does not know, on a widget header in a widget-free folder, on a
# system header outside the platform folder, and pass on includes of earlier
# folders.
set -euo pipefail
check=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/src/platform" "$tmp/src/grid" "$tmp/src/app"
printf '#include "platform/Tick.h"\n' > "$tmp/src/grid/Ok.cpp"
printf '#include "grid/SortGrid.h"\n#include <QString>\n' > "$tmp/src/app/Ok.cpp"
"$check" "$tmp/src" > /dev/null || { echo "a clean tree was refused"; exit 1; }

printf '#include "app/FMain.h"\n' > "$tmp/src/platform/Bad.h"
if out=$("$check" "$tmp/src"); then
  echo "an include of a later folder passed"
  exit 1
fi
grep -q "platform/Bad.h" <<< "$out" || { echo "the offending file was not named: $out"; exit 1; }
rm "$tmp/src/platform/Bad.h"

mkdir -p "$tmp/src/race" "$tmp/src/live" "$tmp/src/stations" "$tmp/src/upload" "$tmp/src/controls"
printf '#include <QString>\n#include "gridstore/CellStore.h"\n' > "$tmp/src/race/Ok.cpp"
printf '#include <QWidget>\n' > "$tmp/src/race/Bad.cpp"
printf '#include "controls/Udigit.h"\n' > "$tmp/src/live/Bad.cpp"
printf '#include "live/HttpRequest.h"\n#include <QTcpSocket>\n' > "$tmp/src/stations/Ok.cpp"
printf '#include <QLabel>\n#include "upload/Outbox.h"\n' > "$tmp/src/stations/Bad.cpp"
printf '#include "live/LiveJson.h"\n#include <QTcpSocket>\n' > "$tmp/src/upload/Ok.cpp"
printf '#include <QDialog>\n#include "app/Settings.h"\n' > "$tmp/src/upload/Bad.cpp"
printf '#include <QWidget>\n' > "$tmp/src/controls/Ok.cpp"
out=$("$check" "$tmp/src") && { echo "a widget include in a widget-free folder passed"; exit 1; }
for f in race/Bad.cpp live/Bad.cpp stations/Bad.cpp upload/Bad.cpp; do
  grep -q "widget header: $f" <<< "$out" || { echo "the widget include of $f was not named: $out"; exit 1; }
done
grep -q "race/Ok.cpp\|controls/Ok.cpp\|stations/Ok.cpp\|upload/Ok.cpp" <<< "$out" && { echo "an allowed include was named: $out"; exit 1; }
grep -q "upload may not include a later folder: upload/Bad.cpp" <<< "$out" || { echo "upload's include of app passed: $out"; exit 1; }
grep -q "stations may not include a later folder: stations/Bad.cpp" <<< "$out" || { echo "stations' include of upload passed: $out"; exit 1; }
rm "$tmp/src/race/Bad.cpp" "$tmp/src/live/Bad.cpp" "$tmp/src/stations/Bad.cpp" "$tmp/src/upload/Bad.cpp"

# System headers belong to the platform folder alone.
printf '#include <unistd.h>\n#include <sys/stat.h>\n' > "$tmp/src/platform/Ok.cpp"
printf '#include <cerrno>\n#include <QFile>\n' > "$tmp/src/race/Ok.cpp"
"$check" "$tmp/src" > /dev/null || { echo "system headers in platform were refused"; exit 1; }
for header in '<fcntl.h>' '<sys/file.h>' '  #  include <linux/serial.h>' '<termios.h>'; do
  case $header in \<*) line="#include $header" ;; *) line=$header ;; esac
  printf '%s\n' "$line" > "$tmp/src/race/Bad.cpp"
  if out=$("$check" "$tmp/src"); then
    echo "a system header in race passed: $line"
    exit 1
  fi
  grep -q "race is no platform folder and may not include a system header: race/Bad.cpp" <<< "$out" \
    || { echo "the system header of race/Bad.cpp was not named: $out"; exit 1; }
done
rm "$tmp/src/race/Bad.cpp"

mkdir -p "$tmp/src/extras"
if "$check" "$tmp/src" > /dev/null; then
  echo "an unknown folder passed"
  exit 1
fi
echo "the layering check catches all four"
