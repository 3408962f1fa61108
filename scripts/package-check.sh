#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CI: builds the Debian packages twice, in two folders, and finds the .deb files byte-identical;
# unpacks the package into a temporary root and runs the unpacked programs there with HOME pointing
# to an empty folder:
#   tagwright-cli --version, and a version query against the unpacked virtual printer;
#   the main window under Xvfb in Simplified Chinese: it starts, copies SysOption.ini into the
#   user folder, opens its help page (a stand-in for xdg-open records it), shows the port dialog
#   relabelled from its language file, connects (PortInfo.ini is written into the user folder),
#   and at the next start presets the dialog from that file;
# then installs the package, runs the autopkgtest's commands (debian/tests) from /usr/bin as a user
# other than root, purges the package and finds none of its files left.
#   scripts/package-check.sh --spdx   only checks that every source file names its licence
set -euo pipefail
cd "$(dirname "$0")/.."

# Every source, script and build file carries an SPDX-License-Identifier line.
spdx_check() {
  local missing
  missing=$(git ls-files -- '*.cpp' '*.h' '*.sh' '*.cmake' '*CMakeLists.txt' debian/rules debian/tests/cli-against-printersim .ci/run |
            while read -r file; do grep -Eq '^(//|#) SPDX-License-Identifier: GPL-3.0-or-later$' "$file" || echo "$file"; done)
  [ -z "$missing" ] || { echo "no SPDX-License-Identifier line in:" >&2; echo "$missing" >&2; return 1; }
}
if [ "${1:-}" = "--spdx" ]; then spdx_check; exit; fi

SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
# apt-get waits for the package database lock other installations may hold.
apt_get() {
  for _ in $(seq 60); do
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" && return 0
    sleep 5
  done
  return 1
}

if [ "${1:-}" != "--gui" ]; then
  start=$SECONDS
  bash scripts/package.sh build/deb >build/deb.paths
  bash scripts/package.sh build/deb-again >build/deb-again.paths
  for deb in $(grep '\.deb$' build/deb.paths); do
    cmp "$deb" "build/deb-again/$(basename "$deb")" || { echo "two builds of $(basename "$deb") differ" >&2; exit 1; }
  done
  echo "package check: two builds give identical .deb files ($((SECONDS - start)) s)"
  deb=$(tail -n 1 build/deb.paths)
  work=$(mktemp -d)
  chmod 755 "$work"
  trap 'rm -rf "$work"' EXIT
  dpkg-deb -x "$deb" "$work/root"
  bin="$work/root/usr/bin"
  version=$(dpkg-deb -f "$deb" Version)
  [ "$("$bin/tagwright-cli" --version | head -n 1)" = "tagwright-cli $version" ] || { echo "tagwright-cli --version is wrong" >&2; exit 1; }
  xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --gui "$work"

  # Installed, the autopkgtest's commands run from /usr/bin as a user other than root.
  apt_get install --no-install-recommends "$deb"
  mkdir "$work/test"
  run_as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$work/test"
    run_as_user=(runuser -u nobody --)
  fi
  "${run_as_user[@]}" env -i HOME="$work/test" AUTOPKGTEST_TMP="$work/test" PATH=/usr/bin:/bin \
    sh debian/tests/cli-against-printersim
  apt_get purge tagwright
  ! dpkg-query -W tagwright 2>/dev/null || { echo "tagwright is still installed" >&2; exit 1; }
  left=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | while read -r path; do
           case "$path" in */) [[ "$path" == *tagwright* ]] && [ -e "$path" ] && echo "$path" ;;
                           *) [ -e "$path" ] || [ -L "$path" ] && echo "$path" ;; esac
         done || true)
  [ -z "$left" ] || { echo "left after the purge:" >&2; echo "$left" >&2; exit 1; }
  echo "package check: installed, tested as a user, purged without a trace ($((SECONDS - start)) s)"
  exit
fi

# ---- from here on under Xvfb; $2 is the work folder holding root/
work=$2
root="$work/root"
bin="$root/usr/bin"
home="$work/home"
mkdir -p "$home" "$work/stub"
export HOME="$home"
unset XDG_CONFIG_HOME
lib="$home/.config/tagwright/lib"
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
# On failure the screen is kept for a look: build/package-check-failure.png
fail() {
  echo "package check: $*" >&2
  import -window root build/package-check-failure.png 2>/dev/null || true
  [ ! -s "$work/tagwright.err" ] || cat "$work/tagwright.err" >&2
  exit 1
}

# Waits up to 60 s for a condition (a command); the machine may be busy.
wait_for() {
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}
# The id of a visible window by its exact title. (xdotool's own search reads the Latin-1 title
# property, which cannot hold Chinese; getwindowname gives the UTF-8 one.)
window_id() {
  local id
  for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && { echo "$id"; return 0; }
  done
  return 1
}
window_named() { window_id "$1" >/dev/null; }
no_window_named() { ! window_named "$1"; }

# The unpacked virtual printer: over TCP for the command-line tool, on a pseudo-terminal for the window.
"$bin/tagwright-printersim" --tcp 127.0.0.1:0 >"$work/sim-tcp.out" &
pids+=($!)
"$bin/tagwright-printersim" --pty >"$work/sim-pty.out" &
pids+=($!)
wait_for grep -q 'listening on' "$work/sim-tcp.out" || fail "the virtual printer did not start"
wait_for grep -q 'serial port' "$work/sim-pty.out" || fail "the virtual printer has no pseudo-terminal"
tcp_port=$(sed -n 's/.*listening on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/sim-tcp.out")
pty=$(sed -n 's/.*serial port \(.*\)$/\1/p' "$work/sim-pty.out")
reply=$("$bin/tagwright-cli" --port "net:127.0.0.1:$tcp_port" version) || fail "tagwright-cli version failed"
[ -n "$reply" ] || fail "tagwright-cli version printed nothing"
echo "tagwright-cli version: $reply"

# xdg-open stand-in: records what the program asks the desktop to open.
cat >"$work/stub/xdg-open" <<STUB
#!/bin/sh
printf '%s\n' "\$@" >>"$work/opened"
STUB
chmod +x "$work/stub/xdg-open"

start_window() {
  LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8 PATH="$work/stub:$PATH" "$bin/tagwright" 2>>"$work/tagwright.err" &
  window_pid=$!
  pids+=("$window_pid")
  wait_for window_named 'Tagwright(WVLZ)' || fail "the main window did not appear"
  main_window=$(window_id 'Tagwright(WVLZ)')
  xdotool windowfocus --sync "$main_window"
}
# Opens the port dialog, moves the choice with the keys given, and confirms it.
connect_with_keys() {
  xdotool windowfocus --sync "$main_window" key ctrl+m
  # Its caption comes from Language/Simple.lan in the installed tree.
  wait_for window_named '端口设置' || fail "the port dialog did not open in Simplified Chinese"
  xdotool windowfocus --sync "$(window_id '端口设置')"
  [ $# -eq 0 ] || xdotool key "$@"
  xdotool key Return
  wait_for no_window_named '端口设置' || fail "the connect failed (the dialog or its message stays)"
}
quit_window() {
  xdotool windowfocus --sync "$main_window" key ctrl+q
  wait_for window_named '退出确认' || fail "the exit question is not in Simplified Chinese"
  xdotool key Return
  wait_for bash -c "! kill -0 $window_pid 2>/dev/null" || fail "the main window did not close"
}

# First start: an empty home.
start_window
wait_for test -f "$lib/SysOption.ini" || fail "SysOption.ini was not copied into $lib"
# COM1 leads nowhere, COM2 and LPT1 to the virtual printer: only a choice read back from
# PortInfo.ini can connect at the second start.
# The keys go into the delivered file's own [PortMap] section, as a user would edit it.
grep -q '^\[PortMap\]' "$lib/SysOption.ini" || fail "the copied SysOption.ini has no [PortMap] section"
sed -i "/^\[PortMap\]/a COM1=$work/no-such-port\nCOM2=$pty\nLPT1=$pty" "$lib/SysOption.ini"
# F1 opens the page in the program's own help window, titled by the page; its "Open in Browser"
# button hands the installed page to the desktop.
help_title=$(sed -n 's|.*<title>\([^<]*\)</title>.*|\1|p' 'runtime/help/Tagwright(WVLZ)_CN.html')
xdotool key F1
wait_for window_named "$help_title" || fail "F1 opened no help window titled '$help_title'"
xdotool windowfocus --sync "$(window_id "$help_title")" key alt+b
wait_for test -s "$work/opened" || fail "the help window's browser button opened nothing"
xdotool windowfocus --sync "$(window_id "$help_title")" key Escape
wait_for no_window_named "$help_title" || fail "Escape did not close the help window"
help=$(sed -n '1s|^file://||p' "$work/opened")
[ "$(basename "$help")" = 'Tagwright(WVLZ)_CN.html' ] && [ -f "$help" ] || fail "F1 opened '$(cat "$work/opened")'"
# Tab leads from the serial radio button to the port list; Down chooses COM2.
connect_with_keys Tab Down
wait_for test -f "$lib/PortInfo.ini" || fail "PortInfo.ini was not written into $lib"
first=$(grep -a '^PortName=' "$lib/PortInfo.ini" | tr -d '\r')
[ "$first" = "PortName=COM1" ] || fail "the first connect saved $first, not COM2 (PortName=COM1)"
quit_window
[ ! -e "$bin/lib" ] || fail "the installed program wrote into $bin/lib"

# Second start: the dialog presets the remembered port; confirming it connects again.
touch -d '2000-01-01' "$lib/PortInfo.ini"
start_window
connect_with_keys
[ "$(stat -c %Y "$lib/PortInfo.ini")" -gt "$(date -d 2000-01-02 +%s)" ] || fail "the second connect wrote no PortInfo.ini"
second=$(grep -a '^PortName=' "$lib/PortInfo.ini" | tr -d '\r')
[ "$second" = "$first" ] || fail "the second start connected $second instead of the remembered $first"
quit_window
echo "package check passed: $first remembered in $lib"
