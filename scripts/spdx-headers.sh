#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Every source file starts with the project's two SPDX lines (after the "#!"
# line of a script):
#   scripts/spdx-headers.sh          adds them where they are missing
#   scripts/spdx-headers.sh --check  lists the files without them and fails
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = --check ] && check=1
copyright="SPDX-FileCopyrightText: 2024-2026 Rennzeit developers"
licence="SPDX-License-Identifier: GPL-3.0-or-later"
missing=0
while IFS= read -r -d '' file; do
  head -n 4 "$file" | grep -q "$licence" && continue
  if [ $check -eq 1 ]; then
    echo "no SPDX header: $file"
    missing=1
    continue
  fi
  case "$file" in
  *.cpp | *.h | *.h.in) prefix="//" ;;
  *) prefix="#" ;;
  esac
  tmp=$(mktemp)
  if head -n 1 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; printf '%s %s\n%s %s\n' "$prefix" "$copyright" "$prefix" "$licence"; tail -n +2 "$file"; } > "$tmp"
  else
    { printf '%s %s\n%s %s\n\n' "$prefix" "$copyright" "$prefix" "$licence"; cat "$file"; } > "$tmp"
  fi
  cat "$tmp" > "$file"
  rm -f "$tmp"
done < <(git ls-files -z -- '*.cpp' '*.h' '*.h.in' '*.sh' '*CMakeLists.txt' '*.cmake' '.ci/run')
if [ $missing -ne 0 ]; then
  echo "Run scripts/spdx-headers.sh to add them." >&2
  exit 1
fi
