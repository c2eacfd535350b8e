#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds one build folder.
#   scripts/build.sh [build-folder] [cmake options...] [--target <name>...]
# Options are cached by CMake, so a later call without them keeps them.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
configure=()
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
  --target)
    targets+=(--target "$2")
    shift 2
    ;;
  *)
    configure+=("$1")
    shift
    ;;
  esac
done
cmake -S . -B "$dir" -G Ninja "${configure[@]}" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
