// START, STOPP, F.Stopp, ENDE and reset; the barrier locks and lockouts; the
// refresh steps that keep the buttons in step with the protocol.
#include "app/FMain.h"

#include "app/Glyphs.h"
#include "app/RaceText.h"
#include "controls/ButtonWithColor.h"
#include "controls/Image.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "controls/ModalResult.h"
#include "dialogs/DlgYesNo.h"
#include "grid/GridCommaText.h"
#include "grid/SortGrid.h"
#include "platform/Shell.h"
#include "protocol/Columns.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QListWidget>
#include <QToolButton>

#include <stdexcept>

namespace {

using namespace protocol;

constexpr TColor kGreen = 0x008000;
constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;
constexpr TColor kDarkRed = 0x000090;
constexpr TColor kBlack = 0x000000;

// The toolkit's integer conversion: optional sign, decimal digits (or "$"
// hexadecimal), surrounding blanks not allowed. Throws on anything else.
std::int32_t toInteger(const QString& text)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        throw std::invalid_argument(("'" + text + "' ist kein gültiger Integerwert").toStdString());
    return static_cast<std::int32_t>(v);
}

bool tryInteger(const QString& text, std::int32_t& value)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

} // namespace

int TFormMain::CurrentRow() const
{
    return SortGrid1->Selection().Top;
}

void TFormMain::SelectWholeRow(int row)
{
    SortGrid1->SetSelection(TGridRect { 0, row, 6, row });
}

void TFormMain::mStartClick()
{
    if (mStart->isEnabled())
        StartAt(platform::Stamp::Now());
}

void TFormMain::StartAt(const platform::Stamp& stamp)
{
    if (!mStart->isEnabled())
        return;
    const platform::Tick t = stamp.tick;
    LatestStartTick = t;
    const QTime now = stamp.timeOfDay;
    const int c = CurrentRow();

    if (FirstStartTick == 0) {
        FirstStartTick = t;
        bEnd->setEnabled(true);
        bEnd->SetColor(kBlue);
    }
    SortGrid1->SetCells(kColPlatz, c, QStringLiteral("-"));
    const std::int32_t split = platform::TickDiff(t, FirstStartTick);

    std::int32_t n = 0;
    QString keptName;
    if (tryInteger(SortGrid1->Cells(kColNr, c), n))
        keptName = SortGrid1->Cells(kColName, c);
    else
        n = 0;
    if (SortGrid1->Cells(kColNr, c).isEmpty())
        SortGrid1->SetCells(kColNr, c, QString::number(c));

    SortGrid1->SetCells(kColStart, c, TimeOfDayText(now));
    SortGrid1->SetCells(kColSplit, c, RunTimeText(split, Accuracy));
    SortGrid1->SetCells(kColRaw, c, QString::number(t));

    if (c == SortGrid1->RowCount() - 1) {
        SortGrid1->SetRowCount(SortGrid1->RowCount() + 1);
        SortGrid1->SetCells(kColPlatz, SortGrid1->RowCount() - 1, QStringLiteral("-"));
        ColumnLayout();
    }
    SortGrid1->SetCells(kColNr, c, QString::number(n != 0 ? n : c));
    SortGrid1->SetCells(kColName, c, keptName);

    MakeRowCurrent(c + 1);
    Clock->SetEnabled(true);
    if (bSTOP->isEnabled() && !BarrierFree(ImageLSstop))
        ToggleLock(ImageLSstop);
    ArmStartLockout();
    bCFG->setEnabled(false);
    ExportButtonRefresh();
    bFStopp->setEnabled(true);
    bFStopp->SetColor(kDarkRed);
    SelectWholeRow(CurrentRow());
    ResultsChanged();
}

void TFormMain::mStopClick()
{
    if (mStop->isEnabled())
        StopAt(platform::Stamp::Now());
}

void TFormMain::StopAt(const platform::Stamp& stamp)
{
    if (!mStop->isEnabled())
        return;
    const int c = CurrentRow();
    if (SortGrid1->Cells(kColRaw, c).isEmpty())
        return;
    const platform::Tick t = stamp.tick;
    const std::int32_t s = toInteger(SortGrid1->Cells(kColRaw, c));
    const std::int32_t run = platform::TickDiff(t, s);
    SortGrid1->SetCells(kColZeit, c, RunTimeText(run, Accuracy));
    SortGrid1->SetCells(kColRaw, c, QString::number(run));
    if (c != SortGrid1->RowCount() - 1)
        MakeRowCurrent(c + 1);
    ArmStopLockout();
    if (bSTART->isEnabled() && !BarrierFree(ImageLSstart))
        ToggleLock(ImageLSstart);
    RankRefresh();
}

void TFormMain::MakeRowCurrent(int row)
{
    // The grid asks SortGrid1SelectCell, which runs the row-state refresh and,
    // outside the editable columns, selects the whole row.
    SortGrid1->SetRow(row);
}

void TFormMain::RowStateRefresh(int row)
{
    const QString raw = TrimBlanks(SortGrid1->Cells(kColRaw, row));
    const QString zeit = TrimBlanks(SortGrid1->Cells(kColZeit, row));

    const bool stopAvailable = !raw.isEmpty() && zeit.isEmpty();
    bSTOP->setEnabled(stopAvailable);
    mStop->setEnabled(stopAvailable);
    if (stopAvailable) {
        bSTOP->SetColor(kRed);
        LatestStartTick = toInteger(SortGrid1->Cells(kColRaw, row));
    } else {
        bSTOP->SetColor(clBtnFace);
    }

    const bool startAvailable = raw.isEmpty();
    bSTART->setEnabled(startAvailable);
    mStart->setEnabled(startAvailable);
    bSTART->SetColor(startAvailable ? kGreen : clBtnFace);

    if (!stopAvailable) {
        std::int32_t runTime = 0;
        if (!startAvailable && !tryInteger(SortGrid1->Cells(kColRaw, row), runTime))
            runTime = 0;
        DisplayRowUpdate(1, startAvailable ? 0 : runTime);
    }
}

void TFormMain::RankRefresh()
{
    TSortOptions& options = SortGrid1->SortOptions();
    options.CanSort = true;
    SortGrid1->SortByColumn(options.SortCol);

    QString previousText;
    int previousPlace = 1;
    for (int r = 1; r < SortGrid1->RowCount(); ++r) {
        const QString zeit = SortGrid1->Cells(kColZeit, r);
        if (zeit.isEmpty())
            continue;
        if (zeit == previousText) {
            SortGrid1->SetCells(kColPlatz, r, QString::number(previousPlace));
        } else {
            SortGrid1->SetCells(kColPlatz, r, QString::number(r));
            previousPlace = r;
            previousText = zeit;
        }
    }

    const int free = SortGrid1->FindRow(kColZeit, QString(), false);
    if (free >= 1 && free < SortGrid1->RowCount()) {
        RowStateRefresh(free);
        SelectWholeRow(free);
    }
    ExportButtonRefresh();
    ResultsChanged();
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

bool TFormMain::BarrierFree(const TImage* image) const
{
    return image->Tag == 1;
}

void TFormMain::ToggleLock(TImage* image)
{
    image->Tag ^= 1;
    image->SetPicture(LockPicture(image->Tag));
    image->repaint();
}

void TFormMain::ImageLSClick(TImage* sender)
{
    ToggleLock(sender);
}

void TFormMain::LockLSStart1Click()
{
    ImageLSClick(ImageLSstart);
}

void TFormMain::LockLSStopp1Click()
{
    ImageLSClick(ImageLSstop);
}

void TFormMain::ArmStartLockout()
{
    if (TimerGesperrtStart->Interval() > 0)
        TimerGesperrtStart->SetEnabled(true);
    if (BarrierFree(ImageLSstart))
        ToggleLock(ImageLSstart);
}

void TFormMain::ArmStopLockout()
{
    if (TimerGesperrtStop->Interval() > 0)
        TimerGesperrtStop->SetEnabled(true);
    if (BarrierFree(ImageLSstop))
        ToggleLock(ImageLSstop);
}

void TFormMain::TimerGesperrtTimer(TMessageTimer* sender)
{
    sender->SetEnabled(false);
    if (sender == TimerGesperrtStart && !BarrierFree(ImageLSstart) && bSTART->isEnabled())
        ToggleLock(ImageLSstart);
    if (sender == TimerGesperrtStop && !BarrierFree(ImageLSstop) && bSTOP->isEnabled())
        ToggleLock(ImageLSstop);
}

void TFormMain::FStopp1Click()
{
    ListBoxStopp->addItem(TimeOfDayText(QTime::currentTime()));
    ListBoxStopp->setCurrentRow(ListBoxStopp->count() - 1);
}

void TFormMain::bEndClick()
{
    Clock->SetEnabled(false);
    if (bSTART->isEnabled() && !BarrierFree(ImageLSstart))
        ToggleLock(ImageLSstart);
    bEnd->setEnabled(false);
    bFStopp->setEnabled(false);
    bEnd->SetColor(clBtnFace);
    bFStopp->SetColor(clBtnFace);
    bSTART->setEnabled(false);
    mStart->setEnabled(false);
    bSTART->SetColor(clBtnFace);
    bSTOP->setEnabled(false);
    mStop->setEnabled(false);
    bSTOP->SetColor(clBtnFace);
    bRESET->setEnabled(true);
    mReset->setEnabled(true);
    bRESET->SetColor(kBlack);
    bRESET->setFocus();
    ResultsChanged();
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
        SortGrid1->Clear();
        Clock->SetEnabled(false);
        FirstStartTick = 0;
        ColumnLayout();
        DisplayRowUpdate(0, 0);
        DisplayRowUpdate(1, 0);
        bCFG->setEnabled(true);
        bSTART->setEnabled(true);
        mStart->setEnabled(true);
        bRESET->setEnabled(false);
        mReset->setEnabled(false);
        bFStopp->setEnabled(false);
        bFStopp->SetColor(clBtnFace);
        bRESET->SetColor(clBtnFace);
        bSTART->SetColor(kGreen);
        bSTART->setFocus();
        ListBoxStopp->clear();
        ExportButtonRefresh();
        ResultsChanged();
    }
    FDlgYesNo->SetButtonCaptions(QStringLiteral("Ja"), QStringLiteral("Nein"));
}
