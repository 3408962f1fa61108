#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that the manual pages of the command-line programs agree with their --help: every long
# option and (for tagwright-cli) every command of --help is in the page, every long option of the
# page is in --help, and --version and the page's header name the project's version (--version the
# licence too).
#   scripts/check-man-pages.sh VERSION PATH/TO/tagwright-cli PATH/TO/tagwright-printersim
set -euo pipefail
version=$1; shift
pages="$(cd "$(dirname "$0")/.." && pwd)/packaging/man"
status=0
complain() { echo "$*" >&2; status=1; }

for program in "$@"; do
  name=$(basename "$program")
  page="$pages/$name.1"
  help=$("$program" --help)
  text=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page")
  # Commands: the lines under "Subcommands:" in --help; their own options are in their --help.
  commands=$(awk '/^Subcommands:/ {on = 1; next} on && /^  [a-z]/ {print $1}' <<<"$help")
  for command in $commands; do help+=$'\n'$("$program" "$command" --help); done
  options_in_help=$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
  options_in_page=$(grep -o -- '--[a-z][a-z0-9-]*' <<<"$text" | sort -u)
  for option in $options_in_help; do
    grep -qx -- "$option" <<<"$options_in_page" || complain "$name: $option of --help is not in $page"
  done
  for option in $options_in_page; do
    grep -qx -- "$option" <<<"$options_in_help" || complain "$name: $option of $page is not in --help"
  done
  for command in $commands; do
    grep -q -- "^\.BI\? $command\b\|^\.BR $command " <<<"$text" || complain "$name: command $command is not in $page"
  done
  grep -q "^\.TH .*\"Tagwright $version\"" "$page" || complain "$name: $page does not name version $version"
  version_text=$("$program" --version)
  [ "$(head -n 1 <<<"$version_text")" = "$name $version" ] || complain "$name --version says '$version_text'"
  grep -q 'GPL-3.0-or-later' <<<"$version_text" || complain "$name --version names no licence"
done
exit $status
