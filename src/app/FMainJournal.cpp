// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Taking a race back after an unclean end: the question, the replay and what
// the operator is told about it.
#include "app/FMain.h"

#include "app/JournalRecorder.h"
#include "app/RecoveryDialog.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "race/JournalStore.h"

#include <QLocale>
#include <QScopedValueRollback>

#include <cstdlib>

namespace {

const QString kQuestionName = QStringLiteral("RecoveryQuestion");

enum class Answer { None, Yes, No };

bool clockUntrusted(const race::JournalRecovery& r)
{
    return r.mapping == race::TickMapping::ClockBackwards || r.mapping == race::TickMapping::ClockJumped;
}

QString count(qsizetype n, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// "1 h 02 min", "5 min": to the minute, as the official reads a clock.
QString clockSetSize(std::int64_t ms)
{
    const std::int64_t minutes = (std::abs(ms) + 30000) / 60000;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// What the official is told of the boot and the clock.
QString clockNote(const race::JournalRecovery& r)
{
    switch (r.mapping) {
    case race::TickMapping::SameBoot:
        // The run times hold (the tick counter ran on), but the start times
        // written from now on follow the clock as it was set.
        if (r.clockSetMs == 0)
            return {};
        return QStringLiteral("Die Uhr des Rechners wurde seit dem letzten Ereignis um %1 %2.")
            .arg(clockSetSize(r.clockSetMs),
                r.clockSetMs < 0 ? QStringLiteral("zurückgestellt") : QStringLiteral("vorgestellt"));
    case race::TickMapping::WallClock:
        return QStringLiteral("Der Rechner wurde neu gestartet; laufende Zeiten werden über die Uhrzeit fortgeführt.");
    case race::TickMapping::ClockBackwards:
        return QStringLiteral("Der Rechner wurde neu gestartet, und seine Uhr geht hinter das Journal zurück: wie "
                              "lange er aus war, ist unbekannt.");
    case race::TickMapping::ClockJumped:
        return QStringLiteral("Der Rechner wurde neu gestartet, und seine Uhr ist mehr als einen Tag weiter als das "
                              "Journal: wie lange er aus war, ist unbekannt.");
    }
    return {};
}

QString runnersNote(const race::JournalRecovery& r)
{
    if (!clockUntrusted(r) || r.runners.isEmpty())
        return {};
    return QStringLiteral("Die Zeiten der Läufer auf der Strecke laufen ab dem letzten Ereignis des Journals weiter, "
                          "ohne die Zeit dazwischen; bitte entscheiden Sie über sie: %1.")
        .arg(r.runners.join(QStringLiteral("; ")));
}

QString unusedNote(const race::JournalRecovery& r)
{
    if (r.unused.isEmpty() && r.stop.isEmpty())
        return {};
    const QString upTo = r.used > 0
        ? QStringLiteral("bis Ereignis %1 (%2)").arg(r.lastSeq).arg(r.lastTime.toString(QStringLiteral("HH:mm:ss")))
        : QStringLiteral("von keinem Ereignis an");
    return QStringLiteral("Das Journal ist nur %1 lesbar (%2); %3 danach lassen sich nicht verwenden.")
        .arg(upTo, r.stop, count(r.unused.size(), QStringLiteral("Ereignis"), QStringLiteral("Ereignisse")));
}

// The list below the text: what cannot be used and, when the clock cannot
// be trusted, who is on course.
QString detailsOf(const race::JournalRecovery& r)
{
    QStringList lines;
    if (!r.unused.isEmpty()) {
        lines << QStringLiteral("Nicht verwendete Ereignisse:");
        for (const race::UnusedLine& u : r.unused)
            lines << u.Text();
    }
    if (clockUntrusted(r) && !r.runners.isEmpty()) {
        if (!lines.isEmpty())
            lines << QString();
        lines << QStringLiteral("Auf der Strecke:") << r.runners;
    }
    return lines.join(QLatin1Char('\n'));
}

QString questionText(const race::JournalRecovery& r, int number, int sessions)
{
    QStringList parts { QStringLiteral("Letztes Rennen wiederherstellen?") };
    QString race = QStringLiteral("Rennen vom %1, Start %2, %3")
                       .arg(QLocale().toString(r.day, QLocale::ShortFormat), r.startTime,
                           count(r.entries, QStringLiteral("Eintrag"), QStringLiteral("Einträge")));
    if (!r.runners.isEmpty())
        race += QStringLiteral(", %1 auf der Strecke").arg(r.runners.size());
    parts << race + QLatin1Char('.');
    if (sessions > 1)
        parts << QStringLiteral("Abgebrochenes Rennen %1 von %2 (das neueste zuerst).").arg(number).arg(sessions);
    for (const QString& note : { clockNote(r), runnersNote(r), unusedNote(r) })
        if (!note.isEmpty())
            parts << note;
    if (!r.stop.isEmpty())
        parts << (r.used > 0 ? QStringLiteral("Ja stellt das Rennen bis dahin wieder her.")
                             : QStringLiteral("Ja stellt nichts davon wieder her."));
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace

void TFormMain::offerRecovery(std::optional<bool> answer)
{
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
                questionText(preview, i + 1, static_cast<int>(sessions.size())), detailsOf(preview));
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
    JournalRecorder::Recovery recovery;
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
            mirrorRace(m_race->View(), RowFollow::WholeRow);
        }
    }
    if (!recovery.read) {
        dialogs::ShowError(
            this, QStringLiteral("Das Rennjournal %1 kann nicht gelesen werden: %2").arg(fileName, recovery.reason));
        return false;
    }
    columnLayout();
    const race::JournalRecovery& r = recovery.result;
    QStringList notes;
    for (const QString& note : { unusedNote(r), clockUntrusted(r) ? clockNote(r) : QString(), runnersNote(r) })
        if (!note.isEmpty())
            notes << note;
    if (r.disagreeing > 0)
        notes << QStringLiteral("%1 ließen sich nicht wie aufgezeichnet wiederholen; bitte prüfen Sie das Protokoll.")
                     .arg(count(r.disagreeing, QStringLiteral("Ereignis"), QStringLiteral("Ereignisse")));
    if (notes.isEmpty())
        return true;
    const QString text = QStringLiteral("Das Rennen wurde aus %1 wiederhergestellt.\n\n").arg(fileName)
        + notes.join(QStringLiteral("\n\n"));
    const QString details = detailsOf(r);
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
