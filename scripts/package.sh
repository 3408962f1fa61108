#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian source and binary packages of Tagwright with dpkg-buildpackage from a copy of
# the tree (the files git knows of, as they are in the working tree), checks them with lintian (no
# errors, no warnings, pedantic tags shown) and hardening-check, and prints the paths of the
# .changes, .dsc and .deb files, the main .deb last.
#   scripts/package.sh [FOLDER]      FOLDER: where the copy and the packages go (build/deb)
# The packager's name and address are the Maintainer line of debian/control; the newest changelog
# entry is signed with it in the copy.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2

out=$(realpath -m "${1:-build/deb}")
version=$(dpkg-parsechangelog -S Version)
project_version=$(sed -n 's/^project(Tagwright VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$version" = "$project_version" ] || {
  echo "debian/changelog is at $version, CMakeLists.txt at $project_version" >&2; exit 1; }

rm -rf "$out"
tree="$out/tagwright-$version"
mkdir -p "$tree"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
  [ -e "$file" ] || [ -L "$file" ] && printf '%s\0' "$file"
done | tar -c --null -T - | tar -x -C "$tree"

maintainer=$(sed -n 's/^Maintainer: *//p' debian/control | sed 's/[&|\\]/\\&/g')
sed -i "0,/^ -- .*>  /s|^ -- .*>  | -- $maintainer  |" "$tree/debian/changelog"

# The compiler cache keys on paths inside the copy, so that a build in another folder reuses it;
# debhelper gives the build its own HOME, so the cache folder is named here.
export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)} CCACHE_BASEDIR=$tree CCACHE_NOHASHDIR=1
# CI runs the tests already; the package build skips them.
export DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)"
(cd "$tree" && dpkg-buildpackage -us -uc >&2)

changes=$(ls "$out"/tagwright_"$version"_*.changes)
debs=$(sed -n '/^Files:/,/^[^ ]/s/^ .* \([^ ]*\.deb\)$/\1/p' "$changes" | LC_ALL=C sort)
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
for deb in $debs; do dpkg-deb -x "$out/$deb" "$check/root"; done
desktop-file-validate "$check/root/usr/share/applications/tagwright.desktop" >&2
appstreamcli validate --no-net "$check/root/usr/share/metainfo/org.tagwright.Tagwright.metainfo.xml" >&2
# Control flow integrity is left out: dpkg-buildflags of Debian 12 offers no branch protection, and
# the C library's start files carry no IBT/SHSTK marking, without which no program has it.
hardening-check --nocfprotection "$check"/root/usr/bin/* >&2
# lintian leaves cache files in its temporary folder: give it one of its own.
TMPDIR="$check" lintian --fail-on error,warning --pedantic --display-info "$changes" >&2

echo "$changes"
ls "$out"/tagwright_"$version".dsc
for deb in $debs; do echo "$out/$deb"; done
