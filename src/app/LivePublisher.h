#pragma once

#include "app/Settings.h"
#include "race/RaceSnapshot.h"

#include <QObject>
#include <QString>

#include <functional>

class TAudienceWindow;
namespace live {
class LiveServer;
}

// The live results: the server that phones in the network read, and the
// spectator display. After every change of the results both get one
// snapshot of the race, taken once the command that changed them is done,
// so no command waits for them; nothing is taken while neither shows it.
class LivePublisher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LivePublisher)
public:
    LivePublisher(const race::Race& race, QObject* parent = nullptr);
    ~LivePublisher() override;

    // What the snapshots carry besides the race.
    void SetLook(const QString& title, const settings::Colours& colours);
    // The spectator display, once it exists.
    void SetAudience(TAudienceWindow* audience) { m_audience = audience; }

    // Live results on or off, on the port: starts, moves or stops the server.
    void Configure(bool on, int port);
    bool On() const { return m_on; }
    int Port() const { return m_port; }
    live::LiveServer* Server() const { return m_server; }
    // The address phones open; empty while the server does not listen.
    QString Address() const;
    // Why the server could not start; empty while it runs or is off.
    QString Error() const { return m_error; }

    // The race as spectators see it now.
    race::Snapshot TakeSnapshot() const;

    // The results or the race state changed.
    void ResultsChanged();
    // Hands the results over now.
    void PublishNow();

    // The address or the error changed.
    std::function<void()> OnStateChanged;
    // The server could not start (its message).
    std::function<void(const QString& message)> OnFailed;

private:
    const race::Race& m_race;
    QString m_title;
    race::SnapshotColours m_colours;
    TAudienceWindow* m_audience = nullptr;
    live::LiveServer* m_server = nullptr; // exists while live results are on
    bool m_on = false;
    int m_port = settings::Values().livePort;
    bool m_pending = false;
    QString m_error;
};
