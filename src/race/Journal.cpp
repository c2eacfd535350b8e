// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/Journal.h"

#include "platform/BootClock.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace race {

RaceJournal::RaceJournal(const QString& folder, const QString& title)
    : m_folder(folder)
    , m_title(title)
    , m_mark(folder)
{
    m_writer.OnOpened = [this](QString* reason) {
        // Only a journal that exists is named, and only a named one is found
        // after a crash: the mark is written before the journal's first line.
        return m_mark.SetJournal(m_writer.FileName(), QString(), reason);
    };
    m_writer.OnDurable = [this](std::uint64_t seq) {
        if (OnDurable)
            OnDurable(seq);
    };
    m_writer.OnFailure = [this](const QString& why) {
        if (OnFailure)
            OnFailure(why);
    };
    m_writer.OnRecovered = [this] {
        if (OnRecovered)
            OnRecovered();
    };
}

RaceJournal::~RaceJournal()
{
    Close();
}

bool RaceJournal::Begin(const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields, QString* reason)
{
    if (m_folder.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("kein Datenordner");
        return false;
    }
    m_writer.Close();
    m_seq = 0;
    m_writer.Open(NewJournalPath(m_folder, m_title, QDateTime::currentDateTime()));
    QList<QPair<QString, QString>> first { { QStringLiteral("version"), QString::number(kJournalVersion) },
        { QStringLiteral("title"), m_title }, { QStringLiteral("boot"), platform::BootId() } };
    first += fields;
    Record(QStringLiteral("BEGIN"), stamp, first);
    return true;
}

std::uint64_t RaceJournal::Record(JournalEntry entry)
{
    if (!m_writer.IsOpen())
        return 0;
    entry.seq = ++m_seq;
    // Both clocks are read at one moment, so the pair holds for the event's
    // tick too, even when the event was stamped a while ago.
    entry.wall = platform::WallClockMs() - platform::TickDiff(platform::GetTickCount(), entry.tick);
    m_writer.Append(entry.seq, FormatJournalLine(entry));
    return entry.seq;
}

std::uint64_t RaceJournal::Record(
    const QString& kind, const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields)
{
    JournalEntry entry;
    entry.tick = stamp.tick;
    // The stamp has the time of day only; one taken just before midnight and
    // recorded just after it belongs to the day before.
    const QDateTime now = QDateTime::currentDateTime();
    const QDate day = stamp.timeOfDay > now.time().addSecs(60) ? now.date().addDays(-1) : now.date();
    entry.date = day;
    entry.time = stamp.timeOfDay.isValid() ? stamp.timeOfDay : now.time();
    entry.kind = kind;
    entry.fields = fields;
    return Record(std::move(entry));
}

void RaceJournal::Finish()
{
    m_writer.Close();
    m_mark.SetJournal(QString());
    m_seq = 0;
}

std::size_t RaceJournal::Behind(int waitMs)
{
    if (!m_writer.IsOpen() || m_seq == 0)
        return 0;
    if (m_writer.WaitDurable(m_seq, waitMs))
        return 0;
    return m_writer.Pending().lines;
}

QByteArray RaceJournal::copyWith(const QString& journal, long durableSize, const std::vector<QByteArray>& lines)
{
    QByteArray bytes;
    QFile file(journal);
    if (durableSize > 0 && file.open(QIODevice::ReadOnly))
        bytes = file.read(durableSize);
    for (const QByteArray& line : lines)
        bytes += line;
    return bytes;
}

RaceJournal::Rescue RaceJournal::RescueNow(const QStringList& folders)
{
    Rescue rescue;
    const std::vector<QByteArray> lines = m_writer.PendingLines();
    rescue.lines = lines.size();
    if (lines.empty())
        return rescue;
    const QString journal = m_writer.FileName();
    rescue.path = WriteRescueCopy(
        folders, QFileInfo(journal).fileName(), copyWith(journal, m_writer.DurableSize(), lines), &rescue.error);
    return rescue;
}

RaceJournal::Rescue RaceJournal::Close(const QStringList& folders, bool keepSession)
{
    Rescue rescue;
    const bool begun = m_writer.IsOpen();
    const QString journal = m_writer.FileName();
    m_writer.Close();
    const std::vector<QByteArray> lines = m_writer.TakeLeftOver();
    rescue.lines = lines.size();
    if (!lines.empty()) {
        // The lines the disk refused go with the durable ones into a copy
        // elsewhere, which the mark names: the next start takes the race
        // back from it.
        rescue.path = WriteRescueCopy(
            folders, QFileInfo(journal).fileName(), copyWith(journal, m_writer.DurableSize(), lines), &rescue.error);
        if (!rescue.path.isEmpty())
            m_mark.SetJournal(journal, rescue.path);
    }
    // A race that is not whole on the disk stays for the next start to
    // offer, as after a crash: from its journal as far as the disk has it.
    if ((begun && (keepSession || !lines.empty())) || m_sessionKept)
        m_sessionKept = true;
    else
        m_mark.End();
    return rescue;
}

} // namespace race
