#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package and checks what it installs and what it needs.
#   check_package.sh <source-folder> <build-folder>
# Exits 77 (skipped) where the Debian package tools are missing.
set -euo pipefail
src=$1
dir=$2
for tool in dpkg-deb dpkg-shlibdeps cpack; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool is missing, no Debian package can be built here"
    exit 77
  fi
done

fail=0
problem() {
  echo "FAIL: $*"
  fail=1
}

"$src/scripts/package.sh" "$dir"
version=$(sed -n 's/^project(rennzeit VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
deb="$dir/rennzeit_${version}_amd64.deb"
[ -f "$deb" ] || { echo "FAIL: $deb was not built"; ls "$dir"/*.deb 2>/dev/null; exit 1; }

# The fields of the control file.
[ "$(dpkg-deb -f "$deb" Package)" = rennzeit ] || problem "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || problem "version $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || problem "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The libraries the program links, found by dpkg-shlibdeps, and the fonts.
names=$(tr ',' '\n' <<< "$depends" | sed 's/^ *//; s/ .*//')
for lib in libc6 'libstdc\+\+6' libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 'libzip[0-9]+' \
  'libxlsxwriter[0-9]+' fonts-liberation2; do
  grep -Eqx -- "$lib" <<< "$names" || problem "Depends lacks $lib"
done
grep -q "qt6-translations-l10n" <<< "$(dpkg-deb -f "$deb" Recommends)" || problem "Recommends lacks qt6-translations-l10n"

# The files: the program folder, the link on the PATH, the desktop files.
listing=$(dpkg-deb -c "$deb")
expect() { # path [mode]
  local line
  line=$(awk -v p="./$1" '$6 == p' <<< "$listing")
  [ -n "$line" ] || { problem "missing $1"; return; }
  [ -z "${2:-}" ] || [ "${line%% *}" = "$2" ] || problem "$1 has mode ${line%% *}, not $2"
}
expect opt/rennzeit/rennzeit -rwxr-xr-x
expect opt/rennzeit/rennzeit.hlp -rw-r--r--
expect opt/rennzeit/Protokollvorlage.docx -rw-r--r--
expect usr/share/applications/rennzeit.desktop -rw-r--r--
expect usr/share/icons/hicolor/scalable/apps/rennzeit.svg -rw-r--r--
for size in 16 22 24 32 48 64 128 256; do
  expect "usr/share/icons/hicolor/${size}x${size}/apps/rennzeit.png" -rw-r--r--
done
expect usr/share/metainfo/invalid.rennzeit.rennzeit.metainfo.xml -rw-r--r--
expect usr/share/doc/rennzeit/copyright -rw-r--r--
expect usr/share/doc/rennzeit/changelog.gz -rw-r--r--
expect usr/share/man/man1/rennzeit.1.gz -rw-r--r--
# Every file carries the release date of the changelog, not the build's time.
release=$(date -d "$(sed -n 's/^ -- .*>  //p' "$src/resources/package/changelog" | head -n 1)" '+%Y-%m-%d %H:%M')
awk -v r="$release" '($4 " " $5) != r' <<< "$listing" | grep . && problem "file times other than the release $release"
grep -Eq '^l.* \./usr/bin/rennzeit -> /opt/rennzeit/rennzeit$' <<< "$listing" || problem "no link /usr/bin/rennzeit"
# Nothing outside the program folder and /usr, all owned by root.
awk '{ print $6 }' <<< "$listing" | grep -Ev '^\./$|^\./opt/($|rennzeit/)|^\./usr/' && problem "files outside /opt/rennzeit and /usr"
awk '$2 != "root/root"' <<< "$listing" | grep . && problem "files not owned by root"

# The licence: the project's, in the machine-readable copyright format.
tmpc=$(mktemp -d)
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$tmpc" ./usr/share/doc/rennzeit/copyright ./usr/share/man/man1/rennzeit.1.gz
copyright="$tmpc/usr/share/doc/rennzeit/copyright"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" || problem "copyright format"
grep -q '^License: GPL-3+$' "$copyright" || problem "copyright names no GPL-3+"
# The manual page names every file and the live port.
man=$(zcat "$tmpc/usr/share/man/man1/rennzeit.1.gz")
for item in rennzeit.conf journal 'rennzeit\\-YYYY\\-MM\\-DD\\-HH\\-MM\\-SS.txt' rennzeit.html 8080 OPTIONS; do
  grep -q -- "$item" <<< "$man" || problem "the manual page lacks $item"
done
rm -rf "$tmpc"
# The packaging files carry the licence's SPDX lines as every source does.
for file in "$src"/resources/package/* "$src"/resources/rennzeit.desktop "$src"/resources/*.metainfo.xml; do
  grep -q 'SPDX-License-Identifier: ' "$file" || problem "$(basename "$file") has no SPDX line"
done

# Packed again from the same build, later, the package is the same byte for
# byte (a second compile in another folder is compared by hand).
cp "$deb" "$dir/first.deb"
find "$dir/bin" -type f -exec touch {} +
"$src/scripts/package.sh" "$dir" > /dev/null
cmp "$dir/first.deb" "$deb" || problem "a second packing gives another package"
rm -f "$dir/first.deb"

# The executable is stripped and finds every library it needs.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
file "$tmp/opt/rennzeit/rennzeit" | grep -q ', stripped' || problem "the executable is not stripped"
ldd "$tmp/opt/rennzeit/rennzeit" | grep 'not found' && problem "unresolved libraries"

if command -v lintian > /dev/null; then
  # Errors and warnings fail the check; the only override is /opt.
  lintian --fail-on error,warning --tag-display-limit 0 "$deb" || problem "lintian reports errors or warnings"
else
  echo "lintian is missing: the package was not checked against Debian's policy"
fi

# The desktop entry and the AppStream metadata as desktops read them.
if command -v desktop-file-validate > /dev/null; then
  out=$(desktop-file-validate "$tmp/usr/share/applications/rennzeit.desktop" 2>&1) || true
  [ -z "$out" ] || problem "desktop-file-validate: $out"
fi
if command -v appstreamcli > /dev/null; then
  appstreamcli validate --no-net "$tmp/usr/share/metainfo/invalid.rennzeit.rennzeit.metainfo.xml" \
    || problem "appstreamcli rejects the metadata"
fi

[ $fail -eq 0 ] && echo "Package $deb: contents, dependencies and policy check passed"
exit $fail
