#pragma once

#include "app/DisplayTime.h"
#include "controls/ColorValue.h"
#include "grid/SortTypes.h"
#include "platform/HomePage.h"
#include "platform/Tick.h"
#include "protocol/WordBasic.h"
#include "race/JournalLine.h"
#include "race/RaceRules.h"

#include <QMainWindow>
#include <QPixmap>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

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
namespace race {
class RaceJournal;
}
class THelpViewer;
class TClickLabel;
class TQrPopup;
class TAudienceWindow;
struct TFormatOptions;
struct RaceClock;
namespace platform {
struct LineEvent;
class SettingsStore;
} // namespace platform
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
    // Red, shown while the chosen barrier port is not connected.
    QLabel* LabLineState = nullptr;
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
    // The tens of hours of both rows, shown only while a row's time has
    // reached ten hours; everything else of the display then moves right.
    std::array<TDigit*, 2> DigitHourTens {};
    QWidget* PanelTimerFace = nullptr; // holds the digits and labels that move
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
    QAction* EinstellunGen1 = nullptr; // Alt+E and F2
    QAction* mInfo = nullptr; // F3
    QAction* Hilfe1 = nullptr;
    QAction* mHilfe = nullptr;
    QAction* Drucker1 = nullptr;
    QAction* exporttoWord1 = nullptr; // of a context menu no control shows
    QAction* mAnzeige = nullptr; // F6: the spectator display
    QAction* mUndo = nullptr; // Ctrl+Z: takes back the last "Zeile entfernen"

    TMessageTimer* Clock = nullptr;
    TMessageTimer* TimerDate = nullptr;
    TMessageTimer* TimerGesperrtStart = nullptr;
    TMessageTimer* TimerGesperrtStop = nullptr;
    // Runs while the chosen port is not connected: tries to open it again.
    TMessageTimer* TimerReconnect = nullptr;
    TComPort* ComPort = nullptr;

    // Dialogs created after the main window (program entry).
    TCfgDialog* CfgDialog = nullptr;
    TFDlgYesNo* FDlgYesNo = nullptr;

    // Live results in the network and the spectator display.
    live::LiveServer* LiveServer = nullptr; // exists while live results are on
    TAudienceWindow* Anzeige = nullptr; // created when first shown
    TQrPopup* QrPopup = nullptr;
    bool LiveOn = false;
    int LivePort = 8080;

    // Race values. The race rules keep them; these mirror the rules' view
    // for readers of the window (0 while no START has happened).
    platform::Tick FirstStartTick = 0;
    platform::Tick LatestStartTick = 0;
    std::uint32_t PreviousModemStatus = 0x55555555;
    // "Stopp-Lichtschranke stoppt:": false the selected row, true the
    // earliest runner.
    bool StopFirst = false;

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
    // The journal of the race in progress, in the user's data folder.
    std::unique_ptr<race::RaceJournal> Journal;
    // The document engine of the Word export; tests put a recording one here.
    WordBasicFactory WordEngineFactory;
    QString SaveFolder; // where the save and open dialogs start
    bool Sound = false;

    // Race commands. The clicks take their stamp when they run; a barrier
    // passes the stamp of its edge. The race rules decide; the window
    // forwards the command and mirrors what the rules say it shows.
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
    // Every barrier change passes here once, in order of its edge: the
    // lockouts are judged at the change's stamp, then the barrier algorithm
    // decides and START and STOPP take the change's stamp.
    void BarrierEvent(const platform::LineEvent& change);
    // The requests of one line change, decided by the barrier algorithm: each
    // runs its command when its lockout is over, its barrier free and the
    // command available; a stop impulse that finds no entry to stop goes
    // into the interim list. Returns what became of each request.
    race::BarrierResult BarrierRequest(const BarrierRequests& requests, const platform::Stamp& stamp);
    void ComPortOpen(TComPort* sender);
    void ComPortClose(TComPort* sender);
    // The barrier line: the port removed while open, opening it (at start-up,
    // from the settings, again after a removal) and showing its state.
    void ComPortLost(TComPort* sender);
    void OpenBarrierLine();
    void TimerReconnectTimer();
    bool BarrierLineDisconnected() const;

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
    void mUndoClick();
    int CurrentRow() const;
    void SelectWholeRow(int row);
    void MakeRowCurrent(int row);
    // Writes an open in-place editor's text into its cell, so a command that
    // reads the cells reads what the operator sees.
    void CommitEditor();
    // Whether any entry of the log has been started.
    bool LogHoldsStart() const;

    // Files, page, office
    void sbSaveClick();
    void sbLoadClick();
    void sbHTMLClick(int tag);
    void sbWordClick();
    void sbExcelClick();
    void exporttoWord1Click();
    void WordExport(int mode, const QString& fileName);
    void LoadProtocol(const QString& fileName);
    // "Protokoll wird ersetzt!": true when the operator answers OK.
    bool ConfirmReplaceLog();
    // The save and open dialogs start in the folder last used (setting
    // "SaveDir"), the first time in the user's documents folder.
    void RememberDialogFolder(const QString& chosenFile);
    void ShowPageWriteError(const QString& fileName, const QString& reason);
    // An error box: what failed, the file and the system's reason.
    void ShowFileError(const QString& what, const QString& fileName, const QString& reason);

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
    // Ends the program as closing the window does, but without the exit
    // question: a logout, a shutdown or the terminal asked for it.
    void EndInOrder();

    // The race journal (FMainJournal). After an unclean end of the last
    // session the operator is asked "Letztes Rennen wiederherstellen?"; Ja
    // replays its journal into the table and goes on writing it. A given
    // answer skips the question (the test option --recover-answer).
    void OfferRecovery(std::optional<bool> answer = std::nullopt);
    // Rebuilds the race from a journal file and goes on writing it; false
    // (with a message) when nothing could be read.
    bool RecoverJournal(const QString& fileName);
    // The digest of the race as the journal notes it after every event.
    QString RaceDigest() const;
    // Called before each journal line is handed to the writer, with its
    // sequence number and the digest of the race after that event.
    std::function<void(std::uint64_t seq, const QString& digest)> OnJournalEvent;
    // The lines of a barrier impulse, for its journal line: the modem status
    // before and after the change.
    void JournalBarrierEdge(std::uint32_t before, std::uint32_t after);

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
    // The race rules behind the race controls.
    const race::RaceRules& Race() const { return *m_race; }

    // The project's home page given at build time; empty: the brand caption
    // shows the information box instead.
    static constexpr const char* kBrandAddress = platform::kHomePage;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void BuildHeader();
    void BuildDisplay();
    void BuildRaceControls();
    void BuildFileBar();
    void BuildGrid();
    void BuildActions();
    void BuildRaceRules();
    // Where the grid's current row goes after a race operation: it stays
    // (the grid has just chosen it), goes to the view's row, or goes there
    // with the whole row selected (after a command that wrote the table).
    enum class RowFollow { Grid, View, WholeRow };
    // Runs one operation of the race rules with the current settings and
    // mirrors the view it returns. WholeRow applies only when the operation
    // acted; an ignored command leaves the selection (and an open edit) alone.
    race::Outcome RunRace(const std::function<race::RaceResult()>& operation, RowFollow follow = RowFollow::View);
    void MirrorRace(const race::RaceView& view, RowFollow follow);
    void MirrorInterims();
    race::RaceSettings CurrentRaceSettings() const;
    void ReadSettings();
    void WriteSettings();
    void CatchUpLockouts(platform::Tick edge);
    void BarrierLineOpened();
    void ShowLineDisconnected(const QString& why);
    QString BarrierPortName() const;
    void LoadPortList();
    void BuildLive();
    void PublishResults();
    void ShowLiveState();
    void ReadLiveSettings(const platform::SettingsStore& store);
    void WriteLiveSettings(platform::SettingsStore& store) const;
    void LiveSettingsToDialog();
    void LiveSettingsFromDialog();

    // The window's bounds as the store keeps them (FMainPlacement).
    struct StoredBounds {
        std::optional<int> left, top, width, height;
    };
    void RestoreBounds(const StoredBounds& stored);
    void RememberNormalBounds();
    // Frame top-left and client size of the window in its normal state.
    QRect NormalBounds() const;
    void ApplyTimerWidth();
    void WriteBackups();
    void ShowJournalFailure(const QString& reason);

    int m_timerWidth = 444; // of the accuracy's layout, before any tens of hours
    std::array<int, 2> m_displayHours {};
    bool m_wideHours = false;

    struct RemovedRow {
        int row = 0;
        QStringList cells;
    };
    std::optional<RemovedRow> m_lastRemoved; // what Ctrl+Z brings back
    // The grid work of "Neue Zeile" and of Ctrl+Z, shared with the replay:
    // the row the new or restored row ended in.
    int InsertRowWith(int at, const QStringList& cells);
    int PutBackRow(const RemovedRow& removed);
    void BuildJournal();
    void JournalCommand(const race::CommandRecord& record);
    // Hands the line to the journal with the race's digest (the given one,
    // or the digest of the race as it is now).
    void JournalRecord(race::JournalEntry entry, const QString& digest = QString());
    // Before a command that may be the race's first START: the race as it is
    // then, for the journal that START opens.
    void JournalBeforeCommand();
    race::JournalEntry JournalState() const;
    void JournalTableEvent(const QString& kind, QList<QPair<QString, QString>> fields);
    // Applies one journal line during a replay; false when it did not turn
    // out as recorded.
    bool ReplayEntry(const race::JournalEntry& entry);
    void ReplayRows(const QList<QStringList>& rows);
    bool m_replaying = false;
    bool m_gridWork = false; // the grid's steps of a row inserted, removed or loaded
    bool m_journalBeginFailed = false;
    std::optional<std::pair<race::JournalEntry, QString>> m_pendingState; // the line and its digest
    QList<QPair<QString, QString>> m_barrierEdge;
    std::unique_ptr<race::RaceRules> m_race;
    bool m_raceBusy = false; // grid selections inside a race operation are the operation's
    THelpViewer* m_helpViewer = nullptr;
    std::uint64_t m_lastBarrierChange = 0; // sequence of the change handled last
    bool m_resetPressedByMouse = false;
    bool m_destroyed = false;
    bool m_resultsPending = false;
    QString m_liveError;
    QRect m_normalBounds;
    bool m_endInOrder = false;
};
