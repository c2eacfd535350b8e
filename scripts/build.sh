#!/usr/bin/env bash
# Configures and builds one build folder.
#   scripts/build.sh [build-folder] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -G Ninja "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" --parallel "$(nproc)"
