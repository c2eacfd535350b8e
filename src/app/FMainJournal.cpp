// The race journal: every command, edit, load, sort and barrier impulse of a
// race goes into it as it happens; after an unclean end the next start offers
// to replay it into the table.
#include "app/FMain.h"

#include "app/DisplayTime.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/MessageTimer.h"
#include "controls/ModalResult.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "protocol/Columns.h"
#include "protocol/ProtocolFiles.h"
#include "race/Journal.h"
#include "race/JournalEvents.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>

using namespace protocol;

void TFormMain::BuildJournal()
{
    m_race->OnCommand = [this](const race::CommandRecord& record) { JournalCommand(record); };
    SortGrid1->OnCellCommitted = [this](QObject*, int col, int row, const QString& oldText, const QString& newText) {
        JournalTableEvent(race::kind::Edit,
            { { QStringLiteral("col"), QString::number(col) }, { QStringLiteral("row"), QString::number(row) },
                { QStringLiteral("alt"), oldText }, { QStringLiteral("neu"), newText } });
    };
    // The operator's sorts (a header click); the rules' own sorts are part
    // of their commands.
    SortGrid1->OnHeaderClicked = [this](QObject*, int col) {
        if (m_raceBusy || m_replaying)
            return;
        JournalTableEvent(race::kind::Sort,
            { { QStringLiteral("col"), QString::number(col) },
                { QStringLiteral("dir"),
                    SortGrid1->SortOptions().SortDirection == sdAscending ? QStringLiteral("auf")
                                                                          : QStringLiteral("ab") } });
        // The current row has moved with its data.
        RowStateRefresh(CurrentRow());
    };
}

QString TFormMain::RaceDigest() const
{
    const TSortOptions& options = SortGrid1->SortOptions();
    return race::RaceDigest(*SortGrid1, kProtocolColCount, m_race->State(), options.SortCol,
        options.SortDirection + (options.CanSort ? 2 : 0));
}

void TFormMain::JournalRecord(race::JournalEntry entry, const QString& digest)
{
    if (m_replaying || !Journal || !Journal->IsOpen())
        return;
    const QString sum = digest.isEmpty() ? RaceDigest() : digest;
    entry.Add(QStringLiteral("sum"), sum);
    if (!entry.date.isValid())
        entry.date = QDate::currentDate();
    if (!entry.time.isValid())
        entry.time = QTime::currentTime();
    if (OnJournalEvent)
        OnJournalEvent(Journal->LastSeq() + 1, sum);
    Journal->Record(std::move(entry));
}

void TFormMain::JournalTableEvent(const QString& kind, QList<QPair<QString, QString>> fields)
{
    if (m_replaying || !Journal || !Journal->IsOpen())
        return;
    race::JournalEntry entry;
    entry.kind = kind;
    entry.tick = platform::GetTickCount();
    entry.fields = std::move(fields);
    JournalRecord(std::move(entry));
}

race::JournalEntry TFormMain::JournalState() const
{
    race::JournalEntry e;
    e.kind = race::kind::State;
    e.tick = platform::GetTickCount();
    race::AddSettings(e, CurrentRaceSettings());
    e.Add(QStringLiteral("port"), ComPort->Port());
    e.Add(QStringLiteral("alg"), ComPort->Tag);
    e.Add(QStringLiteral("sortcol"), SortGrid1->SortOptions().SortCol);
    e.Add(QStringLiteral("sortdir"),
        SortGrid1->SortOptions().SortDirection == sdAscending ? QStringLiteral("auf") : QStringLiteral("ab"));
    e.Add(QStringLiteral("sorting"), SortGrid1->SortOptions().CanSort ? 1 : 0);
    e.Add(QStringLiteral("current"), CurrentRow());
    race::AddState(e, m_race->State());
    race::AddRows(e, *SortGrid1, kProtocolColCount);
    return e;
}

void TFormMain::JournalBeforeCommand()
{
    if (!m_replaying && Journal && !Journal->IsOpen())
        m_pendingState = std::pair(JournalState(), RaceDigest());
}

void TFormMain::JournalBarrierEdge(std::uint32_t before, std::uint32_t after)
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

void TFormMain::JournalCommand(const race::CommandRecord& record)
{
    if (m_replaying || !Journal)
        return;
    if (!Journal->IsOpen()) {
        // The journal begins with the race's first START, noting the race as
        // it stood before it.
        const bool started = (record.command == race::Command::Start && record.outcome == race::Outcome::Started)
            || (record.command == race::Command::BarrierImpulse && record.startOutcome == race::Outcome::Started);
        if (!started || !m_pendingState)
            return;
        auto [state, digest] = *std::exchange(m_pendingState, std::nullopt);
        QString reason;
        if (!Journal->Begin(record.stamp.value_or(platform::Stamp::Now()), &reason)) {
            if (!std::exchange(m_journalBeginFailed, true))
                ShowJournalFailure(reason);
            return;
        }
        // The first line stands for the race before it, as the next one does.
        if (OnJournalEvent)
            OnJournalEvent(Journal->LastSeq(), digest);
        JournalRecord(std::move(state), digest);
    }
    race::JournalEntry entry = race::CommandEntry(record, m_race->Settings());
    if (record.command == race::Command::BarrierImpulse)
        entry.fields.append(std::exchange(m_barrierEdge, {}));
    if (record.command == race::Command::SettingsChanged) {
        entry.Add(QStringLiteral("port"), ComPort->Port());
        entry.Add(QStringLiteral("alg"), ComPort->Tag);
    }
    JournalRecord(std::move(entry));
    if (record.command == race::Command::Reset && record.outcome == race::Outcome::Cleared)
        Journal->Finish();
}

// ---- replay ----------------------------------------------------------------------------

void TFormMain::ReplayRows(const QList<QStringList>& rows)
{
    SortGrid1->SetRowCount(std::max(2, static_cast<int>(rows.size()) + 1));
    SortGrid1->SetRows(1, QStringList());
    for (int i = 0; i < rows.size(); ++i)
        SortGrid1->SetRows(i + 1, rows[i]);
}

bool TFormMain::ReplayEntry(const race::JournalEntry& e)
{
    namespace kind = race::kind;
    const auto number = [&e](const char* key, int fallback) {
        bool ok = false;
        const int v = e.Field(QString::fromLatin1(key)).toInt(&ok);
        return ok ? v : fallback;
    };
    const auto sortDirection
        = [](const QString& text) { return text == QLatin1String("ab") ? sdDescending : sdAscending; };
    if (e.kind == kind::Begin)
        return true;
    if (e.kind == kind::State) {
        const race::RaceSettings s = race::SettingsOf(e, CurrentRaceSettings());
        Accuracy = s.accuracy;
        StopFirst = s.stopFirst;
        TimerGesperrtStart->SetInterval(s.startLockoutMs);
        ReplayRows(race::RowsOf(e));
        TSortOptions& options = SortGrid1->SortOptions();
        options.SortCol = number("sortcol", options.SortCol);
        options.SortDirection = sortDirection(e.Field(QStringLiteral("sortdir")));
        options.CanSort = number("sorting", options.CanSort ? 1 : 0) != 0;
        m_race->SetSettings(CurrentRaceSettings());
        m_race->RestoreState(race::StateOf(e), number("current", 1));
        return static_cast<int>(race::RowsOf(e).size()) + 1 == std::max(2, number("rows", 2));
    }
    if (e.kind == kind::Edit) {
        const int col = number("col", -1), row = number("row", -1);
        if (col < 0 || col >= kProtocolColCount || row < 1 || row >= SortGrid1->RowCount())
            return false;
        const bool same = SortGrid1->Cells(col, row) == e.Field(QStringLiteral("alt"));
        SortGrid1->SetCells(col, row, e.Field(QStringLiteral("neu")));
        return same;
    }
    if (e.kind == kind::RowRemoved) {
        const int row = number("row", -1);
        if (row < 1 || row >= SortGrid1->RowCount())
            return false;
        const QStringList cells = race::RowCells(e.Field(QStringLiteral("zellen")));
        const bool same = SortGrid1->Rows(row).mid(0, cells.size()) == cells;
        SortGrid1->DeleteRow(row);
        m_lastRemoved = RemovedRow { row, cells };
        return same;
    }
    if (e.kind == kind::RowInserted) {
        const int at = number("at", 1);
        return InsertRowWith(at, race::RowCells(e.Field(QStringLiteral("zellen")))) == number("row", -1);
    }
    if (e.kind == kind::Undo) {
        const RemovedRow removed { number("from", 1), race::RowCells(e.Field(QStringLiteral("zellen"))) };
        m_lastRemoved.reset();
        return PutBackRow(removed) == number("row", -1);
    }
    if (e.kind == kind::Load) {
        protocol::LoadedProtocol loaded;
        for (const QStringList& row : race::RowsOf(e))
            loaded.rows.push_back(row);
        protocol::ApplyLoadedProtocol(*SortGrid1, loaded);
        m_lastRemoved.reset();
        return true;
    }
    if (e.kind == kind::Sort) {
        // As the header click: the direction turns, and the rows are sorted
        // when sorting is on.
        SortGrid1->SortOptions().SortDirection = sortDirection(e.Field(QStringLiteral("dir")));
        SortGrid1->SortByColumn(number("col", 0));
        return true;
    }
    if (e.kind == kind::Settings) {
        const race::RaceSettings s = race::SettingsOf(e, CurrentRaceSettings());
        Accuracy = s.accuracy;
        StopFirst = s.stopFirst;
        TimerGesperrtStart->SetInterval(s.startLockoutMs);
    }
    m_race->SetSettings(CurrentRaceSettings());
    bool agrees = true;
    try {
        if (!race::ReplayCommand(*m_race, e, &agrees))
            return false; // a kind this program does not know
    } catch (const race::RaceError&) {
        return false;
    }
    return agrees;
}

bool TFormMain::RecoverJournal(const QString& fileName)
{
    QString reason;
    if (!race::CutTornEnd(fileName, &reason)) {
        dialogs::ShowError(
            this, QStringLiteral("Das Rennjournal %1 kann nicht gelesen werden: %2").arg(fileName, reason));
        return false;
    }
    const std::optional<race::JournalContents> contents = race::ReadJournal(fileName, &reason);
    if (!contents) {
        dialogs::ShowError(
            this, QStringLiteral("Das Rennjournal %1 kann nicht gelesen werden: %2").arg(fileName, reason));
        return false;
    }
    int disagreeing = 0;
    QString lastSum;
    {
        const QScopedValueRollback replaying(m_replaying, true);
        const QScopedValueRollback busy(m_raceBusy, true);
        CommitEditor();
        SortGrid1->BeginUpdate();
        try {
            for (const race::JournalEntry& entry : contents->entries) {
                if (!ReplayEntry(entry))
                    ++disagreeing;
                if (entry.HasField(QStringLiteral("sum")))
                    lastSum = entry.Field(QStringLiteral("sum"));
            }
        } catch (...) {
            SortGrid1->EndUpdate();
            throw;
        }
        SortGrid1->EndUpdate();
        MirrorRace(m_race->View(), RowFollow::WholeRow);
    }
    ColumnLayout();
    const std::uint64_t lastSeq = contents->entries.isEmpty() ? 0 : contents->entries.last().seq;
    if (!Journal->Resume(fileName, lastSeq, &reason))
        ShowJournalFailure(reason);

    QStringList notes;
    if (!contents->skipped.isEmpty())
        notes << QStringLiteral("Übergangene Zeilen des Journals:\n") + contents->skipped.join(QLatin1Char('\n'));
    if (disagreeing > 0 || (!lastSum.isEmpty() && lastSum != RaceDigest()))
        notes << QStringLiteral("%1 Ereignisse ließen sich nicht wie aufgezeichnet wiederholen; bitte prüfen Sie "
                                "das Protokoll.")
                     .arg(std::max(disagreeing, 1));
    if (!notes.isEmpty())
        dialogs::ShowMessage(this, dialogs::Icon::Warning, Title,
            QStringLiteral("Das Rennen wurde aus %1 wiederhergestellt.\n\n").arg(fileName)
                + notes.join(QStringLiteral("\n\n")));
    return true;
}

void TFormMain::OfferRecovery(std::optional<bool> answer)
{
    if (!Journal || Journal->Folder().isEmpty())
        return;
    const QList<race::AbandonedSession> sessions = race::FindAbandonedSessions(Journal->Folder());
    if (sessions.isEmpty())
        return;
    bool yes = false;
    if (answer) {
        yes = *answer;
    } else {
        FDlgYesNo->Label1->setText(QStringLiteral("Letztes Rennen wiederherstellen?"));
        FDlgYesNo->SetButtonCaptions(QStringLiteral("Ja"), QStringLiteral("Nein"));
        FDlgYesNo->SetActiveControl(FDlgYesNo->OKBtn);
        yes = FDlgYesNo->ShowModal() == mrYes;
    }
    // The newest race is taken back; its journal (and every other) stays
    // on disk, the question is not asked again.
    if (yes)
        RecoverJournal(sessions.first().journal);
    race::ForgetSessions(sessions);
}
