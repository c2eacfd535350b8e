// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

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

// Where the program writes what it makes on its own (the document, the
// page, the exit backup, the workbook): the folder "Rennzeit" of the
// documents folder, never the working folder, where a user's own file of
// the same name would be replaced without a question.
QString OutputFolder();
// Makes OutputFolder() when it is missing (only its last step, so the
// system's reason is the one that matters); false, with that reason, when
// it cannot be made or a file has its name.
bool MakeOutputFolder(QString* reason);

// A name in `folder` that no file has yet: base + suffix, else base + "-2" +
// suffix, "-3" and so on; names in `taken` count as used. A file made
// earlier (and perhaps edited since) is never replaced.
QString UnusedFileName(
    const QString& folder, const QString& base, const QString& suffix, const QStringList& taken = {});

// Tests pretend to be another executable (a renamed copy).
void SetExecutablePathForTests(const QString& path);

} // namespace platform
