// Taking a race back after an unclean end: the question, the replay and what
// the operator is told about it.
#include "app/FMain.h"

#include "app/JournalRecorder.h"
#include "controls/Dialogs.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "race/JournalStore.h"

#include <QScopedValueRollback>

void TFormMain::offerRecovery(std::optional<bool> answer)
{
    const QString folder = m_journal->File().Folder();
    if (folder.isEmpty())
        return;
    const QList<race::AbandonedSession> sessions = race::FindAbandonedSessions(folder);
    if (sessions.isEmpty())
        return;
    const bool yes = answer
        ? *answer
        : ui.FDlgYesNo->Ask(QStringLiteral("Letztes Rennen wiederherstellen?"), TFDlgYesNo::Focus::Ok);
    // The newest race is taken back; its journal (and every other) stays
    // on disk, the question is not asked again.
    if (yes)
        recoverJournal(sessions.first().journal);
    race::ForgetSessions(sessions);
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
        if (recovery.read)
            mirrorRace(m_race->View(), RowFollow::WholeRow);
    }
    if (!recovery.read) {
        dialogs::ShowError(
            this, QStringLiteral("Das Rennjournal %1 kann nicht gelesen werden: %2").arg(fileName, recovery.reason));
        return false;
    }
    displayAccuracySwitch(m_race->Settings().accuracy);
    columnLayout();
    QStringList notes;
    if (!recovery.skipped.isEmpty())
        notes << QStringLiteral("Übergangene Zeilen des Journals:\n") + recovery.skipped.join(QLatin1Char('\n'));
    if (recovery.disagreeing > 0)
        notes << QStringLiteral("%1 Ereignisse ließen sich nicht wie aufgezeichnet wiederholen; bitte prüfen Sie "
                                "das Protokoll.")
                     .arg(recovery.disagreeing);
    if (!notes.isEmpty())
        dialogs::ShowMessage(this, dialogs::Icon::Warning, files.title,
            QStringLiteral("Das Rennen wurde aus %1 wiederhergestellt.\n\n").arg(fileName)
                + notes.join(QStringLiteral("\n\n")));
    return true;
}
