# SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The Debian package (scripts/package.sh): the installation as laid out with
# RENNZEIT_DEB, its dependencies taken from the shared libraries the program
# links.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rennzeit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The maintainer field must name an address; ".invalid" is reserved, so the
# default reaches nobody rather than whoever registers a made-up domain.
set(RENNZEIT_MAINTAINER "Rennzeit developers <rennzeit@rennzeit.invalid>"
    CACHE STRING "Maintainer of the Debian package (name and mail address)")
set(CPACK_PACKAGE_VENDOR "Rennzeit developers")
set(CPACK_PACKAGE_CONTACT "${RENNZEIT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "race timer with keys and light barriers")
# The extended description below the summary line; CPack indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Rennzeit times the entries of a race with buttons, function keys or two
light barriers wired to the DSR and CTS lines of a serial port. Every
start and stop goes into the results log, which is ranked after every
stop and can be saved, printed, published as a web page and exported for
word processors and spreadsheets. Its captions are German.")
if(RENNZEIT_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${RENNZEIT_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The display's fonts are metric twins of the ones its layout was made for;
# German texts of the toolkit's dialogs and opening files are welcome extras.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
