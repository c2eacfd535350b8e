// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up, shut-down, the settings and the header bar's commands.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/AudienceWindow.h"
#include "app/BarrierLine.h"
#include "app/Glyphs.h"
#include "app/LivePublisher.h"
#include "app/LiveWidgets.h"
#include "app/Printing.h"
#include "app/RaceDisplay.h"
#include "app/StationAtStation.h"
#include "app/StationsAtFinish.h"
#include "app/UiHelpers.h"
#include "app/UploadLink.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "dialogs/HelpViewer.h"
#include "grid/GridFiles.h"
#include "grid/SortGrid.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "platform/Version.h"
#include "protocol/Columns.h"
#include "protocol/EntryStatus.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/SaveFilter.h"
#include "race/Journal.h"
#include "race/JournalRecorder.h"
#include "race/JournalStore.h"
#include "race/LightBarriers.h"
#include "race/RaceBackups.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMoveEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>

namespace {

constexpr int kDesignWidth = 792;
constexpr int kDesignHeight = 460;
constexpr int kDatedBackupsKept = 30;
// Room for the port's name in the header bar; a longer one is shortened.
constexpr int kLineStateNameWidth = 205;

// The port list is scanned again for every showing, so adapters plugged in
// since the start are offered. The chosen port always has an item, also when
// the scan cannot find it (our own open port, or one that is busy or away), so
// OK without a new choice keeps it.
void loadPortList(TCfgDialog& d, const TComPort& port)
{
    d.SetPorts(ScanComPortList());
    d.SetAdapterInfo(port.Connected() ? port.Port() : 0, port.Adapter());
    if (port.Port() == 0)
        return;
    platform::SerialPortInfo chosen = port.Device();
    if (chosen.number != port.Port())
        chosen = platform::SerialPortInfo { port.Port(), QString(), QString() };
    if (!port.StablePath().isEmpty())
        chosen.stablePath = port.StablePath();
    d.EnsurePortItem(chosen, port.Connected() ? QString() : QStringLiteral("nicht verbunden"));
}

// A red notice of the header bar: what is wrong on its first line, the
// detail (shortened to fit) on its second, the whole story in its tooltip.
void showTrouble(QLabel& label, bool shown, const QString& text, const QString& tip, Qt::TextElideMode elide)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QString detail = QFontMetrics(label.font()).elidedText(lines.value(1), elide, kLineStateNameWidth);
    label.setText(lines.value(0) + QLatin1Char('\n') + detail);
    label.setToolTip(tip);
    label.setVisible(shown);
}

// The exit question when closing would lose something: the warning in full
// (the box grows with it), "Beenden" or "Abbrechen", which Enter and Esc
// answer. Like every box of the window it passes the race keys on.
bool askToCloseAnyway(QWidget* parent, const QString& title, const QString& warning)
{
    QMessageBox box(QMessageBox::Warning, title, warning, QMessageBox::Yes | QMessageBox::Cancel, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Beenden"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return dialogs::ExecDialog(&box) == QMessageBox::Yes;
}

QString eventCount(std::size_t n)
{
    return n == 1 ? QStringLiteral("1 Ereignis fehlt") : QStringLiteral("%1 Ereignisse fehlen").arg(n);
}

} // namespace

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent)
{
    setMinimumSize(kDesignWidth, kDesignHeight);
    resize(kDesignWidth, kDesignHeight);
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setWindowIcon(QIcon(ProgramIcon(64)));
    buildUi();
    buildCollaborators();
    // The printer question is answered in the background; "Protokoll drucken"
    // follows the answer when it arrives.
    SetPrinterPresenceListener(GuardedSlot(this, &TFormMain::exportButtonRefresh));
    FormCreate();
}

TFormMain::~TFormMain()
{
    SetPrinterPresenceListener({});
    SetFailureNoticeSink({});
    FormDestroy();
}

void TFormMain::buildCollaborators()
{
    files.title = platform::ApplicationTitle();
    m_race = std::make_unique<race::Race>(*ui.SortGrid1, ui.SortGrid1->SortOptions());
    m_journal = std::make_unique<race::JournalRecorder>(*m_race, race::DataFolder(files.title), files.title);
    m_backups = std::make_unique<race::RaceBackups>(files.title, kDatedBackupsKept);
    m_lightBarriers = std::make_unique<race::LightBarriers>(*m_race);
    m_upload = std::make_unique<UploadLink>(this);
    m_upload->OnStateChanged = [this] { showUploadState(); };
    m_live = std::make_unique<LivePublisher>(*m_race);
    m_live->SetUpload(m_upload.get(), files.title);
    m_barrier = std::make_unique<BarrierLine>(*ui.ComPort, *m_lightBarriers);
    wireJournal();
    wireTable();
    wireBarrier();
    // A port that cannot be had shows in the header bar, never in a box.
    m_live->OnStateChanged = [this] { showLiveState(); };
}

void TFormMain::wireJournal()
{
    m_journal->PortAndAlgorithm = [this] { return std::pair(int(ui.ComPort->Port()), m_lightBarriers->Algorithm()); };
    // A journal the disk refuses is shown in the header bar, never in a box
    // that would stop the commands; the writer thread reports it, the
    // window's thread shows it.
    m_journal->OnNoticeChanged = [this] {
        QMetaObject::invokeMethod(
            this, [this] { showJournalState(); }, Qt::QueuedConnection);
    };
    // A handler's failure is a notice as well, not a box.
    SetFailureNoticeSink([this](QWidget* parent, const QString& text) { return takeFailureNotice(parent, text); });
}

void TFormMain::wireTable()
{
    // In-place edits and the operator's sorts go into the journal; the
    // race's own sorts are part of its commands.
    ui.SortGrid1->OnCellCommitted = [this](QObject*, int col, int row, const QString& oldText, const QString& newText) {
        SortGrid1CellCommitted(col, row, oldText, newText);
    };
    ui.SortGrid1->OnHeaderClicked = [this](QObject*, int col) { SortGrid1HeaderClick(col); };
    // In-place edits of numbers and names reach the spectators when committed.
    ui.SortGrid1->OnModified = [this](QObject*) { m_live->ResultsChanged(); };
}

void TFormMain::wireBarrier()
{
    m_lightBarriers->BeforeImpulse = [this] { commitEditor(); };
    m_lightBarriers->OnEdge
        = [this](std::uint32_t before, std::uint32_t after) { m_journal->NoteBarrierEdge(before, after); };
    // What the watcher can tell about its adapter settles only after the
    // port opened: the header's tooltip is made as it is about to show.
    InstallToolTipSource(ui.Panel1, [this] { return m_barrier->ToolTip(); });
    m_barrier->OnStateChanged = [this] { showLineState(); };
    // An error of a barrier's START or STOPP (a damaged start tick) is shown
    // like that of its key; it must not silence the barrier line.
    ui.ComPort->OnLineEvent = [this](QObject* sender, const platform::LineEvent& change) {
        Guarded(this, [&] { ComPortDSR(static_cast<TComPort*>(sender), change); });
    };
    ui.ComPort->OnOpen = [this](QObject* sender) {
        m_barrier->Opened();
        ComPortOpen(static_cast<TComPort*>(sender));
    };
    ui.ComPort->OnClose = [this](QObject* sender) { ComPortClose(static_cast<TComPort*>(sender)); };
    ui.ComPort->OnLost = [this](QObject* sender) {
        dialogs::ShowErrorWithoutWaiting(this, m_barrier->Lost(static_cast<TComPort*>(sender)->LostError()));
    };
    // A watcher that ended would leave the line looking connected while no
    // edge arrives: the header shows it until the port is open again.
    ui.ComPort->OnWatcherEnded
        = [this](QObject* sender) { m_barrier->WatcherEnded(static_cast<TComPort*>(sender)->WatcherError()); };
}

bool TFormMain::takeFailureNotice(QWidget* parent, const QString& text)
{
    if (m_destroyed || (parent != this && !isAncestorOf(parent)))
        return false;
    showNotice(text);
    return true;
}

void TFormMain::showJournalState()
{
    const race::JournalRecorder::Notice notice = m_journal->WriteNotice();
    showTrouble(*ui.LabJournalState, notice.shown, notice.text, notice.tip, Qt::ElideRight);
}

void TFormMain::showLineState()
{
    // A long by-id name is shortened in its middle; the tooltip says why.
    showTrouble(
        *ui.LabLineState, m_barrier->Disconnected(), m_barrier->StateText(), m_barrier->StateTip(), Qt::ElideMiddle);
}

void TFormMain::createDialogs()
{
    ui.CfgDialog = new TCfgDialog(this, m_portMask);
    ui.CfgDialog->OnDigitsChange = [this](int accuracy) { displayAccuracySwitch(accuracy); };
    ui.CfgDialog->OnTryUpload = [this](const QString& address, const QString& keyFile) { tryUpload(address, keyFile); };
    ui.CfgDialog->CheckUploadAddress = [](const QString& address) {
        QString problem;
        if (!address.isEmpty() && !upload::ParseTarget(address, &problem))
            return problem;
        return QString();
    };
    ui.FDlgYesNo = new TFDlgYesNo(this);
}

void TFormMain::FormCreate()
{
    QCoreApplication::setApplicationName(files.title);
    setWindowTitle(files.title + QLatin1Char(' ') + QString::fromLatin1(platform::kVersion));
    files.templatePath = platform::ExecutableFolder() + QStringLiteral("Protokollvorlage.docx");
    files.saveFilter = protocol::SaveDialogFilter(); // keeps the fallbacks on any lookup failure
    readSettings();

    ui.sbLoad->setToolTip(QStringLiteral("Startliste öffnen"));
    files.helpFile = platform::ExecutableFolder() + files.title + QStringLiteral(".hlp");

    for (int c = 0; c < protocol::kTableColCount; ++c)
        ui.SortGrid1->SetCells(c, 0, protocol::kTableHeaders[static_cast<size_t>(c)]);
    columnLayout();
    selectWholeRow(1);

    displayAccuracySwitch(m_race->Settings().accuracy);
    m_portMask = ScanComPorts();
    // Never the program's folder, which is read-only once installed.
    if (m_fileChoices.saveFolder.isEmpty() || !QFileInfo(m_fileChoices.saveFolder).isDir())
        m_fileChoices.saveFolder = platform::DocumentsFolder();

    displayColorSetup();
    displayRowUpdate(0, 0);
    displayRowUpdate(1, 0);
    TimerDateTimer();

    if (ui.ComPort->Port() != 0) {
        // A port that cannot be opened at start-up is not worth a message box:
        // the race can still be timed by keys. The header says that the line
        // is disconnected (why, in its tooltip), the indicators stay hidden,
        // the choice is kept and the port is opened as soon as it can be.
        try {
            m_barrier->Open();
        } catch (const std::exception&) {
        }
    }
    ui.ImageLSstart->SetPicture(LockPicture(0));
    ui.ImageLSstop->SetPicture(LockPicture(0));
    exportButtonRefresh();
    rowStateRefresh(1);
    wireStations(settings::Read(platform::SettingsStore(files.title)));
}

void TFormMain::readSettings()
{
    const settings::Values v = settings::Read(platform::SettingsStore(files.title));
    ui.ComPort->SetPort(static_cast<std::uint8_t>(v.port));
    m_lightBarriers->SetAlgorithm(v.algorithm);
    if (v.port != 0)
        ui.ComPort->SetStablePath(v.portDevice.trimmed());
    m_sound = v.sound;
    m_colours = v.colours;
    m_race->SetSettings(v.timing);
    m_fileChoices = v.files;
    m_event = v.event;
    const settings::Placement& p = v.placement;
    m_bounds.Restore(*this, p.left, p.top, p.width, p.height);
    if (p.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    m_live->SetLook(m_event.NameOr(files.title), m_colours);
    m_live->SetRaceTitle(m_event.title);
    m_live->Configure(v.liveOn, v.livePort);
    m_upload->Configure(v.uploadUrl, v.uploadKey);
}

settings::Values TFormMain::CurrentSettings() const
{
    settings::Values v;
    v.port = ui.ComPort->Port();
    v.algorithm = m_lightBarriers->Algorithm();
    v.portDevice = ui.ComPort->Port() != 0 ? ui.ComPort->StablePath() : QString();
    // The place of the normal window, also when it is maximised, so that it
    // comes back there once the operator restores it.
    const QRect bounds = m_bounds.Bounds(*this);
    v.placement = { bounds.x(), bounds.y(), bounds.width(), bounds.height(), isMaximized() };
    v.sound = m_sound;
    v.colours = m_colours;
    v.timing = m_race->Settings();
    v.files = m_fileChoices;
    v.liveOn = m_live->On();
    v.livePort = m_live->Port();
    v.event = m_event;
    v.uploadUrl = m_upload->Address();
    v.uploadKey = m_upload->KeyFile();
    v.stations = m_stationSettings;
    return v;
}

void TFormMain::writeSettings()
{
    platform::SettingsStore store(files.title);
    settings::Write(store, CurrentSettings());
    store.flush();
}

QString TFormMain::writeBackups(QByteArray* bytes)
{
    const TSortGrid& grid = *ui.SortGrid1;
    // "Klasse" and "Status" only when an entry has one; "Gesamt" never.
    const QByteArray backup = grid.BackupBytes(false, protocol::SavedColCount(grid.Store()));
    if (bytes && protocol::HasEntryContent(grid.Store()))
        *bytes = backup;
    return m_backups->Write(grid.Store(), backup, m_journal->File().Folder());
}

QString TFormMain::prepareClosing()
{
    Closing closing;
    closing.backupFailure = writeBackups(&closing.backup);
    race::RaceJournal& journal = m_journal->File();
    // A healthy disk takes the last lines within milliseconds.
    const std::size_t behind = journal.Behind(500);
    const race::RaceJournal::Rescue rescue
        = behind > 0 ? journal.RescueNow(race::RescueFolders(files.title)) : race::RaceJournal::Rescue {};
    closing.rescued = rescue.path;
    m_closing = closing;
    if (!closing.backupFailure.isEmpty())
        showNotice(closing.backupFailure);
    if (behind == 0 && closing.backupFailure.isEmpty())
        return {};
    QStringList parts;
    if (behind > 0) {
        parts << QStringLiteral("Das Rennjournal ist nicht vollständig gespeichert: %1 auf der Platte.")
                     .arg(eventCount(rescue.lines > 0 ? rescue.lines : behind));
    }
    if (!closing.backupFailure.isEmpty())
        parts << closing.backupFailure;
    if (behind > 0 && !rescue.path.isEmpty())
        parts << QStringLiteral("Beim Beenden werden sie nach %1 geschrieben; der nächste Start bietet das Rennen "
                                "mit allen Ereignissen zur Wiederherstellung an.")
                     .arg(rescue.path);
    else if (behind > 0)
        parts << QStringLiteral("Sie lassen sich an keinem anderen Ort sichern (%1): beim Beenden gehen sie verloren; "
                                "der nächste Start bietet das Rennen bis dahin zur Wiederherstellung an.")
                     .arg(rescue.error);
    else if (journal.IsOpen())
        parts << QStringLiteral("Der nächste Start bietet das Rennen aus dem Rennjournal zur Wiederherstellung an.");
    else
        parts << QStringLiteral("Speichern Sie das Protokoll vor dem Beenden an einem anderen Ort.");
    parts << QStringLiteral("Trotzdem beenden?");
    return parts.join(QStringLiteral("\n\n"));
}

void TFormMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    // A settings store that cannot be written is reported, but the port is
    // still closed and the backup of the log still written: losing the backup
    // over a settings file would lose a race.
    QStringList failures;
    try {
        writeSettings();
    } catch (const std::exception& e) {
        failures << QString::fromUtf8(e.what());
    }
    ui.ComPort->Close();
    commitEditor();
    // What the exit question wrote stands unless the race went on meanwhile.
    QByteArray bytes;
    QString backupFailure;
    const bool unchanged = m_closing && m_closing->backupFailure.isEmpty()
        && m_closing->backup == ui.SortGrid1->BackupBytes(false, protocol::SavedColCount(ui.SortGrid1->Store()));
    if (!unchanged)
        backupFailure = writeBackups(&bytes);
    // A race that is not whole on the disk stays open for the next start;
    // the lines its disk refused go elsewhere.
    const race::RaceJournal::Rescue rescue
        = m_journal->File().Close(race::RescueFolders(files.title), !backupFailure.isEmpty());
    if (m_closing && !m_closing->rescued.isEmpty() && m_closing->rescued != rescue.path)
        QFile::remove(m_closing->rescued); // the disk took the lines after all
    // What the exit question told already is not told again.
    const bool told = m_closing.has_value();
    if (!backupFailure.isEmpty() && !(told && backupFailure == m_closing->backupFailure))
        failures << backupFailure;
    if (rescue.lines > 0 && rescue.path.isEmpty() && !(told && m_closing->rescued.isEmpty()))
        failures << QStringLiteral("Das Rennjournal ist nicht vollständig gespeichert: %1 auf der Platte und "
                                   "ließen sich an keinem anderen Ort sichern (%2).")
                        .arg(eventCount(rescue.lines), rescue.error);
    if (failures.isEmpty())
        return;
    // The window is gone: a box is the only place left to say it. A logout
    // or shutdown does not wait for one.
    if (m_endInOrder)
        qWarning("%s", qPrintable(failures.join(QLatin1Char('\n'))));
    else
        dialogs::ShowError(this, failures.join(QStringLiteral("\n\n")));
}

void TFormMain::endInOrder()
{
    m_endInOrder = true;
    leaveRecoveryQuestion();
    close();
}

void TFormMain::FormCloseQuery(bool& canClose)
{
    commitEditor();
    const QString warning = prepareClosing();
    if (!warning.isEmpty())
        canClose = askToCloseAnyway(this, files.title, warning);
    else if (m_race->ClockAt(platform::GetTickCount()).running || ui.SortGrid1->Modified())
        canClose = ui.FDlgYesNo->Ask(QStringLiteral("Beenden?"));
    else
        canClose = true;
    if (!canClose) {
        // The race goes on; its lines may yet reach their disk.
        if (!m_closing->rescued.isEmpty())
            QFile::remove(m_closing->rescued);
        m_closing.reset();
    }
}

void TFormMain::showNotice(const QString& text, bool failure)
{
    QString whole = text;
    whole.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = whole.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    SetFontColor(ui.LabNotice, failure ? clRed : clBlack);
    showTrouble(*ui.LabNotice, true, lines.value(0) + QLatin1Char('\n') + (lines.size() > 1 ? lines.last() : QString()),
        whole, Qt::ElideRight);
    m_noticeIsFailure = failure;
    if (failure)
        m_noteTimer.stop();
    else
        m_noteTimer.start();
}

void TFormMain::putAwayNote()
{
    if (!m_noticeIsFailure) {
        m_noteTimer.stop();
        ui.LabNotice->hide();
    }
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    if (!m_endInOrder)
        Guarded(this, [&] { FormCloseQuery(canClose); });
    if (canClose) {
        m_bounds.Remember(*this); // while the frame is still on the screen
        event->accept();
    } else {
        event->ignore();
    }
}

void TFormMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_bounds.Remember(*this);
    if (ui.SortGrid1)
        FormResize();
}

void TFormMain::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    m_bounds.Remember(*this);
}

void TFormMain::FormResize()
{
    columnLayout();
}

void TFormMain::bHelpClick()
{
    if (!ui.HelpViewer)
        ui.HelpViewer = new THelpViewer(this);
    ui.HelpViewer->ShowContents(files.helpFile);
}

void TFormMain::bInfoClick()
{
    dialogs::ShowMessage(this, dialogs::Icon::Information, files.title,
        QStringLiteral("Rennzeit %1\n\nZeitmessung für Rennen mit Tasten oder zwei Lichtschranken.")
            .arg(QString::fromLatin1(platform::kVersion)));
}

void TFormMain::BrandClick()
{
    // A build without a home page names no address: the caption then tells
    // what the information button tells.
    if (platform::kHomePage[0] == '\0') {
        bInfoClick();
        return;
    }
    // Nothing is reported when no browser can be started.
    platform::CurrentShell().open(QString::fromLatin1(platform::kHomePage));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == ui.SortGrid1 || watched == ui.SortGrid1->viewport()) && event->type() == QEvent::Resize) {
        // The grid's client area follows its own resize handling, so the
        // layout runs once that is done.
        QMetaObject::invokeMethod(this, GuardedSlot(this, &TFormMain::FormResize), Qt::QueuedConnection);
    }
    if (watched == ui.SortGrid1 && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 && ui.SortGrid1->Options().testFlag(goEditing)) {
        // In an editable cell F2 opens the cell's editor, as in any grid; the
        // settings answer F2 everywhere else.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (size_t i = 2; i < ui.BrandLabels.size(); ++i) {
            if (watched == ui.BrandLabels[i]) {
                GuardedSlot(this, &TFormMain::BrandClick)();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::bCFGClick()
{
    TCfgDialog& d = *ui.CfgDialog;
    TComPort& port = *ui.ComPort;
    loadPortList(d, port);
    d.Load(CurrentSettings(), m_race->View().clockRunning);

    if (d.ShowModal() == QDialog::Accepted) {
        const settings::Values chosen = d.Chosen();
        if (d.PortChanged()) {
            port.Close();
            m_barrier->Forget(); // the old choice is no longer watched for
        }
        port.SetPort(static_cast<std::uint8_t>(chosen.port));
        port.SetStablePath(chosen.portDevice);
        m_lightBarriers->SetAlgorithm(chosen.algorithm);
        // The race takes the new settings even when the port below fails to
        // open (its error reaches the error box).
        runRace([&] { return m_race->SettingsChanged(chosen.timing, currentRow()); });
        m_live->Configure(chosen.liveOn, chosen.livePort);
        if (chosen.uploadUrl != m_upload->Address() || chosen.uploadKey != m_upload->KeyFile()) {
            m_upload->Configure(chosen.uploadUrl, chosen.uploadKey);
            m_live->UploadChanged();
        }
        if (chosen.event.title != m_event.title) {
            m_event = chosen.event;
            m_live->SetLook(m_event.NameOr(files.title), m_colours);
            m_live->SetRaceTitle(m_event.title);
            m_live->ResultsChanged();
            if (ui.Anzeige)
                ui.Anzeige->SetTitle(m_event.title);
        }
        m_stationSettings.peers = chosen.stations.peers;
        m_stationSettings.code = chosen.stations.code.isEmpty() ? m_stationSettings.code : chosen.stations.code;
        m_stationSettings.role = chosen.stations.role;
        // Written at once, as every file: a crash later keeps the choice.
        try {
            writeSettings();
        } catch (const std::exception& e) {
            showNotice(QString::fromUtf8(e.what()));
        }
        if (d.PortChanged() && chosen.port != 0)
            m_barrier->Open();
        configureStations(chosen.stations);
    }
    displayAccuracySwitch(m_race->Settings().accuracy);
    ui.PanelLeft->setFocus();
}
