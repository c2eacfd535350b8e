#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# The folders under src/ depend on each other in one direction only:
#   platform, gridstore, comm, controls, grid, dialogs, protocol, race, live, stations, upload, app
# A file may include headers of its own folder and of the folders before it,
# never of a folder after it. The widget-free folders (platform, gridstore,
# comm, protocol, race, live, stations, upload) include no header of the widget
# folders (controls, grid, dialogs) and none of Qt Widgets. Only platform
# includes system headers (<unistd.h>, <sys/...>, <linux/...>, ...). Prints
# every offending include and fails.
#   scripts/check-layering.sh [src-folder]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}
order=(platform gridstore comm controls grid dialogs protocol race live stations upload app)
status=0
# Prints each include in the folder that matches the pattern, with the message.
offending() {
  local folder=$1 pattern=$2 message=$3 hit
  while IFS= read -r hit; do
    echo "layering: $folder $message: ${hit#"$src"/}"
    status=1
  done < <(grep -rnE --include='*.h' --include='*.cpp' "$pattern" "$src/$folder" || true)
}
for dir in "$src"/*/; do
  name=$(basename "$dir")
  if [[ " ${order[*]} " != *" $name "* ]]; then
    echo "layering: src/$name is not in the folder order; add it where it belongs"
    status=1
  fi
done
for ((i = 0; i < ${#order[@]}; i++)); do
  folder=${order[$i]}
  [ -d "$src/$folder" ] || continue
  later=("${order[@]:$((i + 1))}")
  [ ${#later[@]} -gt 0 ] || continue
  offending "$folder" "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($(IFS='|'; echo "${later[*]}"))/" \
    "may not include a later folder"
done
widgetFree=(platform gridstore comm protocol race live stations upload)
widgetFolders=(controls grid dialogs)
qtWidgets=$(find /usr/include -maxdepth 4 -type d -name QtWidgets -print -quit 2>/dev/null || true)
widgetHeaders="QtWidgets/[A-Za-z]+"
if [ -n "$qtWidgets" ]; then
  widgetHeaders="$widgetHeaders|$(find "$qtWidgets" -maxdepth 1 -type f -name 'Q[A-Z]*' ! -name '*.h' -printf '%f\n' | sort | paste -sd'|')"
fi
for folder in "${widgetFree[@]}"; do
  [ -d "$src/$folder" ] || continue
  offending "$folder" "^[[:space:]]*#[[:space:]]*include[[:space:]]*(\"($(IFS='|'; echo "${widgetFolders[*]}"))/|<($widgetHeaders)>)" \
    "is widget-free and may not include a widget header"
done
# System calls are the platform layer's: every other folder reaches the
# operating system through it, so no header of the system's own interfaces
# (POSIX, Linux) appears outside src/platform.
systemHeaders='(unistd|fcntl|termios|poll|dirent|pwd|grp|dlfcn|netdb|syslog|pthread|sched|spawn|semaphore|ifaddrs|mqueue|utmp|paths)\.h|(sys|linux|asm|arpa|netinet|net|bits)/[A-Za-z0-9_/]+\.h'
for folder in "${order[@]}"; do
  [ "$folder" != platform ] || continue
  [ -d "$src/$folder" ] || continue
  offending "$folder" "^[[:space:]]*#[[:space:]]*include[[:space:]]*<($systemHeaders)>" \
    "is no platform folder and may not include a system header"
done
[ $status -eq 0 ] && echo "layering: every include points to the same or an earlier folder, no widget-free folder includes a widget, and only platform includes system headers"
exit $status
