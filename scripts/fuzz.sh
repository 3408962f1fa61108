#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang and runs each for a while (default 30 seconds).
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
bash scripts/install-deps.sh
export CCACHE_BASEDIR="$(dirname "$PWD")" CCACHE_NOHASHDIR=1  # as scripts/test.sh: clones share the cache
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
CXX=clang++ CC=clang cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTW_BUILD_FUZZERS=ON -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
# Only the fuzz targets and what they link: the programs and the windows are not needed here.
cmake --build build-fuzz -j2 --target fuzzers
for target in $(find fuzz -name '*_fuzz.cpp' -exec basename {} .cpp \; | sort); do
  # The corpus grows in the build folder.
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  # Seeds in fuzz/seeds/ are only read; a dictionary in fuzz/dicts/ gives the mutations the
  # spellings that a parser looks for.
  extra=()
  [[ -d "fuzz/seeds/$target" ]] && extra+=("fuzz/seeds/$target")
  [[ -f "fuzz/dicts/$target.dict" ]] && extra+=("-dict=fuzz/dicts/$target.dict")
  echo "== $target ($seconds s)"
  "build-fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${extra[@]}" 2>&1 | tail -n 12
done
