// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// The file calls of the journal and the exports that need more than Qt's
// files give: appending with a sync per line, locks that end with the
// process, writing in place, folders only this user may write to. Thin on
// purpose: a failing call leaves its reason in errno (SystemReason words it)
// and callers keep their own retry and recovery rules.
namespace platform {

// A file kept open by its user; -1 is none.
using FileHandle = int;

// Opens (creating) a file to append to; its size so far in `size`. A new
// file's name is made durable at once. -1 with the reason on failure.
FileHandle OpenForAppend(const QString& fileName, long* size, QString* reason);
// Creates a file that must not exist yet, for reading and writing; -1 with
// errno (EEXIST when it does) on failure.
FileHandle CreateNew(const QString& fileName);
// Opens a file for reading and takes its exclusive lock without waiting; -1
// when it cannot be opened, another process holds the lock, or the file was
// removed meanwhile.
FileHandle OpenLocked(const QString& fileName);
// The exclusive lock of an open file, without waiting.
bool LockFile(FileHandle file);
void CloseFile(FileHandle file);

// One write; the count written, or -1 with errno.
long WriteSome(FileHandle file, const char* data, std::size_t size);
// The file's data on the disk; 0 or -1 with errno.
int SyncData(FileHandle file);
// Cuts the file to `size`; 0 or -1 with errno.
int TruncateFile(FileHandle file, long size);
// Replaces the whole content in place (the file keeps its lock) and syncs
// it; false with the reason.
bool RewriteInPlace(FileHandle file, const QByteArray& bytes, QString* reason);
// Everything the file holds, from its start.
QByteArray ReadAllFrom(FileHandle file);

// The whole file; false with the reason (a folder is no file to read).
bool ReadWholeFile(const QString& fileName, QByteArray* bytes, QString* reason);

// A new or renamed file's folder entry is durable only once the folder
// itself is synced. A file system that cannot sync folders has nothing to
// lose here, so a failure is no error.
void SyncFolderOf(const QString& fileName);

// Makes the last folder of `folder` (the ones above it must exist); false
// with the reason. `privateToUser`: a folder only this user can write to,
// also when it was there already (a shared temporary folder is no place for
// someone else's).
bool MakeFolder(const QString& folder, bool privateToUser, QString* reason);

// This user's number, to tell this user's folders in shared places apart.
unsigned UserId();

} // namespace platform
