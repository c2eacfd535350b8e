// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Every file the program saves is replaced in one step: the new content goes
// into a temporary file beside the target, is flushed to the disk, and only
// then takes the target's name. A save that fails on the way (disk full,
// folder missing or read-only) leaves the previous file as it was and removes
// the temporary file. A target that exists but is no regular file (a device
// such as /dev/null) is written directly, as replacing it would destroy it.
//
// On failure the result is false and `reason` gets the system's explanation
// ("No space left on device", ...).
bool WriteFileAtomically(const QString& fileName, const QByteArray& bytes, QString* reason = nullptr);

// The second half of the above for files another library has written: makes
// the finished `writtenFile` durable and moves it to `fileName` in one step.
// On failure `writtenFile` is removed and the target left alone.
bool ReplaceFileAtomically(const QString& writtenFile, const QString& fileName, QString* reason = nullptr);

// A name for a temporary file in the target's folder (hidden, with a random
// part); it does not exist yet when returned.
QString TemporaryNameBeside(const QString& fileName);

} // namespace platform
