// Live results in the network and the spectator display: the header's
// address and display button, F6, the settings, and the one notification
// that carries every change of the results to both.
#include "app/FMain.h"

#include "app/Application.h"
#include "app/AudienceWindow.h"
#include "app/LiveFeed.h"
#include "app/LiveWidgets.h"
#include "app/UiHelpers.h"
#include "controls/ButtonGlyphs.h"
#include "controls/Dialogs.h"
#include "controls/LbSpeedButton.h"
#include "controls/MessageTimer.h"
#include "controls/Udigit.h"
#include "dialogs/Cfg.h"
#include "grid/SortGrid.h"
#include "live/LiveAddress.h"
#include "live/LiveServer.h"
#include "platform/SettingsStore.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QSpinBox>

namespace {

constexpr int kDefaultLivePort = 8080;

// New keys are read leniently: a missing or bad value keeps the default and
// never ends the reading of the others.
int readOr(const platform::SettingsStore& store, const QString& name, int fallback)
{
    try {
        return store.readInteger(name);
    } catch (const platform::SettingsError&) {
        return fallback;
    }
}

} // namespace

void TFormMain::BuildLive()
{
    auto* row = static_cast<QHBoxLayout*>(Panel1->layout());
    LabLiveAddress = new TClickLabel(Panel1);
    LabLiveAddress->setFont(DesignFont(QStringLiteral("Arial"), 14, true));
    LabLiveAddress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabLiveAddress->OnClick = [this] { Guarded(this, [this] { LabLiveAddressClick(); }); };
    LabLiveAddress->hide();
    bAnzeige = new TLbSpeedButton(Panel1);
    bAnzeige->setFixedSize(40, 38);
    bAnzeige->SetFlat(true);
    bAnzeige->SetGlyph(HeaderGlyph(HeaderGlyphKind::Spectator));
    bAnzeige->setToolTip(QStringLiteral("Anzeige (F6)"));
    bAnzeige->OnClick = [this](TLbSpeedButton*) { Guarded(this, [this] { mAnzeigeClick(); }); };
    const int at = row->indexOf(PanelDate);
    row->insertWidget(at, LabLiveAddress);
    row->insertSpacing(at + 1, 6);
    row->insertWidget(at + 2, bAnzeige);
    row->insertSpacing(at + 3, 4);

    mAnzeige = new QAction(QStringLiteral("Anzeige"), this);
    mAnzeige->setShortcut(Qt::Key_F6);
    mAnzeige->setShortcutContext(Qt::WindowShortcut);
    addAction(mAnzeige);
    connect(mAnzeige, &QAction::triggered, this, [this] { Guarded(this, [this] { mAnzeigeClick(); }); });

    // In-place edits of numbers and names reach the spectators when committed.
    SortGrid1->OnModified = [this](QObject*) { ResultsChanged(); };
    ApplyLiveSettings();
}

void TFormMain::ResultsChanged()
{
    // Commands change several cells in a row; the spectators get the result
    // once, after the command, so no command waits for them.
    if (m_resultsPending)
        return;
    m_resultsPending = true;
    QMetaObject::invokeMethod(
        this, [this] { Guarded(this, [this] { PublishResults(); }); }, Qt::QueuedConnection);
}

void TFormMain::PublishResults()
{
    m_resultsPending = false;
    const bool toServer = LiveServer && LiveServer->Running();
    const bool toDisplay = Anzeige && Anzeige->isVisible();
    if (!toServer && !toDisplay)
        return;
    auto snapshot = std::make_shared<const live::Snapshot>(LiveSnapshotOf(*this));
    if (toServer)
        LiveServer->Publish(snapshot);
    if (toDisplay)
        Anzeige->ShowResults(*snapshot);
}

RaceClock TFormMain::RaceClockNow() const
{
    RaceClock clock;
    clock.accuracy = Accuracy;
    if (Clock->Enabled()) {
        clock.running = true;
        clock.ms = platform::TickDiff(platform::GetTickCount(), FirstStartTick);
        return clock;
    }
    // Stopped: the time row 0 froze at (0 after a reset).
    const auto& d = Digits[0];
    auto v = [&](int i) { return d[static_cast<size_t>(i)]->Value(); };
    const int minutes = v(DisplayTime::TensOfMinutes) * 10 + v(DisplayTime::Minutes);
    const int seconds = v(DisplayTime::TensOfSeconds) * 10 + v(DisplayTime::Seconds);
    const int hundredths = v(DisplayTime::Tenths) * 10 + v(DisplayTime::Hundredths);
    clock.ms = ((v(DisplayTime::Hours) * 60 + minutes) * 60 + seconds) * 1000 + hundredths * 10;
    return clock;
}

void TFormMain::ApplyLiveSettings()
{
    if (!LiveOn) {
        delete LiveServer;
        LiveServer = nullptr;
        m_liveError.clear();
        ShowLiveState();
        return;
    }
    if (!LiveServer) {
        LiveServer = new live::LiveServer({}, this);
        connect(LiveServer, &live::LiveServer::Listening, this, [this] {
            m_liveError.clear();
            ShowLiveState();
            ResultsChanged();
        });
        connect(LiveServer, &live::LiveServer::Failed, this, [this](const QString& message) {
            m_liveError = message;
            ShowLiveState();
            dialogs::ShowMessage(this, dialogs::Icon::Warning, Title,
                message
                    + QStringLiteral("\nDie Zeitmessung läuft weiter; ein anderer Port lässt sich in den "
                                     "Einstellungen wählen."));
        });
    } else if (LiveServer->Running() && LiveServer->RequestedPort() == LivePort) {
        return;
    }
    m_liveError.clear();
    ResultsChanged();
    LiveServer->Start(static_cast<quint16>(LivePort));
    ShowLiveState();
}

QString TFormMain::LiveAddress() const
{
    if (!LiveServer || !LiveServer->Running() || LiveServer->Port() == 0)
        return {};
    return live::LiveUrl(LiveServer->Port());
}

void TFormMain::ShowLiveState()
{
    const QString url = LiveAddress();
    if (!m_liveError.isEmpty()) {
        LabLiveAddress->setText(QStringLiteral("Live: Fehler"));
        LabLiveAddress->setToolTip(m_liveError);
        SetFontColor(LabLiveAddress, clRed);
    } else if (!url.isEmpty()) {
        QString shown = url;
        shown.remove(QStringLiteral("http://"));
        if (shown.endsWith(QLatin1Char('/')))
            shown.chop(1);
        LabLiveAddress->setText(shown);
        LabLiveAddress->setToolTip(
            QStringLiteral("Live-Ergebnisse unter %1\nKlick: QR-Code für die Handys am Ziel").arg(url));
        SetFontColor(LabLiveAddress, clYellow);
    } else {
        LabLiveAddress->setText(QStringLiteral("Live: startet"));
        LabLiveAddress->setToolTip(QString());
        SetFontColor(LabLiveAddress, clSilver);
    }
    LabLiveAddress->setVisible(LiveOn);
    if (Anzeige)
        Anzeige->SetAddress(url);
    if (QrPopup && QrPopup->isVisible() && QrPopup->Address() != url)
        QrPopup->hide();
}

void TFormMain::LabLiveAddressClick()
{
    if (!m_liveError.isEmpty()) {
        dialogs::ShowMessage(this, dialogs::Icon::Warning, Title, m_liveError);
        return;
    }
    const QString url = LiveAddress();
    if (!QrPopup)
        QrPopup = new TQrPopup(this);
    if (QrPopup->isVisible() || url.isEmpty()) {
        QrPopup->hide();
        return;
    }
    ShowLiveState(); // the network may have changed since the server started
    QrPopup->ShowAddress(
        LiveAddress(), LabLiveAddress->mapToGlobal(QPoint(LabLiveAddress->width(), LabLiveAddress->height() + 2)));
}

void TFormMain::mAnzeigeClick()
{
    if (!Anzeige) {
        Anzeige = new TAudienceWindow(this);
        Anzeige->ClockSource = [this] { return RaceClockNow(); };
        // The race keys work while the display has the focus; F11 there is its
        // own full-screen switch.
        Anzeige->addActions({ mStart, mStop, FStopp1, LockLSStopp1, mAnzeige });
    }
    if (Anzeige->isVisible()) {
        Anzeige->close();
        return;
    }
    Anzeige->SetColours(BackgroundColor, DigitColor, DimColor, SecondRowColor);
    Anzeige->SetAddress(LiveAddress());
    // On a second screen it fills that screen; with one screen it opens as
    // a window beside the race.
    QScreen* own = screen();
    QScreen* other = nullptr;
    for (QScreen* s : QGuiApplication::screens()) {
        if (s != own) {
            other = s;
            break;
        }
    }
    Anzeige->ShowOn(other ? other : own, other != nullptr);
    PublishResults();
    activateWindow();
}

void TFormMain::ReadLiveSettings(const platform::SettingsStore& store)
{
    LiveOn = readOr(store, QStringLiteral("LiveOn"), 0) != 0;
    const int port = readOr(store, QStringLiteral("LivePort"), kDefaultLivePort);
    LivePort = port >= 1 && port <= 65535 ? port : kDefaultLivePort;
}

void TFormMain::WriteLiveSettings(platform::SettingsStore& store) const
{
    store.writeInteger(QStringLiteral("LiveOn"), LiveOn ? 1 : 0);
    store.writeInteger(QStringLiteral("LivePort"), LivePort);
}

void TFormMain::LiveSettingsToDialog()
{
    CfgDialog->cbLive->setChecked(LiveOn);
    CfgDialog->seLivePort->setValue(LivePort);
}

void TFormMain::LiveSettingsFromDialog()
{
    LiveOn = CfgDialog->cbLive->isChecked();
    LivePort = CfgDialog->seLivePort->value();
    ApplyLiveSettings();
}
