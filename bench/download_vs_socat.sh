#!/usr/bin/env bash
# Sends the same 20 MB file to one loopback TCP sink through the download dialog (Download_bench)
# and with socat, in one run, and prints the times and their ratio; then the dialog once more without
# the fixed pause after each network write, to show what that pause costs.
#   bench/download_vs_socat.sh [BUILD_DIR]
set -euo pipefail
build="${1:-build}"
source "$(dirname "$0")/socat_sink.sh"

"$build/bin/Download_bench" tcp 127.0.0.1 "$port" "$work/file.bin" | tee "$work/dialog.txt"
dialog=$(awk '/^DOWNLOAD_MS/ { print $2 }' "$work/dialog.txt")
t0=$(millis); socat -u "FILE:$work/file.bin" "TCP:127.0.0.1:$port"; t1=$(millis)
socat_ms=$((t1 - t0))
"$build/bin/Download_bench" tcp 127.0.0.1 "$port" "$work/file.bin" --no-write-pause | tee "$work/nopause.txt"
nopause=$(awk '/^DOWNLOAD_MS/ { print $2 }' "$work/nopause.txt")
echo "download dialog:                    ${dialog} ms"
echo "download dialog without the pause:  ${nopause} ms"
echo "socat:                              ${socat_ms} ms"
awk -v a="$dialog" -v n="$nopause" -v b="$socat_ms" 'BEGIN {
  if (b < 1) b = 1
  printf "ratio dialog/socat: %.1f\nratio dialog without the pause/socat: %.1f\n", a / b, n / b }'
