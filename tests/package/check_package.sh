#!/usr/bin/env bash
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
expect usr/share/metainfo/de.lauflicht_soft.rennzeit.metainfo.xml -rw-r--r--
expect usr/share/doc/rennzeit/copyright -rw-r--r--
expect usr/share/doc/rennzeit/changelog.gz -rw-r--r--
grep -Eq '^l.* \./usr/bin/rennzeit -> /opt/rennzeit/rennzeit$' <<< "$listing" || problem "no link /usr/bin/rennzeit"
# Nothing outside the program folder and /usr, all owned by root.
awk '{ print $6 }' <<< "$listing" | grep -Ev '^\./$|^\./opt/($|rennzeit/)|^\./usr/' && problem "files outside /opt/rennzeit and /usr"
awk '$2 != "root/root"' <<< "$listing" | grep . && problem "files not owned by root"

# The executable is stripped and finds every library it needs.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
file "$tmp/opt/rennzeit/rennzeit" | grep -q ', stripped' || problem "the executable is not stripped"
ldd "$tmp/opt/rennzeit/rennzeit" | grep 'not found' && problem "unresolved libraries"

if command -v lintian > /dev/null; then
  # Errors fail the check; warnings are shown.
  lintian --fail-on error --tag-display-limit 0 "$deb" || problem "lintian reports errors"
else
  echo "lintian is missing: the package was not checked against Debian's policy"
fi

[ $fail -eq 0 ] && echo "Package $deb: contents, dependencies and policy check passed"
exit $fail
