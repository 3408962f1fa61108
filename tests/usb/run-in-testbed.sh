#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program with umockdev's preload library, as umockdev-wrapper does, so that the program
# can present USB devices to itself. A sanitizer runtime would refuse to start behind another
# preloaded library; its link-order check is turned off (the runtime still intercepts what it needs).
export LD_PRELOAD="libumockdev-preload.so.0${LD_PRELOAD:+:$LD_PRELOAD}"
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
exec "$@"
