// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Live results in the network and the spectator display: the header's
// address and display button, F6.
#include "app/FMain.h"

#include "app/AudienceWindow.h"
#include "app/LivePublisher.h"
#include "app/LiveWidgets.h"
#include "app/UiHelpers.h"
#include "app/UploadLink.h"
#include "dialogs/Cfg.h"

#include <QAction>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QToolTip>

void TFormMain::showLiveState()
{
    const QString url = m_live->Address();
    QLabel* address = ui.LabLiveAddress;
    if (!m_live->Error().isEmpty()) {
        // In the header bar, never in a box: the race keys go on working.
        address->setText(QStringLiteral("Live: ") + m_live->ErrorHeadline());
        address->setToolTip(m_live->Error() + QStringLiteral("\nKlick: noch einmal versuchen"));
        SetFontColor(address, clRed);
    } else if (!url.isEmpty()) {
        QString shown = url;
        shown.remove(QStringLiteral("http://"));
        if (shown.endsWith(QLatin1Char('/')))
            shown.chop(1);
        address->setText(shown);
        address->setToolTip(QStringLiteral("Live-Ergebnisse unter %1\nKlick: QR-Code für die Handys am Ziel").arg(url));
        SetFontColor(address, clYellow);
    } else {
        address->setText(QStringLiteral("Live: startet"));
        address->setToolTip(QString());
        SetFontColor(address, clSilver);
    }
    address->setVisible(m_live->On());
    if (ui.Anzeige)
        ui.Anzeige->SetAddress(url);
    if (ui.QrPopup && ui.QrPopup->isVisible() && ui.QrPopup->Address() != url)
        ui.QrPopup->hide();
}

void TFormMain::LabLiveAddressClick()
{
    if (!m_live->Error().isEmpty()) {
        // The reason where the operator looks, and the port tried again (the
        // program that held it may have ended).
        QLabel* address = ui.LabLiveAddress;
        QToolTip::showText(address->mapToGlobal(QPoint(0, address->height())), m_live->Error(), address);
        m_live->Retry();
        return;
    }
    if (!ui.QrPopup)
        ui.QrPopup = new TQrPopup(this);
    if (ui.QrPopup->isVisible() || m_live->Address().isEmpty()) {
        ui.QrPopup->hide();
        return;
    }
    showLiveState(); // the network may have changed since the server started
    QLabel* address = ui.LabLiveAddress;
    ui.QrPopup->ShowAddress(m_live->Address(), address->mapToGlobal(QPoint(address->width(), address->height() + 2)));
}

void TFormMain::mAnzeigeClick()
{
    if (!ui.Anzeige) {
        ui.Anzeige = new TAudienceWindow(this);
        ui.Anzeige->ClockSource = [this] { return m_race->ClockAt(platform::GetTickCount()); };
        // The race keys work while the display has the focus; F11 there is its
        // own full-screen switch.
        ui.Anzeige->addActions({ ui.mStart, ui.mStop, ui.FStopp1, ui.LockLSStopp1, ui.mAnzeige });
        m_live->SetAudience(ui.Anzeige);
    }
    if (ui.Anzeige->isVisible()) {
        ui.Anzeige->close();
        return;
    }
    ui.Anzeige->SetColours(m_colours);
    ui.Anzeige->SetTitle(m_event.title);
    ui.Anzeige->SetAddress(m_live->Address());
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
    ui.Anzeige->ShowOn(other ? other : own, other != nullptr);
    m_live->RefreshAudience();
    activateWindow();
}

namespace {

// The most the upload's state takes of the header bar.
constexpr int kUploadStateWidth = 360;

} // namespace

void TFormMain::showUploadState()
{
    QLabel* label = ui.LabUpload;
    if (!label)
        return;
    label->setVisible(m_upload->Shown());
    // A long reason keeps its beginning in the header, whole in the tooltip.
    label->setText(label->fontMetrics().elidedText(m_upload->StateText(), Qt::ElideRight, kUploadStateWidth));
    label->setToolTip(m_upload->StateText() + QStringLiteral("\n") + m_upload->StateTip());
    // Red while failing, as the other troubles; dark green reads on the grey bar.
    SetFontColor(label, m_upload->Failing() ? clRed : clGreen);
}

void TFormMain::LabUploadClick()
{
    m_upload->Clicked();
    showUploadState();
}

void TFormMain::tryUpload(const QString& address, const QString& keyFile)
{
    // The dialog stays open and the race keys work on while the try runs.
    QPointer<TCfgDialog> dialog = ui.CfgDialog;
    m_upload->Try(address, keyFile, [dialog](const QString& text, bool ok) {
        if (dialog)
            dialog->ShowUploadResult(text, ok);
    });
}
