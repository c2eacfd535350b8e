// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/MainUi.h"
#include "app/WindowPlacement.h"
#include "gridstore/SortTypes.h"
#include "platform/HomePage.h"
#include "platform/SerialDevice.h"
#include "platform/Settings.h"
#include "platform/Tick.h"
#include "protocol/WordBasic.h"
#include "race/Race.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class BarrierLine;
class LivePublisher;
class QLabel;
class QPushButton;
class StationAtStation;
class StationsAtFinish;
class TStationPanel;
class QVBoxLayout;
class UploadLink;
struct TFormatOptions;
namespace race {
class JournalRecorder;
class LightBarriers;
class RaceBackups;
struct BarrierStep;
} // namespace race

// The main window: wiring between the operator and the race. It builds the
// controls (MainUi), forwards every command to the race and shows what the
// race returns; the race (src/race) owns the race's state, the journal
// recorder its journal, the live publisher the live results, the barrier
// line the serial port's changes. One handler per user event, named after
// the control and the event, in files by concern:
//   FMainLayout     the controls and their wiring
//   FMainRace       START, STOPP, F.Stopp, ENDE, reset, locks and lockouts,
//                   and how the window mirrors the race
//   FMainBarrier    the barrier line's impulses and the port's events
//   FMainDisplay    the seven-segment display and the time of day
//   FMainTable      the protocol table, its context menu and Ctrl+Z
//   FMainFiles      saving, loading, the results page
//   FMainOffice     the word-processor and spreadsheet exports
//   FMainLifecycle  start-up, shut-down, the settings, the header bar
//   FMainJournal    taking a race back after an unclean end
//   FMainLive       the live results and the spectator display
class TFormMain final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFormMain)
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    MainUi ui;

    // The window's parts, for the program's start and the tests.
    race::Race& Race() const { return *m_race; }
    race::JournalRecorder& Journal() const { return *m_journal; }
    LivePublisher& Live() const { return *m_live; }
    UploadLink& Upload() const { return *m_upload; }
    BarrierLine& Barrier() const { return *m_barrier; }
    race::LightBarriers& LightBarriers() const { return *m_lightBarriers; }

    // Names derived at start-up.
    struct SideFiles {
        QString title; // the application title, the executable's name
        QString templatePath; // the document template beside the executable
        QString helpFile;
        QString saveFilter;
    };
    SideFiles files;
    // The document engine of the Word export; tests put a recording one here.
    WordBasicFactory WordEngineFactory;

    // The settings as they stand, gathered from their owners: the race's
    // timing, the port's, the display's colours, the files' and the live
    // results'. What the exit writes.
    settings::Values CurrentSettings() const;
    const settings::Colours& Colours() const { return m_colours; }

    // Start-up and end
    void createDialogs(); // the settings and confirmation dialogs, after FormCreate
    // Ends the program as closing the window does, but without the exit
    // question: a logout, a shutdown or the terminal asked for it.
    void endInOrder();

    // After an unclean end of a session the operator is asked "Letztes
    // Rennen wiederherstellen?", race by race, the newest first; Ja replays
    // its journal into the race, which goes on in a new journal, Nein
    // forgets it. A given answer skips the question. A race another window
    // is asking about is left to it, and the operator is told.
    void offerRecovery(std::optional<bool> answer = std::nullopt);
    // Rebuilds the race from a journal file; false (with a message) when
    // nothing could be read.
    bool recoverJournal(const QString& fileName);

private:
    // Handlers of the window's own events, and what they share.
    // Race commands. The clicks take their stamp when they run; a barrier
    // passes the stamp of its edge.
    void mStartClick();
    void mStopClick();
    void startAt(const platform::Stamp& stamp);
    void stopAt(const platform::Stamp& stamp);
    void FStopp1Click();
    void bEndClick();
    void mResetClick();
    void ImageLSClick(TImage* sender);
    void LockLSStart1Click();
    void LockLSStopp1Click();
    void TimerGesperrtTimer(TMessageTimer* sender);
    void rankRefresh();
    void exportButtonRefresh();

    // Display
    void ClockTimer();
    void displayRowUpdate(int row, std::int32_t ms);
    void displayAccuracySwitch(int accuracy);

    // Protocol table
    void SortGrid1GetSortStyle(int col, TSortStyle& style);
    void SortGrid1GetCellFormat(int col, int row, TFormatOptions& format);
    void Erase1Click();
    void PastefromFStoppClick();
    void PopupMenuProtokolPopup();
    void popupMenuHidden();
    // The context menu's status items and Ctrl+1 (DNS), Ctrl+2 (DNF),
    // Ctrl+3 (DSQ), Ctrl+0 (none) on the current row.
    void statusClick(protocol::EntryStatus status);
    int currentRow() const;
    void makeRowCurrent(int row);

    // Files, page, office
    void sbSaveClick();
    void sbLoadClick();
    void sbHTMLClick(int tag);
    void loadProtocol(const QString& fileName);

    // Lifecycle, header bar and what the handlers share
    void FormCloseQuery(bool& canClose);
    void rowStateRefresh(int row);
    // Barriers: each change of the lines, in the order of its edge.
    void ComPortDSR(TComPort* sender, const platform::LineEvent& change);
    void ComPortOpen(TComPort* sender);
    void ComPortClose(TComPort* sender);
    // The barrier lamps: both while the port is open, the start's also while
    // a start station's starts come through it.
    void showBarrierLamps(bool portOpen);
    // Shows what a line change or an impulse did.
    void mirrorBarrier(const race::BarrierStep& step);
    void TimerDateTimer();
    void displayColorSetup();
    void columnLayout();
    void SortGrid1SelectCell(int acol, int arow, bool& canSelect);
    // "Stopp zurücknehmen" (context menu, Ctrl+Shift+Z): the current entry
    // runs again, its stop goes into the F.Stopp list.
    void mTakeBackStopClick();
    // An in-place edit of "Klasse" went into its cell.
    void classEdited();
    // Writes an open in-place editor's text into its cell, so a command that
    // reads the cells reads what the operator sees.
    void commitEditor();
    void sbWordClick();
    void sbExcelClick();
    void exporttoWord1Click();
    void wordExport(int mode, const QString& fileName);
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void bHelpClick();
    void bInfoClick();
    void BrandClick();
    // Closes an open recovery question without an answer: the program is
    // asked to end, and the race stays for the next start.
    void leaveRecoveryQuestion();
    // The header's notice, in place of a message box, so the race keys work
    // on: a failure in red, stays until clicked; a note on a command goes by
    // itself. The first line says what, the last why; the tooltip holds all.
    void showNotice(const QString& text, bool failure = true);
    // A note on a command that did nothing goes when the next one writes a
    // time: it would speak of a state that is gone. A failure stays.
    void putAwayNote();
    void LabLiveAddressClick();
    void NeueZeile1Click();
    // Ctrl+Z: takes back the last "Zeile entfernen", status, taken-back stop
    // or inserted F.Stopp time.
    void mUndoClick();
    void bCFGClick();
    // The spectator display "Anzeige" (F6).
    void mAnzeigeClick();
    void LabUploadClick();
    // "Stationsdatei speichern" at a station, "Stationsdatei laden" at the finish.
    void sbStationFileSaveClick();
    void sbStationFileLoadClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void buildHeader(QVBoxLayout& column);
    int buildBrand();
    void buildHeaderNotices();
    void buildHeaderLinks();
    QVBoxLayout& buildRaceControls(QVBoxLayout& column);
    void buildFileBar();
    void buildTable(QVBoxLayout& mainColumn);
    void buildActions();
    void buildCollaborators();
    void wireJournal();
    void wireTable();
    void wireBarrier();
    // Takes the failure of a handler of this window into the header bar.
    bool takeFailureNotice(QWidget* parent, const QString& text);
    void showJournalState();
    void showLineState();
    // F7 "2. Lauf beginnen": asks, then the table becomes run 2's start list.
    void mRun2Click();
    void SortGrid1CellCommitted(int col, int row, const QString& oldText, const QString& newText);
    void SortGrid1HeaderClick(int col);
    // Where the grid's current row goes after a race operation: it stays
    // (the grid has just chosen it), goes to the view's row, or goes there
    // with the whole row selected (after a command that wrote the table).
    enum class RowFollow { Grid, View, WholeRow };
    // Runs one operation of the race and mirrors the view it returns.
    // WholeRow applies only when the operation acted; an ignored command
    // leaves the selection (and an open edit) alone.
    race::Outcome runRace(const std::function<race::RaceResult()>& operation, RowFollow follow = RowFollow::View);
    void mirrorRace(const race::RaceView& view, RowFollow follow);
    void mirrorInterims();
    void scheduleLockouts();
    void selectWholeRow(int row);
    // The row of the entry whose cells these were in row `was` (found again
    // by number, name, start and class when a stop moved it); -1 when it is
    // gone.
    int entryRowOf(const QStringList& cells, int was) const;
    void readSettings();
    void writeSettings();
    // The backup beside the program and the dated copy in the data folder;
    // why either could not be written (empty when both were, or there was
    // nothing worth a backup). `bytes` gets what they hold.
    QString writeBackups(QByteArray* bytes);
    // Before the exit question: the backups written, the journal asked
    // whether everything is on its disk, what is not put elsewhere. The
    // warning the question shows (empty: nothing is at risk).
    QString prepareClosing();
    void showLiveState();
    void showUploadState();
    void tryUpload(const QString& address, const QString& keyFile);
    // Timing stations (FMainStations): at a station its impulses instead of
    // a race, at the finish the links to the stations.
    void wireStations(const settings::Values& values);
    void configureStations(const settings::Stations& stations);
    // After the recovery question: the finish starts reading its stations.
    void startStations();
    // Whether the station or the merge takes the line change or the key.
    bool stationTakesLine(const platform::LineEvent& change);
    bool stationTakesKey(bool startKey);
    void applyLine(const platform::LineEvent& change);
    void showStationsState();

    std::unique_ptr<race::Race> m_race;
    std::unique_ptr<race::JournalRecorder> m_journal;
    std::unique_ptr<UploadLink> m_upload; // outlives the publisher that feeds it
    std::unique_ptr<LivePublisher> m_live;
    std::unique_ptr<race::RaceBackups> m_backups;
    std::unique_ptr<race::LightBarriers> m_lightBarriers;
    std::unique_ptr<BarrierLine> m_barrier;
    std::unique_ptr<StationsAtFinish> m_finishStations;
    std::unique_ptr<StationAtStation> m_station;
    TStationPanel* m_stationPanel = nullptr;
    QLabel* m_stationsHeader = nullptr;
    QPushButton* m_loadStationFile = nullptr;
    QTimer m_stationsTimer; // the offsets' line in the header
    settings::Stations m_stationSettings;
    bool m_stationsStarted = false;
    std::uint32_t m_stationLevels = 0x55555555; // the station's barrier lines as last seen

    settings::Colours m_colours;
    settings::FileChoices m_fileChoices;
    settings::Event m_event; // the race's title on every output
    bool m_sound = false;
    std::uint32_t m_portMask = 0; // the start-up scan's result
    // The lockout ends the timers are set for.
    std::array<std::optional<platform::Tick>, 2> m_lockoutTimerEnds;

    bool m_raceBusy = false; // grid selections inside a race operation are the operation's
    bool m_gridWork = false; // the grid's steps of a row inserted, removed or loaded
    bool m_resetPressedByMouse = false;
    bool m_destroyed = false;
    bool m_endInOrder = false;
    bool m_noticeIsFailure = false;
    QTimer m_noteTimer; // puts a note (no failure) away
    // What the exit question found: the backups written for it (the end
    // writes them again only when the table changed since, or they failed)
    // and the copy of the journal's waiting lines it named.
    struct Closing {
        QByteArray backup;
        QString backupFailure;
        QString rescued;
    };
    std::optional<Closing> m_closing;
    windowplacement::NormalBounds m_bounds;
};
