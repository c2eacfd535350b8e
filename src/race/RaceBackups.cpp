// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/RaceBackups.h"

#include "platform/AppInfo.h"
#include "platform/AtomicFile.h"
#include "protocol/ProtocolFiles.h"
#include "race/JournalStore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <utility>

namespace race {

RaceBackups::RaceBackups(QString title, int keep)
    : m_title(std::move(title))
    , m_keep(keep)
{
}

QString RaceBackups::Write(const TCellStore& cells, const QByteArray& bytes, const QString& dataFolder)
{
    if (!protocol::HasEntryContent(cells))
        return {};
    QStringList failures;
    // Not in the working folder: started from a menu that is the home
    // folder, where a file of the user's may have the same name.
    const QString plain = platform::OutputFolder() + QLatin1Char('/') + m_title + QStringLiteral(".txt");
    QString reason;
    if (!platform::MakeOutputFolder(&reason) || !platform::WriteFileAtomically(plain, bytes, &reason))
        failures << QStringLiteral("Die Sicherungskopie %1 kann nicht geschrieben werden: %2.")
                        .arg(QFileInfo(plain).absoluteFilePath(), reason);
    if (bytes != m_datedBytes || m_dated.isEmpty()) {
        QString written;
        if (WriteDatedBackup(dataFolder, m_title, QDateTime::currentDateTime(), bytes, m_keep, &reason, &written)) {
            if (!m_dated.isEmpty() && m_dated != written)
                QFile::remove(m_dated);
            m_dated = written;
            m_datedBytes = bytes;
        } else {
            failures << QStringLiteral("Die Sicherungskopie im Datenordner %1 kann nicht geschrieben werden: %2.")
                            .arg(dataFolder, reason);
        }
    }
    return failures.join(QLatin1Char('\n'));
}

void RaceBackups::NewRace()
{
    m_dated.clear();
    m_datedBytes.clear();
}

} // namespace race
