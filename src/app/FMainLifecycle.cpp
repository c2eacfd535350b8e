// Start-up, shut-down, the settings store and the header bar's commands.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/Glyphs.h"
#include "app/Printing.h"
#include "app/SettingsRanges.h"
#include "app/UiHelpers.h"
#include "comm/Comms.h"
#include "controls/Dialogs.h"
#include "controls/FlEdit.h"
#include "controls/Image.h"
#include "controls/MessageTimer.h"
#include "controls/ModalResult.h"
#include "dialogs/Cfg.h"
#include "dialogs/DlgYesNo.h"
#include "dialogs/HelpViewer.h"
#include "grid/SortGrid.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "protocol/ProtocolFiles.h"
#include "protocol/SaveFilter.h"
#include "race/Journal.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>
#include <QUrl>

#include <cmath>

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent)
{
    setMinimumSize(792, 460);
    resize(792, 460);
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), 11));
    setWindowIcon(QIcon(ProgramIcon(64)));

    Clock = new TMessageTimer(this, 10, false, Qt::PreciseTimer);
    TimerDate = new TMessageTimer(this, 5000, true);
    TimerGesperrtStart = new TMessageTimer(this, 3000, false);
    TimerGesperrtStop = new TMessageTimer(this, 500, false);
    Clock->OnTimer = [this](TMessageTimer*) { Guarded(this, [this] { ClockTimer(); }); };
    TimerDate->OnTimer = [this](TMessageTimer*) { Guarded(this, [this] { TimerDateTimer(); }); };
    auto lockout = [this](TMessageTimer* sender) {
        Guarded(this, [this, sender] {
            // Changes that came while the GUI thread was busy are judged first,
            // each at its own edge: the lockout may have ended for some of them
            // and not for others.
            const int arming = sender->Arming();
            ComPort->DispatchQueued();
            if (sender->Enabled() && sender->Arming() == arming)
                TimerGesperrtTimer(sender);
        });
    };
    TimerGesperrtStart->OnTimer = lockout;
    TimerGesperrtStop->OnTimer = lockout;
    TimerReconnect = new TMessageTimer(this, 500, false);
    TimerReconnect->OnTimer = [this](TMessageTimer*) { Guarded(this, [this] { TimerReconnectTimer(); }); };

    ComPort = new TComPort(this);
    ComPort->SetBaudRate(br9600);
    ComPort->SetBaudRateUser(28800);
    ComPort->SetPort(0);
    ComPort->SetParity(prNone);
    ComPort->SetStopBits(sbOneStopBit);
    ComPort->SetFlowControl(fcRtsCts);
    ComPort->SetDataBits(5);
    TEvents events;
    events.Include(evCTS);
    events.Include(evDSR);
    ComPort->SetEvents(events);
    ComPort->SetEnableDTR(true);
    ComPort->SetWriteBufSize(64);
    ComPort->SetReadBufSize(64);
    // An error of a barrier's START or STOPP (a damaged start tick) is shown
    // like that of its key; it must not silence the barrier line.
    auto dispatch = [this](QObject* sender) { Guarded(this, [&] { ComPortDSR(static_cast<TComPort*>(sender)); }); };
    ComPort->OnCTS = dispatch;
    ComPort->OnDSR = dispatch;
    ComPort->OnOpen = [this](QObject* sender) {
        BarrierLineOpened();
        ComPortOpen(static_cast<TComPort*>(sender));
    };
    ComPort->OnClose = [this](QObject* sender) { ComPortClose(static_cast<TComPort*>(sender)); };
    ComPort->OnLost = [this](QObject* sender) { ComPortLost(static_cast<TComPort*>(sender)); };

    BuildLayout();
    BuildRaceRules();
    // The printer question is answered in the background; "Protokoll drucken"
    // follows the answer when it arrives.
    SetPrinterPresenceListener([this] { Guarded(this, [this] { ExportButtonRefresh(); }); });
    FormCreate();
    BuildLive();
}

TFormMain::~TFormMain()
{
    SetPrinterPresenceListener({});
    FormDestroy();
}

void TFormMain::CreateDialogs()
{
    CfgDialog = new TCfgDialog(this, PortMask);
    CfgDialog->OnDigitsChange = [this](int accuracy) { DisplayAccuracySwitch(accuracy); };
    FDlgYesNo = new TFDlgYesNo(this);
}

void TFormMain::FormCreate()
{
    Title = platform::ApplicationTitle();
    QCoreApplication::setApplicationName(Title);
    setWindowTitle(Title + QStringLiteral(" 1.5"));
    Journal = std::make_unique<race::RaceJournal>(race::DataFolder(Title), Title);
    // The writer thread reports a failure once; the operator hears of it on
    // the window's thread.
    Journal->OnFailure = [this](const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, reason] { ShowJournalFailure(reason); }, Qt::QueuedConnection);
    };

    DigitColor = clYellow;
    SecondRowColor = clLime;
    TemplatePath = platform::ExecutableFolder() + QStringLiteral("Protokollvorlage.docx");
    SaveFilter = protocol::SaveDialogFilter(); // keeps the fallbacks on any lookup failure
    ReadSettings();

    sbLoad->setToolTip(QStringLiteral("Startliste öffnen"));
    HelpFile = platform::ExecutableFolder() + Title + QStringLiteral(".hlp");

    for (int c = 0; c < protocol::kProtocolColCount; ++c)
        SortGrid1->SetCells(c, 0, protocol::kProtocolHeaders[static_cast<size_t>(c)]);
    ColumnLayout();
    SelectWholeRow(1);

    DisplayAccuracySwitch(Accuracy);
    PortMask = ScanComPorts();
    // Never the program's folder, which is read-only once installed.
    if (SaveFolder.isEmpty() || !QFileInfo(SaveFolder).isDir())
        SaveFolder = platform::DocumentsFolder();

    DisplayColorSetup();
    DisplayRowUpdate(0, 0);
    DisplayRowUpdate(1, 0);
    TimerDateTimer();

    if (ComPort->Port() != 0) {
        // A port that cannot be opened at start-up is not worth a message box:
        // the race can still be timed by keys. The header says that the line
        // is disconnected (why, in its tooltip), the indicators stay hidden,
        // the choice is kept and the port is opened as soon as it can be.
        try {
            OpenBarrierLine();
        } catch (const std::exception&) {
        }
    }
    ImageLSstart->SetPicture(LockPicture(0));
    ImageLSstop->SetPicture(LockPicture(0));
    ExportButtonRefresh();
    RowStateRefresh(1);
}

void TFormMain::ReadSettings()
{
    platform::SettingsStore store(Title);
    if (!store.exists())
        return;
    // Values are applied as they are read; the first missing or malformed one
    // ends the reading and it and all later ones keep their defaults. A value
    // out of its range takes its default alone.
    StoredBounds bounds;
    try {
        ComPort->SetPort(static_cast<std::uint8_t>(settingsranges::Port(store.readInteger(QStringLiteral("Port")))));
        ComPort->Tag = settingsranges::Algorithm(store.readInteger(QStringLiteral("Alg")));
        bounds.left = store.readInteger(QStringLiteral("Left"));
        bounds.top = store.readInteger(QStringLiteral("Top"));
        bounds.width = store.readInteger(QStringLiteral("Width"));
        bounds.height = store.readInteger(QStringLiteral("Height"));
        Sound = store.readInteger(QStringLiteral("Sound")) != 0;
        BackgroundColor = settingsranges::Color(store.readInteger(QStringLiteral("C1")), clBlack);
        SetBackgroundColor(PanelTimer, BackgroundColor);
        DigitColor = settingsranges::Color(store.readInteger(QStringLiteral("C2")), clYellow);
        DimColor = settingsranges::Color(store.readInteger(QStringLiteral("C3")), 0x404040);
        Accuracy = settingsranges::Accuracy(store.readInteger(QStringLiteral("Acc")));
        SecondRowColor = settingsranges::Color(store.readInteger(QStringLiteral("C4")), clLime);
        FilterIndex = settingsranges::FilterIndex(store.readInteger(QStringLiteral("FilterInd")));
        TimerGesperrtStart->SetInterval(settingsranges::StartLockout(store.readInteger(QStringLiteral("WaitStart"))));
    } catch (const platform::SettingsError&) {
    }
    RestoreBounds(bounds);

    // Keys added later are read on their own: a missing or bad one keeps its
    // default and never ends the reading of the others.
    try {
        StopFirst = store.readInteger(QStringLiteral("StopFirst")) == 1;
    } catch (const platform::SettingsError&) {
    }
    try {
        if (store.readInteger(QStringLiteral("Maximized")) != 0)
            setWindowState(windowState() | Qt::WindowMaximized);
    } catch (const platform::SettingsError&) {
    }
    // The dialogs' folder; one that is gone is replaced at step 12.
    SaveFolder = store.readString(QStringLiteral("SaveDir"));
    ReadLiveSettings(store);
    if (ComPort->Port() != 0)
        ComPort->SetStablePath(store.readString(QStringLiteral("PortDevice")).trimmed());
}

void TFormMain::WriteSettings()
{
    platform::SettingsStore store(Title);
    // The place of the normal window, also when it is maximised, so that it
    // comes back there once the operator restores it.
    const QRect bounds = NormalBounds();
    store.writeInteger(QStringLiteral("Left"), bounds.x());
    store.writeInteger(QStringLiteral("Top"), bounds.y());
    store.writeInteger(QStringLiteral("Width"), bounds.width());
    store.writeInteger(QStringLiteral("Height"), bounds.height());
    store.writeInteger(QStringLiteral("Sound"), Sound ? 1 : 0);
    store.writeInteger(QStringLiteral("Port"), ComPort->Port());
    store.writeInteger(QStringLiteral("Alg"), ComPort->Tag);
    store.writeInteger(QStringLiteral("C1"), static_cast<int>(BackgroundColor));
    store.writeInteger(QStringLiteral("C2"), static_cast<int>(DigitColor));
    store.writeInteger(QStringLiteral("C3"), static_cast<int>(DimColor));
    store.writeInteger(QStringLiteral("Acc"), Accuracy);
    store.writeInteger(QStringLiteral("C4"), static_cast<int>(SecondRowColor));
    store.writeInteger(QStringLiteral("FilterInd"), FilterIndex);
    store.writeInteger(QStringLiteral("WaitStart"), TimerGesperrtStart->Interval());
    store.writeInteger(QStringLiteral("StopFirst"), StopFirst ? 1 : 0);
    store.writeInteger(QStringLiteral("Maximized"), isMaximized() ? 1 : 0);
    store.writeString(QStringLiteral("SaveDir"), SaveFolder);
    WriteLiveSettings(store);
    // Written after every other key.
    store.writeString(QStringLiteral("PortDevice"), ComPort->Port() != 0 ? ComPort->StablePath() : QString());
    store.flush();
}

void TFormMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    // A settings store that cannot be written is reported, but the port is
    // still closed and the backup of the log still written: losing the backup
    // over a settings file would lose a race.
    try {
        WriteSettings();
    } catch (const std::exception& e) {
        dialogs::ShowError(this, QString::fromUtf8(e.what()));
    }
    ComPort->Close();
    CommitEditor();
    WriteBackups();
    Journal->Close();
}

void TFormMain::WriteBackups()
{
    // A start without a race must not overwrite the last race's backup.
    if (!protocol::HasEntryContent(SortGrid1->Store()))
        return;
    SortGrid1->SaveToFile(Title + QStringLiteral(".txt"), false);
    QString reason;
    if (!race::WriteDatedBackup(
            Journal->Folder(), Title, QDateTime::currentDateTime(), SortGrid1->BackupBytes(false), 30, &reason))
        dialogs::ShowError(this,
            QStringLiteral("Die Sicherungskopie im Datenordner %1 kann nicht geschrieben werden: %2")
                .arg(Journal->Folder(), reason));
}

void TFormMain::ShowJournalFailure(const QString& reason)
{
    dialogs::ShowError(this,
        QStringLiteral("Das Rennjournal kann nicht geschrieben werden (%1). Die Zeitmessung geht weiter; "
                       "speichern Sie das Protokoll von Hand.")
            .arg(reason));
}

void TFormMain::EndInOrder()
{
    m_endInOrder = true;
    close();
}

void TFormMain::FormCloseQuery(bool& canClose)
{
    FDlgYesNo->Label1->setText(QStringLiteral("Beenden?"));
    if (Clock->Enabled() || SortGrid1->Modified())
        canClose = FDlgYesNo->ShowModal() == mrYes;
    else
        canClose = true;
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    if (!m_endInOrder)
        Guarded(this, [&] { FormCloseQuery(canClose); });
    if (canClose) {
        RememberNormalBounds(); // while the frame is still on the screen
        event->accept();
    } else
        event->ignore();
}

void TFormMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    RememberNormalBounds();
    if (SortGrid1)
        FormResize();
}

void TFormMain::FormResize()
{
    ColumnLayout();
}

int TFormMain::StartLockout() const
{
    return TimerGesperrtStart->Interval();
}

void TFormMain::bHelpClick()
{
    if (!m_helpViewer)
        m_helpViewer = new THelpViewer(this);
    m_helpViewer->ShowContents(HelpFile);
}

void TFormMain::bInfoClick()
{
    dialogs::ShowMessage(this, dialogs::Icon::Information, Title,
        QStringLiteral("Rennzeit 1.5\n\nZeitmessung für Rennen mit Tasten oder zwei Lichtschranken."));
}

void TFormMain::BrandClick()
{
    // A build without a home page names no address: the caption then tells
    // what the information button tells.
    if (kBrandAddress[0] == '\0') {
        bInfoClick();
        return;
    }
    // Nothing is reported when no browser can be started.
    platform::CurrentShell().open(QString::fromLatin1(kBrandAddress));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SortGrid1 && event->type() == QEvent::Resize) {
        // The grid's client area follows its own resize handling, so the
        // layout runs once that is done.
        QMetaObject::invokeMethod(
            this, [this] { Guarded(this, [this] { FormResize(); }); }, Qt::QueuedConnection);
    }
    if (watched == SortGrid1 && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 && SortGrid1->Options().testFlag(goEditing)) {
        // In an editable cell F2 opens the cell's editor, as in any grid; the
        // settings answer F2 everywhere else.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int i = 2; i < 5; ++i) {
            if (watched == BrandLabels[static_cast<size_t>(i)]) {
                Guarded(this, [this] { BrandClick(); });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The port list is scanned again for every showing, so adapters plugged in
// since the start are offered. The chosen port always has an item, also when
// the scan cannot find it (our own open port, or one that is busy or away), so
// OK without a new choice keeps it.
void TFormMain::LoadPortList()
{
    TCfgDialog& d = *CfgDialog;
    d.SetPorts(ScanComPortList());
    if (ComPort->Port() == 0)
        return;
    platform::SerialPortInfo chosen = ComPort->Device();
    if (chosen.number != ComPort->Port())
        chosen = platform::SerialPortInfo { ComPort->Port(), QString(), QString() };
    if (!ComPort->StablePath().isEmpty())
        chosen.stablePath = ComPort->StablePath();
    d.EnsurePortItem(chosen, ComPort->Connected() ? QString() : QStringLiteral("nicht verbunden"));
}

void TFormMain::bCFGClick()
{
    TCfgDialog& d = *CfgDialog;
    LoadPortList();
    // 1-2: the port and the algorithm as they stand.
    d.cbPort->setCurrentIndex(d.PortIndex(ComPort->Port()));
    d.cbAlg->setEnabled(ComPort->Port() != 0);
    d.cbAlg->setCurrentIndex(ComPort->Tag >= 0 && ComPort->Tag < d.cbAlg->count() ? ComPort->Tag : -1);
    d.AlgorithmValue = ComPort->Tag;
    d.seWait->SetValue(static_cast<long double>(TimerGesperrtStart->Interval()) / 1000.0L);
    d.cbDigits->setCurrentIndex(2 - Accuracy);
    // Times already in the table keep their format, and ranking by mixed
    // formats would compare unlike texts: the format waits for the race's end.
    const bool racing = Clock->Enabled();
    d.cbDigits->setEnabled(!racing);
    d.cbDigits->setToolTip(
        racing ? QStringLiteral("Das Uhrzeitformat kann während des Rennens nicht geändert werden.") : QString());
    d.cbStopFirst->setCurrentIndex(StopFirst ? 1 : 0);
    // A stored value the lists do not offer shows the default item, never an
    // empty list (confirming an empty list would store -1 and lock the lists).
    d.SelectDefaultsWhereEmpty();
    const int startIndex = d.cbPort->currentIndex();
    LiveSettingsToDialog();

    if (d.ShowModal() == QDialog::Accepted) {
        if (d.cbDigits->isEnabled())
            Accuracy = 2 - d.cbDigits->currentIndex();
        StopFirst = d.cbStopFirst->currentIndex() == 1;
        // Halves to even, as the toolkit's rounding does.
        TimerGesperrtStart->SetInterval(static_cast<int>(std::nearbyintl(d.seWait->Value() * 1000.0L)));
        const int index = d.cbPort->currentIndex();
        if (index != startIndex) {
            ComPort->Close();
            // The old choice is no longer watched for.
            TimerReconnect->SetEnabled(false);
            LabLineState->setVisible(false);
        }
        if (index != 0) {
            ComPort->SetPort(static_cast<std::uint8_t>(d.PortNumber(index)));
            if (index != startIndex)
                ComPort->SetStablePath(d.PortStablePath(index));
            ComPort->Tag = d.cbAlg->currentIndex();
            if (index != startIndex && ComPort->Port() != 0)
                OpenBarrierLine(); // a failure reaches the error box; the values above stay
        } else {
            ComPort->SetPort(0);
            ComPort->SetStablePath(QString());
        }
        LiveSettingsFromDialog();
        RunRace([&] { return m_race->SettingsChanged(CurrentRaceSettings(), CurrentRow()); });
    }
    DisplayAccuracySwitch(Accuracy);
    PanelLeft->setFocus();
}
