// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

class TCellStore;

namespace race {

// The race's backups: the plain copy "<title>.txt" in the working folder and
// a dated copy in the data folder beside the journals, of which the newest
// `keep` are kept. A table without entries writes neither, so a start
// without a race never overwrites the last race's backup. The same race's
// dated copy is written once and replaced when the table changed; a new race
// (after a reset or a load) gets a copy of its own.
class RaceBackups final {
public:
    RaceBackups(QString title, int keep);

    // Writes both for the table whose backup bytes are given. Returns why
    // either could not be written, one line each; empty when both were or
    // there was nothing worth a backup.
    QString Write(const TCellStore& cells, const QByteArray& bytes, const QString& dataFolder);
    // Another race begins: its dated copy is its own.
    void NewRace();

private:
    QString m_title;
    int m_keep;
    // The dated copy written last, and what it holds.
    QString m_dated;
    QByteArray m_datedBytes;
};

} // namespace race
