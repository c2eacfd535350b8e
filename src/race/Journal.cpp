#include "race/Journal.h"

#include <QDateTime>

namespace race {

RaceJournal::RaceJournal(const QString& folder, const QString& title)
    : m_folder(folder)
    , m_title(title)
    , m_mark(folder)
{
}

RaceJournal::~RaceJournal()
{
    Close();
}

bool RaceJournal::OpenFile(const QString& fileName, QString* reason)
{
    m_writer.OnDurable = [this](std::uint64_t seq) {
        if (OnDurable)
            OnDurable(seq);
    };
    m_writer.OnFailure = [this](const QString& why) {
        if (OnFailure)
            OnFailure(why);
    };
    if (!m_writer.Open(fileName, reason))
        return false;
    m_mark.SetJournal(fileName);
    return true;
}

bool RaceJournal::Begin(const platform::Stamp& stamp, QString* reason)
{
    if (m_folder.isEmpty()) {
        if (reason)
            *reason = QStringLiteral("kein Datenordner");
        return false;
    }
    m_writer.Close();
    m_seq = 0;
    if (!OpenFile(NewJournalPath(m_folder, m_title, QDateTime::currentDateTime()), reason))
        return false;
    Record(QStringLiteral("BEGIN"), stamp,
        { { QStringLiteral("version"), QStringLiteral("1") }, { QStringLiteral("title"), m_title } });
    return true;
}

bool RaceJournal::Resume(const QString& fileName, std::uint64_t lastSeq, QString* reason)
{
    m_writer.Close();
    m_seq = lastSeq;
    return OpenFile(fileName, reason);
}

std::uint64_t RaceJournal::Record(JournalEntry entry)
{
    if (!m_writer.IsOpen())
        return 0;
    entry.seq = ++m_seq;
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
