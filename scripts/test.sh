#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs all tests.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
# Tests and benchmarks are switched on explicitly, whatever the folder was
# configured with before, and a run that finds no test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --tests
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  ./scripts/build.sh "$dir" -DRENNZEIT_TESTS=ON -DRENNZEIT_SANITIZE=ON -DRENNZEIT_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  # Leaks are reported, except the toolkit's own (tests/lsan.supp).
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  ./scripts/build.sh "$dir" -DRENNZEIT_TESTS=ON -DRENNZEIT_BENCH=ON
fi
ctest --test-dir "$dir" --output-on-failure --no-tests=error --parallel "$(nproc)"
