// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/LivePublisher.h"

#include "app/AudienceWindow.h"
#include "app/UploadLink.h"
#include "gridstore/CellTable.h"
#include "live/LiveAddress.h"
#include "live/LiveJson.h"
#include "live/LivePages.h"
#include "live/LiveServer.h"
#include "protocol/HtmlPage.h"

#include <QColor>
#include <QDate>
#include <QDateTime>
#include <QTime>

namespace {

QString hexColour(TColor c)
{
    return ToQColor(ColorToRGB(c)).name(QColor::HexRgb);
}

} // namespace

LivePublisher::LivePublisher(const race::Race& race, QObject* parent)
    : QObject(parent)
    , m_race(race)
{
}

LivePublisher::~LivePublisher() = default;

void LivePublisher::SetLook(const QString& title, const settings::Colours& colours)
{
    m_title = title;
    m_colours = { hexColour(colours.background), hexColour(colours.digit), hexColour(colours.dim),
        hexColour(colours.secondRow) };
}

void LivePublisher::Configure(bool on, int port)
{
    m_on = on;
    m_port = port;
    if (!on) {
        delete m_server;
        m_server = nullptr;
        m_errorHeadline.clear();
        m_error.clear();
        if (OnStateChanged)
            OnStateChanged();
        return;
    }
    if (!m_server) {
        m_server = new live::LiveServer({}, this);
        connect(m_server, &live::LiveServer::Listening, this, [this] {
            m_errorHeadline.clear();
            m_error.clear();
            if (OnStateChanged)
                OnStateChanged();
            ResultsChanged();
        });
        // No message box: the race goes on and the header bar tells.
        connect(m_server, &live::LiveServer::Failed, this, [this](const QString& headline, const QString& reason) {
            m_errorHeadline = headline;
            m_error = reason;
            if (OnStateChanged)
                OnStateChanged();
        });
    } else if (m_server->Running() && m_server->RequestedPort() == port) {
        return;
    }
    m_errorHeadline.clear();
    m_error.clear();
    // A server started anew gets the results whatever it had before.
    m_serverContent = 0;
    ResultsChanged();
    m_server->Start(static_cast<quint16>(port));
    if (OnStateChanged)
        OnStateChanged();
}

void LivePublisher::Retry()
{
    if (m_on && m_server && !m_server->Running())
        Configure(m_on, m_port);
}

QString LivePublisher::Address() const
{
    if (!m_server || !m_server->Running() || m_server->Port() == 0)
        return {};
    return live::LiveUrl(m_server->Port());
}

race::Snapshot LivePublisher::TakeSnapshot() const
{
    race::Snapshot snapshot = race::TakeSnapshot(m_race, platform::GetTickCount(), m_title, m_colours);
    if (Decorate)
        Decorate(snapshot);
    return snapshot;
}

void LivePublisher::ResultsChanged()
{
    // Commands change several cells in a row; the spectators get the result
    // once, after the command.
    if (m_pending)
        return;
    m_pending = true;
    QMetaObject::invokeMethod(
        this, [this] { PublishNow(); }, Qt::QueuedConnection);
}

void LivePublisher::SetUpload(UploadLink* upload, const QString& programTitle)
{
    m_upload = upload;
    m_programTitle = programTitle;
    UploadChanged();
}

void LivePublisher::UploadChanged()
{
    m_uploadContent = 0;
    ResultsChanged();
}

std::vector<std::pair<QString, QByteArray>> LivePublisher::UploadFiles(const race::Snapshot& snapshot)
{
    // The same results the live server serves, with a version of their own:
    // the copy on the web host is read by pages that never saw the server.
    // The time of day is the moment of the results, the "Stand" of the page.
    // Versions go on from the program's start time, so a page that holds the
    // results of an earlier start sees the new ones as new.
    if (m_uploadVersion == 0)
        m_uploadVersion = static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch());
    const QByteArray json = live::ResultsJsonClock(
                                snapshot, std::chrono::steady_clock::now(), QTime::currentTime().msecsSinceStartOfDay())
        + live::ResultsJsonBody(snapshot, ++m_uploadVersion);
    std::vector<std::pair<QString, QByteArray>> files;
    files.emplace_back(QStringLiteral("results.json"), json);
    files.emplace_back(QStringLiteral("index.html"), live::PageHtml(live::Page::Static, snapshot.title, json));
    files.emplace_back(protocol::HtmlPageFileName(m_programTitle),
        protocol::HtmlPageBytes(
            m_race.Table().TableStore(), m_programTitle, m_race.ClassOrder(), { m_raceTitle, QDate::currentDate() }));
    return files;
}

void LivePublisher::PublishNow()
{
    m_pending = false;
    const bool toServer = m_server && m_server->Running();
    const bool toDisplay = m_audience && m_audience->isVisible();
    const bool toUpload = m_upload && m_upload->Active();
    if (!toServer && !toDisplay && !toUpload)
        return;
    auto snapshot = std::make_shared<const race::Snapshot>(TakeSnapshot());
    const std::uint64_t content = race::ContentVersion(*snapshot);
    if (toServer && content != m_serverContent) {
        m_serverContent = content;
        m_server->Publish(snapshot);
    }
    if (toDisplay && content != m_audienceContent) {
        m_audienceContent = content;
        m_audience->ShowResults(*snapshot);
    }
    if (toUpload && content != m_uploadContent) {
        m_uploadContent = content;
        // The outbox takes them without waiting; its thread sends them.
        for (const auto& [name, bytes] : UploadFiles(*snapshot))
            m_upload->Put(name, bytes);
    }
}

void LivePublisher::RefreshAudience()
{
    m_audienceContent = 0;
    PublishNow();
}
