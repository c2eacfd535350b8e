#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package build-package/rennzeit_<version>_amd64.deb:
#   scripts/package.sh [build-folder]
# The program is built in its own folder, laid out for the package (the
# program folder /opt/rennzeit, a link /usr/bin/rennzeit, the desktop entry,
# icon and AppStream metadata under /usr/share), and packed by CPack with the
# dependencies of its shared libraries. Install it with
#   apt install ./build-package/rennzeit_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}
./scripts/install-deps.sh
mkdir -p "$dir"
# Every time in the package is the release date, the date of the newest
# changelog entry, so two builds of one commit give the same package.
release=$(sed -n 's/^ -- .*>  //p' resources/package/changelog | head -n 1)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -d "$release" +%s)}
export SOURCE_DATE_EPOCH
# Optimised as Debian builds its packages (-O2), with its hardening: a
# protected stack, checked string functions, read-only relocations. The
# source folder's path stays out of the program.
export CXXFLAGS="-fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security -ffile-prefix-map=$PWD=."
export LDFLAGS="-Wl,-z,relro -Wl,-z,now"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DRENNZEIT_DEB=ON \
  -DRENNZEIT_TESTS=OFF -DRENNZEIT_BENCH=OFF -DRENNZEIT_SANITIZE=OFF > "$dir.configure.log" 2>&1 \
  || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" --parallel "$(nproc)"
rm -f "$dir"/rennzeit_*.deb
(cd "$dir" && cpack -G DEB > cpack.log 2>&1) || { cat "$dir/cpack.log"; exit 1; }
deb=$(ls "$dir"/rennzeit_*.deb)
# CPack stamps the files and its archives with the time of packing: the
# package is packed again, every file dated to the release, in dpkg-deb's
# fixed order.
tree="$dir/package-tree"
rm -rf "$tree"
dpkg-deb -R "$deb" "$tree"
find "$tree" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
rm -f "$deb"
dpkg-deb --root-owner-group --build "$tree" "$deb" > /dev/null
rm -rf "$tree"
echo "Debian package: $deb"
