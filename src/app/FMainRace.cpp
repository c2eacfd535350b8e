// START, STOPP, F.Stopp, ENDE and reset; the barrier locks and lockouts; the
// refresh steps that keep the buttons in step with the protocol. The race
// rules decide every one of them; this file forwards the commands and shows
// what the rules return.
#include "app/FMain.h"

#include "app/Glyphs.h"
#include "controls/ButtonWithColor.h"
#include "controls/Image.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "controls/ModalResult.h"
#include "dialogs/DlgYesNo.h"
#include "grid/SortGrid.h"
#include "platform/Shell.h"

#include <QAction>
#include <QFileInfo>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QToolButton>

namespace {

constexpr TColor kGreen = 0x008000;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;
constexpr TColor kDarkRed = 0x000090;
constexpr TColor kBlack = 0x000000;

} // namespace

int TFormMain::CurrentRow() const
{
    return SortGrid1->Selection().Top;
}

void TFormMain::SelectWholeRow(int row)
{
    SortGrid1->SetSelection(TGridRect { 0, row, 6, row });
}

void TFormMain::MakeRowCurrent(int row)
{
    // The grid asks SortGrid1SelectCell, which runs the row-state refresh and,
    // outside the editable columns, selects the whole row.
    SortGrid1->SetRow(row);
}

void TFormMain::BuildRaceRules()
{
    m_race = std::make_unique<race::RaceRules>(*SortGrid1);
    // The display order is the operator's: the column and direction of the
    // last header click, "Zeit" ascending until then. The current row
    // follows its data through the sort.
    m_race->SetDisplaySort([this](int row) {
        SelectWholeRow(row);
        TSortOptions& options = SortGrid1->SortOptions();
        options.CanSort = true;
        SortGrid1->SortByColumn(options.SortCol);
        return CurrentRow();
    });
    m_race->SetClearTable([this] { SortGrid1->Clear(); });
    BuildJournal();
}

race::RaceSettings TFormMain::CurrentRaceSettings() const
{
    return { Accuracy, StopFirst, TimerGesperrtStart->Interval(), TimerGesperrtStop->Interval() };
}

race::Outcome TFormMain::RunRace(const std::function<race::RaceResult()>& operation, RowFollow follow)
{
    const QScopedValueRollback busy(m_raceBusy, true);
    m_race->SetSettings(CurrentRaceSettings());
    const race::RaceResult result = operation();
    const bool acted = result.outcome != race::Outcome::NotAvailable;
    MirrorRace(result.view, follow == RowFollow::WholeRow && !acted ? RowFollow::View : follow);
    return result.outcome;
}

void TFormMain::MirrorRace(const race::RaceView& v, RowFollow follow)
{
    const bool moved = follow != RowFollow::Grid && CurrentRow() != v.currentRow;
    if (moved)
        MakeRowCurrent(v.currentRow);
    if (moved || follow == RowFollow::WholeRow)
        SelectWholeRow(v.currentRow);

    struct Control {
        TBitBtnWithColor* button;
        QAction* item;
        bool available;
        TColor colour;
    };
    const Control controls[] = {
        { bSTART, mStart, v.startAvailable, kGreen },
        { bSTOP, mStop, v.stopAvailable, kRed },
        { bEnd, nullptr, v.endAvailable, kBlue },
        { bFStopp, nullptr, v.interimAvailable, kDarkRed },
        { bRESET, mReset, v.resetAvailable, kBlack },
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
            (v.startAvailable ? static_cast<QWidget*>(bSTART) : PanelLeft)->setFocus();
            break;
        }
    }
    for (const Control& c : controls) {
        c.button->setEnabled(c.available);
        if (c.item)
            c.item->setEnabled(c.available);
        c.button->SetColor(c.available ? c.colour : clBtnFace);
    }
    bCFG->setEnabled(v.settingsAvailable);

    FirstStartTick = v.firstStartTick;
    LatestStartTick = m_race->LatestStartTick();
    Clock->SetEnabled(v.clockRunning);
    if (!v.raceStarted)
        DisplayRowUpdate(0, 0);
    DisplayRowUpdate(
        1, v.currentRowRunning ? platform::TickDiff(platform::GetTickCount(), v.currentStartTick) : v.row1Ms);

    const std::pair<TImage*, bool> locks[]
        = { { ImageLSstart, v.startBarrierFree }, { ImageLSstop, v.stopBarrierFree } };
    for (const auto& [image, free] : locks) {
        if (image->Tag != (free ? 1 : 0)) {
            image->Tag = free ? 1 : 0;
            image->SetPicture(LockPicture(image->Tag));
            image->repaint();
        }
    }
    // Enabling a running lockout does not restart it.
    TimerGesperrtStart->SetEnabled(v.startLockoutRunning);
    TimerGesperrtStop->SetEnabled(v.stopLockoutRunning);

    MirrorInterims();
    ExportButtonRefresh();
    ResultsChanged();
}

void TFormMain::MirrorInterims()
{
    const std::vector<race::Interim>& interims = m_race->Interims();
    const int count = static_cast<int>(interims.size());
    if (ListBoxStopp->count() > count)
        ListBoxStopp->clear();
    const bool added = ListBoxStopp->count() < count;
    for (int i = ListBoxStopp->count(); i < count; ++i) {
        auto* item = new QListWidgetItem(interims[static_cast<size_t>(i)].text, ListBoxStopp);
        item->setData(Qt::UserRole, interims[static_cast<size_t>(i)].stamp.tick);
    }
    for (int i = 0; i < count; ++i) {
        QListWidgetItem* item = ListBoxStopp->item(i);
        const bool used = interims[static_cast<size_t>(i)].used;
        if (item->data(Qt::UserRole + 1).toBool() == used)
            continue;
        item->setData(Qt::UserRole + 1, used);
        item->setForeground(used ? QBrush(Qt::gray) : QBrush());
        item->setToolTip(used ? QStringLiteral("eingesetzt") : QString());
    }
    if (added)
        ListBoxStopp->setCurrentRow(count - 1);
}

void TFormMain::mStartClick()
{
    if (mStart->isEnabled())
        StartAt(platform::Stamp::Now());
}

void TFormMain::StartAt(const platform::Stamp& stamp)
{
    CommitEditor();
    JournalBeforeCommand();
    if (RunRace([&] { return m_race->Start(CurrentRow(), stamp); }, RowFollow::WholeRow) == race::Outcome::Started)
        ColumnLayout();
}

void TFormMain::mStopClick()
{
    if (mStop->isEnabled())
        StopAt(platform::Stamp::Now());
}

void TFormMain::StopAt(const platform::Stamp& stamp)
{
    CommitEditor();
    if (RunRace([&] { return m_race->Stop(CurrentRow(), stamp); }, RowFollow::WholeRow) == race::Outcome::Stopped)
        ColumnLayout();
}

void TFormMain::RowStateRefresh(int row)
{
    RunRace([&] { return m_race->RowStateRefresh(row); }, RowFollow::Grid);
}

void TFormMain::RankRefresh()
{
    RunRace([&] { return m_race->RankRefresh(CurrentRow()); }, RowFollow::WholeRow);
}

void TFormMain::ExportButtonRefresh()
{
    const bool save = SortGrid1->RowCount() > 2;
    sbSave->setEnabled(save);
    sbPrint->setEnabled(save && platform::HasPrinter());
    sbWord->setEnabled(save && QFileInfo::exists(TemplatePath));
    sbExcel->setEnabled(save);
    sbHTML->setEnabled(save);
}

void TFormMain::ImageLSClick(TImage* sender)
{
    const race::Barrier barrier = sender == ImageLSstart ? race::Barrier::Start : race::Barrier::Stop;
    RunRace([&] { return m_race->ToggleLock(barrier, CurrentRow()); });
}

void TFormMain::LockLSStart1Click()
{
    ImageLSClick(ImageLSstart);
}

void TFormMain::LockLSStopp1Click()
{
    ImageLSClick(ImageLSstop);
}

void TFormMain::TimerGesperrtTimer(TMessageTimer* sender)
{
    sender->SetEnabled(false);
    const race::Barrier barrier = sender == TimerGesperrtStart ? race::Barrier::Start : race::Barrier::Stop;
    RunRace([&] { return m_race->LockoutEnded(barrier, CurrentRow()); });
}

void TFormMain::FStopp1Click()
{
    RunRace([&] { return m_race->InterimStop(CurrentRow(), platform::Stamp::Now()); });
}

void TFormMain::bEndClick()
{
    if (RunRace([&] { return m_race->End(CurrentRow()); }) == race::Outcome::Ended)
        bRESET->setFocus();
}

void TFormMain::mResetClick()
{
    if (!mReset->isEnabled())
        return;
    FDlgYesNo->Label1->setText(QStringLiteral("Protokoll wird gelöscht!"));
    FDlgYesNo->SetActiveControl(FDlgYesNo->CancelBtn);
    FDlgYesNo->SetButtonCaptions(QStringLiteral("OK"), QStringLiteral("Abbrechen"));
    const int answer = FDlgYesNo->ShowModal();
    if (answer == mrYes) {
        CommitEditor();
        m_lastRemoved.reset();
        RunRace([&] { return m_race->Reset(); }, RowFollow::WholeRow);
        ColumnLayout();
        bSTART->setFocus();
    }
    FDlgYesNo->SetButtonCaptions(QStringLiteral("Ja"), QStringLiteral("Nein"));
}

bool TFormMain::ConfirmReplaceLog()
{
    FDlgYesNo->Label1->setText(QStringLiteral("Protokoll wird ersetzt!"));
    FDlgYesNo->SetActiveControl(FDlgYesNo->CancelBtn);
    FDlgYesNo->SetButtonCaptions(QStringLiteral("OK"), QStringLiteral("Abbrechen"));
    const bool replace = FDlgYesNo->ShowModal() == mrYes;
    FDlgYesNo->SetButtonCaptions(QStringLiteral("Ja"), QStringLiteral("Nein"));
    return replace;
}
