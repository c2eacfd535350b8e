#include "app/LivePublisher.h"

#include "app/AudienceWindow.h"
#include "live/LiveAddress.h"
#include "live/LiveServer.h"

#include <QColor>

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
        m_error.clear();
        if (OnStateChanged)
            OnStateChanged();
        return;
    }
    if (!m_server) {
        m_server = new live::LiveServer({}, this);
        connect(m_server, &live::LiveServer::Listening, this, [this] {
            m_error.clear();
            if (OnStateChanged)
                OnStateChanged();
            ResultsChanged();
        });
        connect(m_server, &live::LiveServer::Failed, this, [this](const QString& message) {
            m_error = message;
            if (OnStateChanged)
                OnStateChanged();
            if (OnFailed)
                OnFailed(message);
        });
    } else if (m_server->Running() && m_server->RequestedPort() == port) {
        return;
    }
    m_error.clear();
    ResultsChanged();
    m_server->Start(static_cast<quint16>(port));
    if (OnStateChanged)
        OnStateChanged();
}

QString LivePublisher::Address() const
{
    if (!m_server || !m_server->Running() || m_server->Port() == 0)
        return {};
    return live::LiveUrl(m_server->Port());
}

race::Snapshot LivePublisher::TakeSnapshot() const
{
    return race::TakeSnapshot(m_race, platform::GetTickCount(), m_title, m_colours);
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

void LivePublisher::PublishNow()
{
    m_pending = false;
    const bool toServer = m_server && m_server->Running();
    const bool toDisplay = m_audience && m_audience->isVisible();
    if (!toServer && !toDisplay)
        return;
    auto snapshot = std::make_shared<const race::Snapshot>(TakeSnapshot());
    if (toServer)
        m_server->Publish(snapshot);
    if (toDisplay)
        m_audience->ShowResults(*snapshot);
}
