#!/usr/bin/env bash
# Builds the Debian package of Tagwright with CPack and checks it with lintian (no errors, no
# warnings). Prints the path of the package: build/package/tagwright_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target tagwright tagwright-cli tagwright-printersim tw_packaging_files >&2
desktop-file-validate packaging/tagwright.desktop
appstreamcli validate --no-net build/packaging/org.tagwright.Tagwright.metainfo.xml >&2
rm -rf build/package
(cd build && cpack -G DEB -B "$PWD/package" >&2)
deb=$(ls build/package/tagwright_*.deb)
# lintian leaves cache files in its temporary folder: give it one of its own.
lintian_tmp=$(mktemp -d)
trap 'rm -rf "$lintian_tmp"' EXIT
TMPDIR="$lintian_tmp" lintian --fail-on error,warning --display-info "$deb" >&2
echo "$deb"
