#pragma once

#include "app/DisplayTime.h"
#include "controls/ColorValue.h"
#include "grid/SortTypes.h"
#include "platform/Tick.h"
#include "protocol/WordBasic.h"

#include <QMainWindow>
#include <QPixmap>

#include <array>
#include <cstdint>
#include <memory>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QToolButton;
class QFrame;
class TBitBtnWithColor;
class TComPort;
class TDigit;
class TImage;
class TLbSpeedButton;
class TMessageTimer;
class TSortGrid;
class TCfgDialog;
class TFDlgYesNo;
class THelpViewer;
class TClickLabel;
class TQrPopup;
class TSpectatorWindow;
struct TFormatOptions;
struct RaceClock;
namespace platform {
class SettingsStore;
}
namespace live {
class LiveServer;
struct Snapshot;
} // namespace live

// The main window: the race timing, the time display, the protocol table and
// its files, the program's start-up and shut-down. One handler per user
// event, named after the control and the event; the handlers live in files
// by concern (FMainRace, FMainBarrier, FMainDisplay, FMainTable, FMainFiles,
// FMainOffice, FMainLifecycle, FMainLayout).
class TFormMain final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormMain)
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Header bar
    QFrame* Panel1 = nullptr;
    TLbSpeedButton* bHelp = nullptr;
    TLbSpeedButton* bCFG = nullptr;
    TLbSpeedButton* bInfo = nullptr;
    QLabel* PanelDate = nullptr;
    std::array<QLabel*, 5> BrandLabels {}; // two shadows, two words, suffix
    TClickLabel* LabLiveAddress = nullptr; // the live results' address; a click shows its QR code
    TLbSpeedButton* bAnzeige = nullptr; // the spectator display

    // Upper part: the display and the race controls
    QFrame* PanelMain = nullptr;
    QWidget* PanelTimerOwner = nullptr;
    QFrame* PanelTimer = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QWidget* PanelLeft = nullptr; // takes the focus back after the settings dialog
    std::array<std::array<TDigit*, DisplayTime::DigitCount>, 2> Digits {};
    TDigit* Digit8 = nullptr; // carries the second-row colour in its Tag
    QLabel *LabHour = nullptr, *LabMin = nullptr, *LabSec = nullptr;
    QLabel *LabHour2 = nullptr, *LabMin2 = nullptr, *LabSec2 = nullptr;
    QLabel *Lab_Hour = nullptr, *Lab_Min = nullptr, *Lab_sek = nullptr, *Lab_100 = nullptr;

    TBitBtnWithColor* bSTART = nullptr;
    TBitBtnWithColor* bSTOP = nullptr;
    TBitBtnWithColor* bEnd = nullptr;
    TBitBtnWithColor* bRESET = nullptr;
    TBitBtnWithColor* bFStopp = nullptr;
    QListWidget* ListBoxStopp = nullptr;
    TImage* ImageLSstart = nullptr;
    TImage* ImageLSstop = nullptr;

    QToolButton* sbLoad = nullptr;
    QToolButton* sbSave = nullptr;
    QToolButton* sbPrint = nullptr;
    QToolButton* sbWord = nullptr;
    QToolButton* sbExcel = nullptr;
    QToolButton* sbHTML = nullptr;

    TSortGrid* SortGrid1 = nullptr;
    QMenu* PopupMenuList = nullptr;
    QAction* Erase1 = nullptr;
    QAction* NeueZeile1 = nullptr;
    QAction* PastefromFStopp = nullptr;

    // The hidden menu carrying the keys
    QAction* mStart = nullptr;
    QAction* mStop = nullptr;
    QAction* FStopp1 = nullptr;
    QAction* mReset = nullptr;
    QAction* LockLSStart1 = nullptr;
    QAction* LockLSStopp1 = nullptr;
    QAction* EinstellunGen1 = nullptr;
    QAction* Hilfe1 = nullptr;
    QAction* mHilfe = nullptr;
    QAction* Drucker1 = nullptr;
    QAction* exporttoWord1 = nullptr; // of a context menu no control shows
    QAction* mAnzeige = nullptr; // F6: the spectator display

    TMessageTimer* Clock = nullptr;
    TMessageTimer* TimerDate = nullptr;
    TMessageTimer* TimerGesperrtStart = nullptr;
    TMessageTimer* TimerGesperrtStop = nullptr;
    TComPort* ComPort = nullptr;

    // Dialogs created after the main window (program entry).
    TCfgDialog* CfgDialog = nullptr;
    TFDlgYesNo* FDlgYesNo = nullptr;

    // Live results in the network and the spectator display.
    live::LiveServer* LiveServer = nullptr; // exists while live results are on
    TSpectatorWindow* Anzeige = nullptr; // created when first shown
    TQrPopup* QrPopup = nullptr;
    bool LiveOn = false;
    int LivePort = 8080;

    // Race values
    platform::Tick FirstStartTick = 0;
    platform::Tick LatestStartTick = 0;
    std::uint32_t PreviousModemStatus = 0x55555555;

    // Display settings
    int Accuracy = 2;
    TColor BackgroundColor = clBlack;
    TColor DigitColor = clYellow;
    TColor DimColor = 0x404040;
    TColor SecondRowColor = clLime;

    // Names derived at start-up
    QString Title;
    QString TemplatePath;
    QString HelpFile;
    QString SaveFilter;
    int FilterIndex = 2;
    std::uint32_t PortMask = 0; // the start-up scan's result
    // The document engine of the Word export; tests put a recording one here.
    WordBasicFactory WordEngineFactory;
    QString SaveFolder;
    bool Sound = false;

    // Race commands. The clicks take their stamp when they run; a barrier
    // passes the stamp of its edge.
    void mStartClick();
    void mStopClick();
    void StartAt(const platform::Stamp& stamp);
    void StopAt(const platform::Stamp& stamp);
    void FStopp1Click();
    void bEndClick();
    void mResetClick();
    void ImageLSClick(TImage* sender);
    void LockLSStart1Click();
    void LockLSStopp1Click();
    void TimerGesperrtTimer(TMessageTimer* sender);
    void RowStateRefresh(int row);
    void RankRefresh();
    void ExportButtonRefresh();

    // Barriers
    void ComPortDSR(TComPort* sender);
    // The requests of one line change, decided by the barrier algorithm: each
    // runs its command when its lockout is over, its barrier free and the
    // command available.
    void BarrierRequest(const BarrierRequests& requests, const platform::Stamp& stamp);
    void ComPortOpen(TComPort* sender);
    void ComPortClose(TComPort* sender);

    // Display
    void ClockTimer();
    void TimerDateTimer();
    void DisplayRowUpdate(int row, std::int32_t ms);
    void DisplayAccuracySwitch(int accuracy);
    void DisplayColorSetup();

    // Protocol table
    void ColumnLayout();
    void SortGrid1SelectCell(int acol, int arow, bool& canSelect);
    void SortGrid1GetSortStyle(int col, TSortStyle& style);
    void SortGrid1GetCellFormat(int col, int row, TFormatOptions& format);
    void Erase1Click();
    void NeueZeile1Click();
    void PastefromFStoppClick();
    void PopupMenuProtokolPopup();
    int CurrentRow() const;
    void SelectWholeRow(int row);
    void MakeRowCurrent(int row);

    // Files, page, office
    void sbSaveClick();
    void sbLoadClick();
    void sbHTMLClick(int tag);
    void sbWordClick();
    void sbExcelClick();
    void exporttoWord1Click();
    void WordExport(int mode, const QString& fileName);
    void LoadProtocol(const QString& fileName);
    void ShowPageWriteError(const QString& fileName);

    // Lifecycle and header bar
    void FormCreate();
    void FormDestroy();
    void FormCloseQuery(bool& canClose);
    void FormResize();
    void bCFGClick();
    void bHelpClick();
    void bInfoClick();
    void BrandClick();
    void CreateDialogs(); // the settings and confirmation dialogs, after FormCreate

    // Start lockout in milliseconds (TimerGesperrtStart's interval).
    int StartLockout() const;

    // Live results and spectator display
    // The results or the race state changed: the live results and the
    // spectator display follow once the current command is done.
    void ResultsChanged();
    // Starts, moves or stops the server as LiveOn and LivePort say.
    void ApplyLiveSettings();
    void mAnzeigeClick();
    void LabLiveAddressClick();
    // The race clock as display row 0 shows it.
    RaceClock RaceClockNow() const;
    // The address phones open; empty while the server does not listen.
    QString LiveAddress() const;

    static constexpr const char* kBrandAddress = "https://rennzeit.lauflicht-soft.de/";

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildHeader();
    void BuildDisplay();
    void BuildRaceControls();
    void BuildFileBar();
    void BuildGrid();
    void BuildActions();
    void ArmStartLockout();
    void ArmStopLockout();
    void ToggleLock(TImage* image);
    bool BarrierFree(const TImage* image) const;
    void ReadSettings();
    void WriteSettings();
    void ApplyPortMask();
    void BuildLive();
    void PublishResults();
    void ShowLiveState();
    void ReadLiveSettings(const platform::SettingsStore& store);
    void WriteLiveSettings(platform::SettingsStore& store) const;
    void LiveSettingsToDialog();
    void LiveSettingsFromDialog();

    THelpViewer* m_helpViewer = nullptr;
    bool m_resetPressedByMouse = false;
    bool m_destroyed = false;
    bool m_resultsPending = false;
    QString m_liveError;
};
