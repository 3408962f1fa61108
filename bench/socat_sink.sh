# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the loopback benchmarks: a 20 MB random file in a temporary folder ($work/file.bin), a
# socat sink on a free-looking loopback port ($port) that swallows every connection, cleanup at exit,
# and millis for wall-clock milliseconds.
work=$(mktemp -d)
trap 'kill $sink 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((20 * 1024 * 1024)) /dev/urandom > "$work/file.bin"
port=$((20000 + RANDOM % 20000))
socat -u TCP-LISTEN:$port,reuseaddr,fork OPEN:/dev/null &
sink=$!
sleep 0.3
millis() { date +%s%3N; }
