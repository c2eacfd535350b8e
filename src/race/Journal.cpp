// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/Journal.h"

#include "platform/BootClock.h"

#include <QDateTime>

namespace race {

RaceJournal::RaceJournal(const QString& folder, const QString& title)
    : m_folder(folder)
    , m_title(title)
    , m_mark(folder)
{
    m_writer.OnOpened = [this](QString* reason) {
        // Only a journal that exists is named, and only a named one is found
        // after a crash: the mark is written before the journal's first line.
        return m_mark.SetJournal(m_writer.FileName(), reason);
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

void RaceJournal::Close()
{
    m_writer.Close();
    m_mark.End();
}

} // namespace race
