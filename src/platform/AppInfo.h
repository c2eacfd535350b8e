// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

namespace platform {

// Names derived from the running executable. The application title is the
// executable's file name without folder and extension; it names the settings
// store and the side files, so a renamed copy keeps its own settings.
QString ExecutablePath();
QString ExecutableFolder(); // with a trailing '/'
QString ApplicationTitle();

// Where file dialogs start the first time: the user's documents folder as the
// desktop names it (XDG_DOCUMENTS_DIR), or the home folder when there is none.
QString DocumentsFolder();

// Tests pretend to be another executable (a renamed copy).
void SetExecutablePathForTests(const QString& path);

} // namespace platform
