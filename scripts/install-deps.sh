#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the program and the tests need.
# Safe to run again: packages that are already there are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6opengl6-dev
  libzip-dev libxlsxwriter-dev libbenchmark-dev
  libqrencode-dev zlib1g-dev libcurl4-openssl-dev libsecret-1-dev
  fonts-liberation2 shared-mime-info xdg-utils qt6-translations-l10n
  xvfb x11-utils imagemagick
  dpkg-dev file
)
if [ "${1:-}" = "--tests" ]; then
  # The browser and print-queue tests need a real browser, a private CUPS
  # server with a PDF queue and a PDF-to-text tool; the office test opens the
  # workbook and the document with LibreOffice (headless, without its
  # windows); the format check needs clang-format; the package test checks
  # the Debian package with lintian, its desktop entry with
  # desktop-file-validate and its metadata with appstreamcli; the upload
  # tests start their own OpenSSH server (SFTP) and lighttpd (WebDAV, also
  # over TLS with a certificate of its own) on 127.0.0.1; the page test
  # parses the results page with html5lib as a browser would.
  packages+=(chromium cups cups-bsd printer-driver-cups-pdf poppler-utils unzip clang-format lintian
    desktop-file-utils appstream libreoffice-calc-nogui libreoffice-writer-nogui
    openssh-server openssh-client lighttpd lighttpd-mod-webdav lighttpd-mod-openssl openssl python3-html5lib)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
