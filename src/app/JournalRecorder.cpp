#include "app/JournalRecorder.h"

#include "app/DisplayTime.h"

JournalRecorder::JournalRecorder(race::Race& race, const QString& folder, const QString& title)
    : m_race(race)
    , m_journal(folder, title)
{
    m_journal.OnFailure = [this](const QString& reason) {
        if (OnFailure)
            OnFailure(reason);
    };
    race.OnCommand = [this](const race::CommandRecord& r) { onCommand(r); };
    race.OnTableChange = [this](const race::TableRecord& r) { onTableChange(r); };
    race.OnBeforeCommand = [this](int row) { beforeCommand(row); };
}

JournalRecorder::~JournalRecorder()
{
    m_race.OnCommand = nullptr;
    m_race.OnTableChange = nullptr;
    m_race.OnBeforeCommand = nullptr;
}

void JournalRecorder::record(race::JournalEntry entry, const QString& digest)
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
}

void JournalRecorder::beforeCommand(int currentRow)
{
    if (m_journal.IsOpen())
        return;
    const auto [port, algorithm] = PortAndAlgorithm ? PortAndAlgorithm() : std::pair(0, 0);
    m_pendingState = std::pair(race::StateEntry(m_race, currentRow, port, algorithm), m_race.Digest());
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

void JournalRecorder::onCommand(const race::CommandRecord& r)
{
    if (!m_journal.IsOpen()) {
        // The journal begins with the race's first START, noting the race as
        // it stood before it.
        const bool started = (r.command == race::Command::Start && r.outcome == race::Outcome::Started)
            || (r.command == race::Command::BarrierImpulse && r.startOutcome == race::Outcome::Started);
        if (!started || !m_pendingState)
            return;
        auto [state, digest] = *std::exchange(m_pendingState, std::nullopt);
        QString reason;
        if (!m_journal.Begin(r.stamp.value_or(platform::Stamp::Now()), &reason)) {
            if (!std::exchange(m_beginFailed, true) && OnFailure)
                OnFailure(reason);
            return;
        }
        // The first line stands for the race before it, as the next one does.
        if (OnJournalEvent)
            OnJournalEvent(m_journal.LastSeq(), digest);
        record(std::move(state), digest);
    }
    race::JournalEntry entry = race::CommandEntry(r, m_race.Settings());
    if (r.command == race::Command::BarrierImpulse)
        entry.fields.append(std::exchange(m_barrierEdge, {}));
    if (r.command == race::Command::SettingsChanged && PortAndAlgorithm) {
        const auto [port, algorithm] = PortAndAlgorithm();
        entry.Add(QStringLiteral("port"), port);
        entry.Add(QStringLiteral("alg"), algorithm);
    }
    record(std::move(entry));
    if (r.command == race::Command::Reset && r.outcome == race::Outcome::Cleared)
        m_journal.Finish();
}

void JournalRecorder::onTableChange(const race::TableRecord& r)
{
    if (m_journal.IsOpen())
        record(race::TableEntry(r));
}

JournalRecorder::Recovery JournalRecorder::Recover(const QString& fileName)
{
    Recovery result;
    if (!race::CutTornEnd(fileName, &result.reason))
        return result;
    const std::optional<race::JournalContents> contents = race::ReadJournal(fileName, &result.reason);
    if (!contents)
        return result;
    result.read = true;
    result.skipped = contents->skipped;
    const race::ReplayReport report = race::ReplayJournal(m_race, contents->entries);
    result.disagreeing = report.disagreeing;
    result.currentRow = report.currentRow;
    if (result.disagreeing == 0 && !report.lastSum.isEmpty() && report.lastSum != m_race.Digest())
        result.disagreeing = 1;
    const std::uint64_t lastSeq = contents->entries.isEmpty() ? 0 : contents->entries.last().seq;
    QString reason;
    if (!m_journal.Resume(fileName, lastSeq, &reason) && OnFailure)
        OnFailure(reason);
    return result;
}
