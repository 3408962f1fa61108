#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sends the same 20 MB file to one loopback TCP sink through the download dialog (Download_bench)
# and with socat, in one run, and prints the times and their ratio, also without the dialog's named
# pauses at 95 to 100 (which give the printer time to act on the file and are kept on purpose).
#   bench/download_vs_socat.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
source "$(dirname "$0")/socat_sink.sh"

"$build/bin/Download_bench" tcp 127.0.0.1 "$port" "$work/file.bin" | tee "$work/dialog.txt"
dialog=$(awk '/^DOWNLOAD_MS/ { print $2 }' "$work/dialog.txt")
named=$(awk '/named waits in all:/ { print $5 * 1000 }' "$work/dialog.txt")
t0=$(millis); socat -u "FILE:$work/file.bin" "TCP:127.0.0.1:$port"; t1=$(millis)
socat_ms=$((t1 - t0))
echo "download dialog:  ${dialog} ms, of which named pauses ${named} ms"
echo "socat:            ${socat_ms} ms"
awk -v a="$dialog" -v p="$named" -v b="$socat_ms" 'BEGIN {
  if (b < 1) b = 1
  printf "ratio dialog/socat: %.1f\nratio dialog without its named pauses/socat: %.1f\n", a / b, (a - p) / b }'
