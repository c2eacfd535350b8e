// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A small tmpfs (64 KiB) mounted for one test, so writers can be made to
// fail as on a full disk or a read-only folder; root, which the tests run as,
// ignores permission bits. Where mounting is not allowed (a container without
// the capability), mounted() is false and skipReason() says why.
class TinyFileSystem {
public:
    TinyFileSystem();
    ~TinyFileSystem();
    TinyFileSystem(const TinyFileSystem&) = delete;
    TinyFileSystem& operator=(const TinyFileSystem&) = delete;

    bool mounted() const { return m_mounted; }
    QString skipReason() const { return m_skipReason; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Takes every free block with a filler file; true when the disk is full.
    bool Fill();
    // Mounts it again read-only.
    bool MakeReadOnly();
    // Every name in the folder, hidden ones too (temporary files left behind
    // would show here).
    QStringList Entries() const;

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    QString m_skipReason;
};
