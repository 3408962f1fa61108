#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sends the same 20 MB file to one loopback TCP sink with tagwright-cli and with socat, in one run,
# and prints the times and their ratio.  Usage: bench/cli_send_vs_socat.sh [BUILD_DIR] [ROUNDS]
set -euo pipefail
build="${1:-build}"
rounds="${2:-5}"
source "$(dirname "$0")/socat_sink.sh"

best_cli=999999; best_socat=999999
for _ in $(seq "$rounds"); do
  t0=$(millis); "$build/bin/tagwright-cli" --port "net:127.0.0.1:$port" send "$work/file.bin"; t1=$(millis)
  socat -u "FILE:$work/file.bin" "TCP:127.0.0.1:$port"; t2=$(millis)
  (( t1 - t0 < best_cli )) && best_cli=$((t1 - t0))
  (( t2 - t1 < best_socat )) && best_socat=$((t2 - t1))
done
echo "tagwright-cli send: best of $rounds: ${best_cli} ms"
echo "socat:              best of $rounds: ${best_socat} ms"
awk -v a="$best_cli" -v b="$best_socat" 'BEGIN { printf "ratio cli/socat: %.2f\n", (b > 0 ? a / b : 0) }'
