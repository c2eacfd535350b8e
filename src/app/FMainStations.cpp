// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The timing stations in the window. At a station (setting "Station" other
// than Ziel) the window keeps no race: its barrier and its key give impulses
// that the station keeps and the finish reads, and a panel lists them in
// place of the table. At the finish the stations' impulses come into the race
// through StationsAtFinish, which also holds the finish's own barrier changes
// until they are in the order of their times; the header shows each
// station's clock difference.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/LivePublisher.h"
#include "app/LiveWidgets.h"
#include "app/StationAtStation.h"
#include "app/StationPanel.h"
#include "app/StationsAtFinish.h"
#include "app/UiHelpers.h"
#include "comm/Comms.h"
#include "controls/ButtonWithColor.h"
#include "controls/Dialogs.h"
#include "grid/SortGrid.h"
#include "platform/SettingsStore.h"
#include "platform/WallClock.h"
#include "race/JournalRecorder.h"
#include "race/JournalStore.h"
#include "race/LightBarriers.h"
#include "race/RaceText.h"
#include "stations/Signature.h"

#include <QBoxLayout>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>

namespace {

// The header's line of offsets is redrawn this often: the uncertainty grows
// with the time since the last exchange.
constexpr int kStationsRefreshMs = 1000;

std::int64_t wallNsOf(const platform::LineEvent& change)
{
    return change.wallClockMs != 0 ? change.wallClockMs * 1'000'000 : platform::WallClockNs();
}

} // namespace

void TFormMain::wireStations(const settings::Values& values)
{
    m_stationSettings = values.stations;
    if (!settings::IsPairingCode(m_stationSettings.code)) {
        // The first start: the code is made once and kept. A station shows
        // it at once and the finish is paired with it, so a station writes
        // it now; the finish with the other settings.
        m_stationSettings.code = stations::GeneratePairingCode();
        if (m_stationSettings.role != 0) {
            try {
                writeSettings();
            } catch (const std::exception& e) {
                showNotice(QString::fromUtf8(e.what()));
            }
        }
    }
    const QString folder = race::DataFolder(files.title);
    const auto role = stations::RoleFromNumber(m_stationSettings.role).value_or(stations::Role::Finish);
    if (role != stations::Role::Finish) {
        QDir().mkpath(folder);
        m_station = std::make_unique<StationAtStation>(role, m_stationSettings.code,
            QDir(folder).filePath(QStringLiteral("station-%1.impulse").arg(stations::RoleKey(role))));
        m_stationPanel = new TStationPanel(ui.PanelMain);
        m_stationPanel->setObjectName(QStringLiteral("StationPanel"));
        if (auto* column = qobject_cast<QBoxLayout*>(ui.PanelMain->layout()))
            column->addWidget(m_stationPanel, 1);
        // A station keeps no race: the table and the race's other commands
        // would only mislead.
        ui.SortGrid1->hide();
        for (QWidget* raceOnly : std::initializer_list<QWidget*> {
                 ui.bSTOP, ui.bEnd, ui.bRESET, ui.sbLoad, ui.sbSave, ui.sbPrint, ui.sbWord, ui.sbExcel, ui.sbHTML })
            raceOnly->hide();
        for (QAction* raceOnly : { ui.mStop, ui.mReset })
            raceOnly->setEnabled(false);
        if (role == stations::Role::Start) {
            ui.bFStopp->hide();
            ui.ListBoxStopp->hide();
        } else {
            ui.bSTART->hide();
        }
        m_station->OnChanged = [this] {
            if (m_stationPanel)
                m_stationPanel->Show(*m_station);
        };
        m_station->Notice = [this](const QString& text, bool failure) { showNotice(text, failure); };
        connect(m_stationPanel->bSaveFile, &QPushButton::clicked, this,
            GuardedSlot(this, &TFormMain::sbStationFileSaveClick));
        // The live port is the station's: a station has no results to show.
        m_live->Configure(false, values.livePort);
        QString reason;
        if (!m_station->Start(static_cast<quint16>(values.livePort), &reason))
            showNotice(reason);
        m_stationPanel->Show(*m_station);
        setWindowTitle(windowTitle() + QStringLiteral(" – Station ") + stations::RoleCaption(role));
        return;
    }
    m_finishStations = std::make_unique<StationsAtFinish>(
        *m_race, *m_lightBarriers, m_journal.get(), QDir(folder).filePath(QStringLiteral("stationen.stand")));
    StationsAtFinish& finish = *m_finishStations;
    finish.CurrentRow = [this] { return currentRow(); };
    finish.Mirror = [this](const race::BarrierStep& step) {
        const QScopedValueRollback busy(m_raceBusy, true);
        mirrorBarrier(step);
    };
    finish.ApplyFinishLine = [this](const platform::LineEvent& change) { applyLine(change); };
    finish.Notice = [this](const QString& text, bool failure) { showNotice(text, failure); };
    finish.OnStateChanged = [this] { showStationsState(); };
    finish.OnMarksChanged = [this] { m_live->ResultsChanged(); };
    m_live->Decorate = [this](race::Snapshot& snapshot) {
        if (m_finishStations)
            m_finishStations->Decorate(snapshot);
    };
    m_stationsHeader = new QLabel(ui.Panel1);
    m_stationsHeader->setObjectName(QStringLiteral("LabStations"));
    QFont font = m_stationsHeader->font();
    font.setPixelSize(12);
    font.setBold(true);
    m_stationsHeader->setFont(font);
    m_stationsHeader->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_stationsHeader->hide();
    m_loadStationFile = new QPushButton(QStringLiteral("Stationsdatei laden"), ui.Panel1);
    m_loadStationFile->setObjectName(QStringLiteral("bLoadStationFile"));
    m_loadStationFile->setFocusPolicy(Qt::NoFocus);
    m_loadStationFile->hide();
    connect(m_loadStationFile, &QPushButton::clicked, this, GuardedSlot(this, &TFormMain::sbStationFileLoadClick));
    if (auto* row = qobject_cast<QBoxLayout*>(ui.Panel1->layout())) {
        const int at = row->indexOf(static_cast<QWidget*>(ui.LabUpload));
        row->insertWidget(at, m_loadStationFile);
        row->insertWidget(at, m_stationsHeader);
    }
    m_stationsTimer.setInterval(kStationsRefreshMs);
    connect(&m_stationsTimer, &QTimer::timeout, this, [this] { showStationsState(); });
}

void TFormMain::startStations()
{
    if (m_stationsStarted || !m_finishStations)
        return;
    m_stationsStarted = true;
    configureStations(m_stationSettings);
}

void TFormMain::configureStations(const settings::Stations& chosen)
{
    if (!m_finishStations) {
        if (m_station)
            m_live->Configure(false, m_live->Port()); // the port stays the station's
        if (m_station && chosen.role != int(m_station->GetRole()))
            showNotice(QStringLiteral("Die neue Rolle gilt nach einem Neustart des Programms."), false);
        return;
    }
    if (chosen.role != 0)
        showNotice(QStringLiteral("Die neue Rolle gilt nach einem Neustart des Programms."), false);
    if (!m_stationsStarted)
        return;
    settings::Stations finish = chosen;
    finish.role = 0;
    m_finishStations->Configure(finish);
    showBarrierLamps(ui.ComPort->Connected());
    if (m_finishStations->Active())
        m_stationsTimer.start();
    else
        m_stationsTimer.stop();
    showStationsState();
}

bool TFormMain::stationTakesLine(const platform::LineEvent& change)
{
    if (m_station) {
        const std::uint32_t before = m_stationLevels;
        m_stationLevels = change.levels;
        if (before == change.levels)
            return true;
        const race::BarrierRequests asked = race::DecideBarrier(m_lightBarriers->Algorithm(), change.levels);
        // The start station's barrier is the start barrier; an interim
        // station takes either line.
        const bool takes = m_station->GetRole() == stations::Role::Start ? asked.start : (asked.start || asked.stop);
        if (takes)
            m_station->Take(change.stamp.tick, wallNsOf(change), stations::ImpulseKind::Barrier);
        return true;
    }
    if (m_finishStations && m_finishStations->Holds()) {
        m_finishStations->AddFinishLine(change);
        return true;
    }
    return false;
}

bool TFormMain::stationTakesKey(bool startKey)
{
    if (!m_station)
        return false;
    // F5 at the start, F8 at an interim station; the other key does nothing there.
    if (startKey == (m_station->GetRole() == stations::Role::Start))
        m_station->Take(platform::GetTickCount(), platform::WallClockNs(), stations::ImpulseKind::Key);
    return true;
}

void TFormMain::showStationsState()
{
    if (!m_finishStations || !m_stationsHeader)
        return;
    const bool active = m_finishStations->Active();
    m_stationsHeader->setVisible(active);
    m_loadStationFile->setVisible(active);
    if (!active)
        return;
    QStringList lines = m_finishStations->HeaderLines();
    const QString wait = m_finishStations->WaitText();
    QString text = lines.isEmpty() ? QString() : lines.first();
    if (!wait.isEmpty())
        text = wait + QStringLiteral("\n") + text;
    else if (lines.size() > 1)
        text += QStringLiteral("\n") + lines.mid(1).join(QStringLiteral(" · "));
    m_stationsHeader->setText(text);
    QStringList tip = lines;
    if (!m_finishStations->Interims().isEmpty())
        tip << QString() << m_finishStations->Interims();
    if (!m_finishStations->Unassigned().isEmpty())
        tip << QString() << QStringLiteral("Nicht zugeordnet:") << m_finishStations->Unassigned();
    m_stationsHeader->setToolTip(tip.join(QLatin1Char('\n')));
    const bool red = !wait.isEmpty() || m_finishStations->Alarming(m_race->Settings().accuracy);
    SetFontColor(m_stationsHeader, red ? clRed : clGreen);
}

void TFormMain::sbStationFileSaveClick()
{
    if (!m_station)
        return;
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Stationsdatei speichern");
    request.folder = m_fileChoices.saveFolder;
    request.fileName = QStringLiteral("station-%1.rzs").arg(stations::RoleKey(m_station->GetRole()));
    request.filter = QStringLiteral("Stationsdatei (*.rzs)|*.rzs");
    request.defaultSuffix = QStringLiteral("rzs");
    const dialogs::FileDialogResult chosen = dialogs::GetSaveFileName(this, request);
    if (chosen.fileName.isEmpty())
        return;
    QString reason;
    if (!m_station->SaveFile(chosen.fileName, &reason))
        showNotice(QStringLiteral("Stationsdatei nicht gespeichert: %1\n%2").arg(chosen.fileName, reason));
    else
        showNotice(QStringLiteral("Stationsdatei gespeichert: %1").arg(chosen.fileName), false);
}

void TFormMain::sbStationFileLoadClick()
{
    if (!m_finishStations)
        return;
    dialogs::FileDialogRequest request;
    request.caption = QStringLiteral("Stationsdatei laden");
    request.folder = m_fileChoices.saveFolder;
    request.filter = QStringLiteral("Stationsdatei (*.rzs)|*.rzs|Alle Dateien (*)|*");
    const dialogs::FileDialogResult chosen = dialogs::GetOpenFileName(this, request);
    if (chosen.fileName.isEmpty())
        return;
    const QString report = m_finishStations->LoadFile(chosen.fileName);
    dialogs::ShowInfo(this, report);
    showStationsState();
}
