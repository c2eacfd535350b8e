// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Settings.h"
#include "race/RaceSnapshot.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class TAudienceWindow;
class UploadLink;
namespace live {
class LiveServer;
}

// The live results: the server that phones in the network read, and the
// spectator display. After a command that may have changed the results a
// snapshot of the race is taken, once the command is done, so no command
// waits for it; it goes out only when spectators would see something new in
// it (a cursor move or a lockout's end sends nothing). Nothing is taken
// while neither the server nor the display shows it.
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
    // The upload to the club's web host: results.json, index.html and the
    // printable page (named after the program, titled as the race) go to it
    // whenever the results change.
    void SetUpload(UploadLink* upload, const QString& programTitle);
    void SetRaceTitle(const QString& raceTitle) { m_raceTitle = raceTitle; }
    // The files as they would be uploaded now, by name.
    std::vector<std::pair<QString, QByteArray>> UploadFiles(const race::Snapshot& snapshot);
    // The upload's target changed: every file is handed over again.
    void UploadChanged();

    // Live results on or off, on the port: starts, moves or stops the server.
    void Configure(bool on, int port);
    bool On() const { return m_on; }
    int Port() const { return m_port; }
    live::LiveServer* Server() const { return m_server; }
    // The address phones open; empty while the server does not listen.
    QString Address() const;
    // Why the server could not start, in a few words for the header bar
    // ("Port 8080 belegt") and as a sentence; empty while it runs or is off.
    QString ErrorHeadline() const { return m_errorHeadline; }
    QString Error() const { return m_error; }
    // Tries the port again after a failure.
    void Retry();

    // The race as spectators see it now.
    race::Snapshot TakeSnapshot() const;

    // The results or the race state changed.
    void ResultsChanged();
    // Hands the results over now, where they differ from what was handed over.
    void PublishNow();
    // Shows the results on the spectator display now (it has just opened).
    void RefreshAudience();

    // The address or the error changed.
    std::function<void()> OnStateChanged;
    // Adds what the race's table does not hold to each snapshot (where the
    // timing stations' times came from).
    std::function<void(race::Snapshot& snapshot)> Decorate;

private:
    const race::Race& m_race;
    QString m_title;
    race::SnapshotColours m_colours;
    TAudienceWindow* m_audience = nullptr;
    live::LiveServer* m_server = nullptr; // exists while live results are on
    bool m_on = false;
    int m_port = settings::Values().livePort;
    bool m_pending = false;
    // ContentVersion of what the server and the display last got; 0: nothing yet.
    std::uint64_t m_serverContent = 0;
    std::uint64_t m_audienceContent = 0;
    UploadLink* m_upload = nullptr;
    QString m_programTitle;
    QString m_raceTitle;
    std::uint64_t m_uploadContent = 0;
    std::uint64_t m_uploadVersion = 0;
    QString m_errorHeadline;
    QString m_error;
};
