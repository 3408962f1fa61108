#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Tagwright needs, builds it and starts it. Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
if [ -x build/bin/tagwright ]; then
  exec build/bin/tagwright "$@"
fi
# Until the main window exists, the command-line tool is the program.
if [ $# -eq 0 ]; then set -- --help; fi
exec build/bin/tagwright-cli "$@"
