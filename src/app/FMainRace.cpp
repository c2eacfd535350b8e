// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// START, STOPP, F.Stopp, ENDE and reset; the barrier locks and lockouts; the
// refresh steps that keep the buttons in step with the protocol. The race
// decides every one of them; this file forwards the commands and shows what
// the race returns.
#include "app/FMain.h"

#include "app/Glyphs.h"
#include "app/LivePublisher.h"
#include "app/NoteBar.h"
#include "app/RaceDisplay.h"
#include "comm/Comms.h"
#include "controls/ButtonWithColor.h"
#include "controls/Image.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/Shell.h"
#include "protocol/Columns.h"
#include "race/RaceBackups.h"

#include <QAction>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QToolButton>

namespace {

// The colours of the race buttons while they can be pressed.
constexpr TColor kStartColour = clGreen;
constexpr TColor kStopColour = clRed;
constexpr TColor kEndColour = clBlue;
constexpr TColor kInterimColour = 0x000090; // dark red
constexpr TColor kResetColour = clBlack;

} // namespace

int TFormMain::currentRow() const
{
    return ui.SortGrid1->Selection().Top;
}

void TFormMain::selectWholeRow(int row)
{
    TSortGrid& grid = *ui.SortGrid1;
    // As a click outside the editable columns selects it: the whole row
    // stays selected when the grid later moves only its current cell (a sort
    // does), and that cell is the last shown one, never a hidden column,
    // where no highlight would show.
    int last = grid.ColCount() - 1;
    while (last > 0 && grid.ColWidths(last) < 0)
        --last;
    TGridOptions options = grid.Options();
    options.setFlag(goEditing, false);
    options.setFlag(goRowSelect, true);
    grid.SetOptions(options);
    grid.SetSelection(TGridRect { 0, row, last, row });
}

void TFormMain::makeRowCurrent(int row)
{
    // The grid asks SortGrid1SelectCell, which runs the row-state refresh and,
    // outside the editable columns, selects the whole row.
    ui.SortGrid1->SetRow(row);
}

race::Outcome TFormMain::runRace(const std::function<race::RaceResult()>& operation, RowFollow follow)
{
    const QScopedValueRollback busy(m_raceBusy, true);
    const race::RaceResult result = operation();
    const bool acted = result.outcome != race::Outcome::NotAvailable;
    mirrorRace(result.view, follow == RowFollow::WholeRow && !acted ? RowFollow::View : follow);
    if (result.outcome == race::Outcome::Started || result.outcome == race::Outcome::Stopped
        || result.outcome == race::Outcome::InterimInserted)
        putAwayNote();
    return result.outcome;
}

void TFormMain::mirrorRace(const race::RaceView& v, RowFollow follow)
{
    const bool moved = follow != RowFollow::Grid && currentRow() != v.currentRow;
    if (moved)
        makeRowCurrent(v.currentRow);
    if (moved || follow == RowFollow::WholeRow)
        selectWholeRow(v.currentRow);

    struct Control {
        TBitBtnWithColor* button;
        QAction* item;
        bool available;
        TColor colour;
    };
    const Control controls[] = {
        { ui.bSTART, ui.mStart, v.startAvailable, kStartColour },
        { ui.bSTOP, ui.mStop, v.stopAvailable, kStopColour },
        { ui.bEnd, nullptr, v.endAvailable, kEndColour },
        { ui.bFStopp, nullptr, v.interimAvailable, kInterimColour },
        { ui.bRESET, ui.mReset, v.resetAvailable, kResetColour },
    };
    // Enabled first: a focused button about to be disabled hands the focus to
    // START (or to the display when START is unavailable too), never to the
    // next tab stop, which would be ENDE or reset.
    for (const Control& c : controls) {
        if (c.available)
            c.button->setEnabled(true);
    }
    for (const Control& c : controls) {
        if (!c.available && c.button->hasFocus()) {
            (v.startAvailable ? static_cast<QWidget*>(ui.bSTART) : ui.PanelLeft)->setFocus();
            break;
        }
    }
    for (const Control& c : controls) {
        c.button->setEnabled(c.available);
        if (c.item)
            c.item->setEnabled(c.available);
        c.button->SetColor(c.available ? c.colour : clBtnFace);
    }
    ui.bCFG->setEnabled(v.settingsAvailable);

    const platform::Tick now = platform::GetTickCount();
    ui.Clock->SetEnabled(v.clockRunning);
    if (!v.clockRunning)
        displayRowUpdate(0, m_race->ClockAt(now).ms);
    displayRowUpdate(1, v.currentRowRunning ? platform::TickDiff(now, v.currentStartTick) : v.row1Ms);

    const std::pair<TImage*, bool> locks[]
        = { { ui.ImageLSstart, v.startBarrierFree }, { ui.ImageLSstop, v.stopBarrierFree } };
    for (const auto& [image, free] : locks) {
        if (image->Tag != (free ? 1 : 0)) {
            image->Tag = free ? 1 : 0;
            image->SetPicture(LockPicture(image->Tag));
            image->repaint();
        }
    }
    scheduleLockouts();
    mirrorInterims();
    exportButtonRefresh();
    m_live->ResultsChanged();
}

// The lockout timers fire when the race's lockouts end; a lockout that has
// not changed keeps its timer running.
void TFormMain::scheduleLockouts()
{
    const std::pair<race::Barrier, TMessageTimer*> lockouts[]
        = { { race::Barrier::Start, ui.TimerGesperrtStart }, { race::Barrier::Stop, ui.TimerGesperrtStop } };
    for (size_t i = 0; i < 2; ++i) {
        const auto [barrier, timer] = lockouts[i];
        const std::optional<platform::Tick> end = m_race->LockoutEnd(barrier);
        if (end == m_lockoutTimerEnds[i] && timer->Enabled() == end.has_value())
            continue;
        m_lockoutTimerEnds[i] = end;
        timer->SetEnabled(false);
        if (end) {
            timer->SetInterval(std::max(0, platform::TickDiff(*end, platform::GetTickCount())));
            timer->SetEnabled(true);
        }
    }
}

void TFormMain::mirrorInterims()
{
    const std::vector<race::Interim>& interims = m_race->Interims();
    QListWidget* list = ui.ListBoxStopp;
    const int count = static_cast<int>(interims.size());
    if (list->count() > count)
        list->clear();
    const bool added = list->count() < count;
    for (int i = list->count(); i < count; ++i) {
        auto* item = new QListWidgetItem(interims[static_cast<size_t>(i)].text, list);
        item->setData(Qt::UserRole, interims[static_cast<size_t>(i)].stamp.tick);
    }
    for (int i = 0; i < count; ++i) {
        QListWidgetItem* item = list->item(i);
        const bool used = interims[static_cast<size_t>(i)].used;
        if (item->data(Qt::UserRole + 1).toBool() == used)
            continue;
        item->setData(Qt::UserRole + 1, used);
        item->setForeground(used ? QBrush(Qt::gray) : QBrush());
        item->setToolTip(used ? QStringLiteral("eingesetzt") : QString());
    }
    if (added)
        list->setCurrentRow(count - 1);
}

void TFormMain::mStartClick()
{
    if (stationTakesKey(true))
        return;
    if (ui.mStart->isEnabled())
        startAt(platform::Stamp::Now());
}

void TFormMain::startAt(const platform::Stamp& stamp)
{
    commitEditor();
    if (runRace([&] { return m_race->Start(currentRow(), stamp); }, RowFollow::WholeRow) == race::Outcome::Started)
        columnLayout();
}

void TFormMain::mStopClick()
{
    if (ui.mStop->isEnabled())
        stopAt(platform::Stamp::Now());
}

void TFormMain::stopAt(const platform::Stamp& stamp)
{
    commitEditor();
    const int row = currentRow();
    const race::Outcome outcome = runRace([&] { return m_race->Stop(row, stamp); }, RowFollow::WholeRow);
    if (outcome == race::Outcome::Stopped)
        columnLayout();
    else if (outcome == race::Outcome::NotAvailable)
        // The key acts on the selected entry only; the operator learns why
        // it stopped nobody.
        showNotice(QStringLiteral("STOPP: niemand gestoppt\n") + m_race->WhyNotStoppable(row), false);
}

void TFormMain::keyPressEvent(QKeyEvent* event)
{
    // F9 arrives here only while STOPP is not available for the selected
    // row (the hidden menu takes it otherwise): during a race the operator
    // learns why nothing stopped.
    if (event->key() == Qt::Key_F9 && event->modifiers() == Qt::NoModifier && !event->isAutoRepeat()
        && m_race->AnyStarted()) {
        const QString why = m_race->WhyNotStoppable(currentRow());
        if (!why.isEmpty()) {
            showNotice(QStringLiteral("STOPP: niemand gestoppt\n") + why, false);
            event->accept();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

void TFormMain::rowStateRefresh(int row)
{
    runRace([&] { return m_race->RowStateRefresh(row); }, RowFollow::Grid);
}

void TFormMain::rankRefresh()
{
    runRace([&] { return m_race->RankRefresh(currentRow()); }, RowFollow::WholeRow);
}

void TFormMain::exportButtonRefresh()
{
    const bool save = ui.SortGrid1->RowCount() > 2;
    ui.sbSave->setEnabled(save);
    ui.sbPrint->setEnabled(save && platform::HasPrinter());
    ui.sbWord->setEnabled(save && QFileInfo::exists(files.templatePath));
    ui.sbExcel->setEnabled(save);
    ui.sbHTML->setEnabled(save);
}

void TFormMain::ImageLSClick(TImage* sender)
{
    const race::Barrier barrier = sender == ui.ImageLSstart ? race::Barrier::Start : race::Barrier::Stop;
    runRace([&] { return m_race->ToggleLock(barrier, currentRow()); });
}

void TFormMain::LockLSStart1Click()
{
    ImageLSClick(ui.ImageLSstart);
}

void TFormMain::LockLSStopp1Click()
{
    ImageLSClick(ui.ImageLSstop);
}

void TFormMain::TimerGesperrtTimer(TMessageTimer* sender)
{
    const size_t index = sender == ui.TimerGesperrtStart ? 0 : 1;
    const std::optional<platform::Tick> end = m_lockoutTimerEnds[index];
    sender->SetEnabled(false);
    m_lockoutTimerEnds[index].reset();
    // Changes that came while the window was busy are judged first, each at
    // its own edge: the lockout may have ended for some of them and not for
    // others.
    ui.ComPort->DispatchQueued();
    const race::Barrier barrier = index == 0 ? race::Barrier::Start : race::Barrier::Stop;
    if (end && m_race->LockoutEnd(barrier) == end)
        runRace([&] { return m_race->LockoutEnded(barrier, currentRow()); });
}

void TFormMain::mTakeBackStopClick()
{
    commitEditor();
    const int row = currentRow();
    if (runRace([&] { return m_race->TakeBackStop(row); }, RowFollow::WholeRow) == race::Outcome::StopTakenBack) {
        // The stop waits in the list, selected, for "Einzusetzen aus F.Stopp".
        ui.ListBoxStopp->setCurrentRow(ui.ListBoxStopp->count() - 1);
        columnLayout();
    } else {
        showNotice(
            QStringLiteral("Stopp zurücknehmen: die gewählte Zeile hat keinen Stopp, der sich zurücknehmen lässt"),
            false);
    }
}

void TFormMain::FStopp1Click()
{
    if (stationTakesKey(false))
        return;
    runRace([&] { return m_race->InterimStop(currentRow(), platform::Stamp::Now()); });
}

void TFormMain::bEndClick()
{
    if (runRace([&] { return m_race->End(currentRow(), platform::Stamp::Now()); }) == race::Outcome::Ended)
        ui.bRESET->setFocus();
}

void TFormMain::mResetClick()
{
    if (!ui.mReset->isEnabled())
        return;
    if (ui.FDlgYesNo->Ask(QStringLiteral("Protokoll wird gelöscht!"), TFDlgYesNo::Focus::Cancel, QStringLiteral("OK"),
            QStringLiteral("Abbrechen"))) {
        commitEditor();
        runRace([&] { return m_race->Reset(); }, RowFollow::WholeRow);
        ui.PanelLoadNote->Clear(); // it spoke of rows that are gone
        m_backups->NewRace();
        columnLayout();
        ui.bSTART->setFocus();
    }
}
