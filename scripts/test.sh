#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Tagwright and runs every test.
#   scripts/test.sh                      the normal build (build/)
#   scripts/test.sh --sanitize=address   AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   scripts/test.sh --sanitize=thread    ThreadSanitizer (build-tsan/)
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
for arg in "$@"; do
  case "$arg" in
    --sanitize=*) sanitize="${arg#--sanitize=}" ;;
    *) echo "usage: scripts/test.sh [--sanitize=address|thread]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh

# The compiler cache keys on paths relative to the folder above the tree, so that every clone of the
# tree (wherever it lies) reuses what another clone compiled.
export CCACHE_BASEDIR="$(dirname "$PWD")" CCACHE_NOHASHDIR=1

build="build${sanitize:+-$sanitize}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE="$sanitize" \
      -DTW_BUILD_BENCHMARKS=$([ -z "$sanitize" ] && echo ON || echo OFF) >/dev/null

cmake --build "$build" -j2
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?
# ctest shows a skipped test as "Skipped" only: the reasons that the tests print are listed here.
grep -h '^Test skipped: ' "$build/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u || true
exit "$status"
