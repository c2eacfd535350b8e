// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Taking a race back after an unclean end: the question, the replay and what
// the operator is told about it.
#include "app/FMain.h"

#include "app/RecoveryDialog.h"
#include "app/RecoveryTexts.h"
#include "app/StationsAtFinish.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "race/JournalRecorder.h"
#include "race/JournalStore.h"

#include "app/StationsAtFinish.h"

#include <QLocale>
#include <QScopeGuard>
#include <QScopedValueRollback>

namespace {

const QString kQuestionName = QStringLiteral("RecoveryQuestion");

enum class Answer { None, Yes, No };

} // namespace

void TFormMain::offerRecovery(std::optional<bool> answer)
{
    // Whatever the answer, the stations are read only once the race is
    // what it will be: their impulses must not go into a race a recovery
    // then replaces.
    const auto stations = qScopeGuard([this] { startStations(); });
    const QString folder = m_journal->File().Folder();
    if (folder.isEmpty())
        return;
    const QList<race::AbandonedSession> sessions = race::FindAbandonedSessions(folder);
    bool elsewhere = sessions.isEmpty() && race::SessionClaimedElsewhere(folder);
    // One after the other, the newest first: Nein forgets a race and asks
    // about the next; Ja takes it back and leaves the others for the next
    // start.
    for (int i = 0; i < sessions.size(); ++i) {
        bool taken = false;
        race::SessionClaim claim = race::SessionClaim::Take(sessions[i], &taken);
        elsewhere = elsewhere || taken;
        if (!claim.IsValid())
            continue;
        QString reason;
        const std::optional<race::JournalContents> contents = race::ReadJournal(sessions[i].journal, &reason);
        if (!contents) {
            dialogs::ShowError(this,
                QStringLiteral("Das Rennjournal %1 kann nicht gelesen werden: %2").arg(sessions[i].journal, reason));
            continue;
        }
        const race::JournalRecovery preview
            = race::PreviewJournal(*contents, race::ClockNow::Read(), m_race->Settings());
        Answer given = Answer::None;
        if (answer) {
            given = *answer ? Answer::Yes : Answer::No;
        } else {
            TRecoveryDialog question(this, TRecoveryDialog::Kind::Question,
                recoverytexts::QuestionText(preview, i + 1, static_cast<int>(sessions.size())),
                recoverytexts::DetailsText(preview));
            question.setObjectName(kQuestionName);
            const int result = dialogs::ExecDialog(&question);
            given = result == TRecoveryDialog::kYes ? Answer::Yes
                : result == TRecoveryDialog::kNo    ? Answer::No
                                                    : Answer::None;
        }
        // Closed without an answer, or the program is asked to end: the race
        // stays for the next start.
        if (given == Answer::None || m_endInOrder)
            return;
        if (given == Answer::No) {
            claim.Forget();
            continue;
        }
        if (recoverJournal(sessions[i].journal))
            m_journal->ForgetOnceDurable(std::move(claim));
        return;
    }
    if (elsewhere)
        dialogs::ShowMessage(this, dialogs::Icon::Information, files.title,
            QStringLiteral("Das letzte Rennen wird gerade in einem anderen Programmfenster wiederhergestellt."));
}

void TFormMain::leaveRecoveryQuestion()
{
    if (auto* question = findChild<TRecoveryDialog*>(kQuestionName))
        question->Dismiss();
}

bool TFormMain::recoverJournal(const QString& fileName)
{
    race::JournalRecorder::Recovery recovery;
    {
        const QScopedValueRollback busy(m_raceBusy, true);
        commitEditor();
        TSortGrid& grid = *ui.SortGrid1;
        grid.BeginUpdate();
        try {
            recovery = m_journal->Recover(fileName);
        } catch (...) {
            grid.EndUpdate();
            throw;
        }
        grid.EndUpdate();
        if (recovery.read) {
            // The digits first: the race's times are shown at its accuracy.
            displayAccuracySwitch(m_race->Settings().accuracy);
            // The columns next (a race of two runs has more): a change of them
            // moves the grid's cursor, which must not become a row change of
            // the race taken back.
            columnLayout();
            mirrorRace(m_race->View(), RowFollow::WholeRow);
        }
    }
    if (!recovery.read) {
        dialogs::ShowError(
            this, QStringLiteral("Das Rennjournal %1 kann nicht gelesen werden: %2").arg(fileName, recovery.reason));
        return false;
    }
    columnLayout();
    if (m_finishStations && recovery.result.used > 0)
        m_finishStations->ResumeFromJournal(fileName);
    const race::JournalRecovery& r = recovery.result;
    const QString text = recoverytexts::ReportText(r, fileName);
    if (text.isEmpty())
        return true;
    const QString details = recoverytexts::DetailsText(r);
    // Shown without waiting: the race may be running, its keys must work.
    if (dialogs::TestMode()) {
        dialogs::ShowMessage(this, dialogs::Icon::Warning, files.title,
            details.isEmpty() ? text : text + QStringLiteral("\n\n") + details);
    } else {
        auto* report = new TRecoveryDialog(this, TRecoveryDialog::Kind::Report, text, details);
        report->setAttribute(Qt::WA_DeleteOnClose);
        report->setAttribute(Qt::WA_ShowWithoutActivating);
        report->show();
    }
    return true;
}
