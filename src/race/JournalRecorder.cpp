// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalRecorder.h"

#include "race/LightBarriers.h"

namespace race {

JournalRecorder::JournalRecorder(Race& race, const QString& folder, const QString& title)
    : m_race(race)
    , m_journal(folder, title)
{
    m_journal.OnFailure = [this](const QString&) { noticeChanged(); };
    m_journal.OnRecovered = [this] { noticeChanged(); };
    race.OnCommand = [this](const CommandRecord& r) { onCommand(r); };
    race.OnTableChange = [this](const TableRecord& r) { onTableChange(r); };
    race.OnBeforeCommand = [this](int row) { beforeCommand(row); };
}

JournalRecorder::~JournalRecorder()
{
    m_race.OnCommand = nullptr;
    m_race.OnTableChange = nullptr;
    m_race.OnBeforeCommand = nullptr;
    // The journal is closed by now in an orderly end: the recovered race is
    // in the backups, its old session is done with.
    if (!m_journal.IsOpen())
        m_recoveredFrom.Forget();
}

void JournalRecorder::noticeChanged() const
{
    if (OnNoticeChanged)
        OnNoticeChanged();
}

void JournalRecorder::record(JournalEntry entry, const QString& digest)
{
    if (!m_journal.IsOpen())
        return;
    const QString sum = digest.isEmpty() ? m_race.Digest() : digest;
    entry.Add(QStringLiteral("sum"), sum);
    if (!entry.date.isValid())
        entry.date = QDate::currentDate();
    if (!entry.time.isValid())
        entry.time = QTime::currentTime();
    if (OnJournalEvent)
        OnJournalEvent(m_journal.LastSeq() + 1, sum);
    m_journal.Record(std::move(entry));
    forgetRecoveredSession();
    // The tooltip counts what waits for the disk.
    if (m_journal.Failing())
        noticeChanged();
}

JournalEntry JournalRecorder::stateEntry(int currentRow) const
{
    const auto [port, algorithm] = PortAndAlgorithm ? PortAndAlgorithm() : std::pair(0, 0);
    return StateEntry(m_race, currentRow, port, algorithm);
}

bool JournalRecorder::begin(const platform::Stamp& stamp, const QList<QPair<QString, QString>>& fields)
{
    QString reason;
    const bool begun = m_journal.Begin(stamp, fields, &reason);
    if (m_noJournal != (begun ? QString() : reason)) {
        m_noJournal = begun ? QString() : reason;
        noticeChanged();
    }
    return begun;
}

void JournalRecorder::beginWithSnapshot(const QList<QPair<QString, QString>>& fields)
{
    const QString digest = m_race.Digest();
    if (!begin(platform::Stamp::Now(), fields))
        return;
    // The first line stands for the race as it is, as the next one does.
    if (OnJournalEvent)
        OnJournalEvent(m_journal.LastSeq(), digest);
    record(stateEntry(m_race.View().currentRow), digest);
}

void JournalRecorder::beforeCommand(int currentRow)
{
    if (m_journal.IsOpen())
        return;
    m_pendingState = std::pair(stateEntry(currentRow), m_race.Digest());
}

void JournalRecorder::NoteBarrierEdge(std::uint32_t before, std::uint32_t after)
{
    m_barrierEdge.clear();
    const std::pair<std::uint32_t, const char*> lines[] = { { kModemDsr, "DSR" }, { kModemCts, "CTS" } };
    for (const auto& [bit, name] : lines) {
        if ((before ^ after) & bit) {
            m_barrierEdge.append({ QStringLiteral("line"), QString::fromLatin1(name) });
            m_barrierEdge.append(
                { QStringLiteral("level"), (after & bit) ? QStringLiteral("1") : QStringLiteral("0") });
        }
    }
}

void JournalRecorder::NoteStationImpulse(const QString& station, std::uint64_t sequence)
{
    m_barrierEdge = { { QStringLiteral("station"), station }, { QStringLiteral("nr"), QString::number(sequence) } };
}

void JournalRecorder::NoteClockStep(const QString& station, std::int64_t fromNs, std::int64_t toNs)
{
    if (!m_journal.IsOpen())
        return;
    JournalEntry entry;
    entry.kind = kind::ClockStep;
    const platform::Stamp now = platform::Stamp::Now();
    entry.tick = now.tick;
    entry.Add(QStringLiteral("station"), station);
    entry.Add(QStringLiteral("von"), qint64(fromNs));
    entry.Add(QStringLiteral("auf"), qint64(toNs));
    record(std::move(entry));
}

void JournalRecorder::NoteStationTime(const QString& station, std::uint64_t sequence, const platform::Stamp& stamp,
    const QString& number, const QString& start, std::optional<std::int32_t> ms)
{
    if (!m_journal.IsOpen())
        return;
    JournalEntry entry;
    entry.kind = ms ? kind::StationInterim : kind::StationStart;
    entry.tick = stamp.tick;
    entry.time = stamp.timeOfDay;
    entry.Add(QStringLiteral("station"), station);
    entry.Add(QStringLiteral("nr"), QString::number(sequence));
    entry.Add(QStringLiteral("startnr"), number);
    entry.Add(QStringLiteral("startzeit"), start);
    if (ms)
        entry.Add(QStringLiteral("ms"), *ms);
    record(std::move(entry));
}

void JournalRecorder::onCommand(const CommandRecord& r)
{
    if (!m_journal.IsOpen()) {
        const bool started = (r.command == Command::Start && r.outcome == Outcome::Started)
            || (r.command == Command::BarrierImpulse && r.startOutcome == Outcome::Started);
        // A loaded table with entries on course goes on as a race (the race
        // names its first start then): the journal begins with the table as
        // it stands, so its first stop is recorded.
        if (r.command == Command::Loaded && r.stamp) {
            beginWithSnapshot({});
            return;
        }
        if (!started || !m_pendingState)
            return;
        // The journal begins with the race's first START, noting the race
        // as it stood before it.
        auto [state, digest] = *std::exchange(m_pendingState, std::nullopt);
        if (!begin(r.stamp.value_or(platform::Stamp::Now()), {}))
            return;
        // The first line stands for the race before it, as the next one does.
        if (OnJournalEvent)
            OnJournalEvent(m_journal.LastSeq(), digest);
        record(std::move(state), digest);
    }
    JournalEntry entry = CommandEntry(r, m_race.Settings());
    if (r.command == Command::BarrierImpulse)
        entry.fields.append(std::exchange(m_barrierEdge, {}));
    if (r.command == Command::SettingsChanged && PortAndAlgorithm) {
        const auto [port, algorithm] = PortAndAlgorithm();
        entry.Add(QStringLiteral("port"), port);
        entry.Add(QStringLiteral("alg"), algorithm);
    }
    record(std::move(entry));
    if (r.command == Command::Reset && r.outcome == Outcome::Cleared)
        m_journal.Finish();
}

void JournalRecorder::onTableChange(const TableRecord& r)
{
    if (m_journal.IsOpen())
        record(TableEntry(r));
}

JournalRecorder::Notice JournalRecorder::WriteNotice() const
{
    Notice notice;
    if (!m_noJournal.isEmpty()) {
        notice.shown = true;
        notice.text = QStringLiteral("Kein Rennjournal\n") + m_noJournal;
        notice.tip = QStringLiteral("Das Rennen wird nicht aufgezeichnet (%1): nach einem Absturz lässt es sich nicht "
                                    "wiederherstellen. Die Zeitmessung geht weiter; speichern Sie das Protokoll von "
                                    "Hand.")
                         .arg(m_noJournal);
        return notice;
    }
    if (!m_journal.Failing())
        return notice;
    const QString reason = m_journal.FailureReason();
    const JournalWriter::Backlog backlog = m_journal.Pending();
    notice.shown = true;
    notice.text = QStringLiteral("Rennjournal: Schreibfehler\n") + reason;
    notice.tip
        = QStringLiteral("Das Rennjournal %1 kann nicht geschrieben werden: %2.").arg(m_journal.FileName(), reason);
    if (backlog.lines > 0) {
        const std::optional<JournalEntry> oldest = ParseJournalLine(backlog.firstLine.chopped(1));
        notice.tip += backlog.lines == 1
            ? QStringLiteral("\nNoch nicht auf der Platte: 1 Ereignis, Nr. %1").arg(backlog.first)
            : QStringLiteral("\nNoch nicht auf der Platte: %1 Ereignisse, Nr. %2 bis %3")
                  .arg(backlog.lines)
                  .arg(backlog.first)
                  .arg(backlog.last);
        if (oldest)
            notice.tip += QStringLiteral(", seit %1 (%2)")
                              .arg(oldest->time.toString(QStringLiteral("HH:mm:ss")), oldest->kind);
        notice.tip += QLatin1Char('.');
    }
    notice.tip += QStringLiteral("\nDie Zeitmessung geht weiter; die Ereignisse werden in ihrer Reihenfolge "
                                 "geschrieben, sobald die Platte sie wieder annimmt.");
    return notice;
}

JournalRecorder::Recovery JournalRecorder::Recover(const QString& fileName)
{
    Recovery recovery;
    m_snapshotSeq = 0;
    const std::optional<JournalContents> contents = ReadJournal(fileName, &recovery.reason);
    if (!contents)
        return recovery;
    recovery.read = true;
    recovery.result = RecoverJournal(m_race, *contents, ClockNow::Read());
    if (recovery.result.used == 0)
        return recovery;
    // The old file is left as it is: it may end in a damaged line or in
    // lines this program cannot read, and nothing may follow those.
    m_journal.Finish();
    beginWithSnapshot({ { QStringLiteral("aus"), fileName } });
    m_snapshotSeq = m_journal.LastSeq();
    return recovery;
}

void JournalRecorder::ForgetOnceDurable(SessionClaim claim)
{
    if (m_snapshotSeq == 0 || !m_journal.IsOpen()) {
        claim.Forget(); // nothing came back that a new journal would hold
        return;
    }
    m_recoveredFrom = std::move(claim);
    // A healthy disk has it within milliseconds; a failing one is asked
    // again with every event.
    m_journal.WaitDurable(m_snapshotSeq, 1000);
    forgetRecoveredSession();
}

void JournalRecorder::forgetRecoveredSession()
{
    if (m_recoveredFrom.IsValid() && m_snapshotSeq > 0 && m_journal.DurableSeq() >= m_snapshotSeq)
        m_recoveredFrom.Forget();
}

} // namespace race
