// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "upload/CurlTransfer.h"
#include "upload/UploadTarget.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

// The outbox keeps the results on the club's web host current without ever
// holding up the race. Put() hands a file over and returns at once; a thread
// of its own sends what changed:
// - only the newest version of each file travels; a version replaced before
//   its turn is never sent;
// - a change waits `settle` for the files that come with it (the results,
//   the page and the printable page of one stop), and rounds start at most
//   every `coalesce`: a burst of stops goes out in one round;
// - each file is written to a temporary name and renamed over the old one;
// - a failed round is tried again after a pause that doubles from
//   `firstBackoff` up to `maxBackoff`, forever; while the server refused the
//   connection outright, its port is knocked on every `probe`, so a server
//   that comes back gets the newest files within seconds;
// - a server whose key is new or changed gets nothing until the user accepts
//   the key (AcceptHostKey) or changes the target.
namespace upload {

struct Timing {
    std::chrono::milliseconds settle { 250 };
    std::chrono::milliseconds coalesce { 2000 };
    std::chrono::milliseconds firstBackoff { 2000 };
    std::chrono::milliseconds maxBackoff { 60000 };
    std::chrono::milliseconds probe { 2000 };
    Limits limits;
};

struct UploadStatus {
    bool active = false; // a target is set
    bool sending = false; // a round is running
    int waiting = 0; // files whose newest version is not on the server yet
    QDateTime lastSuccess; // end of the last round that succeeded (local time)
    Failure failure = Failure::None; // of the last round
    QString reason; // German, while failing
    HostKey hostKey; // the key that waits for the user's word
    int failures = 0; // failed rounds in a row
    std::chrono::milliseconds retryIn { 0 }; // until the next try, while failing
    quint64 rounds = 0; // rounds started since the program started
    quint64 filesSent = 0; // files that arrived since the program started

    bool Failing() const { return failure != Failure::None && failure != Failure::Cancelled; }
    bool WaitsForHostKey() const { return failure == Failure::HostKeyUnknown || failure == Failure::HostKeyChanged; }
};

// For the header bar: "Upload: 12:04:31 ok", "Upload: läuft …", or
// "Upload: " and the reason while failing.
QString StatusText(const UploadStatus& status);

class Outbox final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Outbox)

public:
    explicit Outbox(Timing timing = {}, QObject* parent = nullptr);
    ~Outbox() override;

    // Where the files go; std::nullopt switches the upload off. A different
    // target or login sends every file again.
    void SetTarget(std::optional<Target> target, const Login& login);
    // Takes the newest version of a file; false (and nothing kept) for a
    // name that is no plain visible file name. Never waits for the network.
    bool Put(const QString& name, const QByteArray& bytes);
    // Starts a round now, without waiting for the pause.
    void RetryNow();
    // The user accepts the server key with this fingerprint; it is written to
    // known_hosts when the server shows it again, and a round starts now.
    void AcceptHostKey(const QString& fingerprint);

    UploadStatus Status() const;

signals:
    // Emitted in the outbox's own thread after the status changed.
    void statusChanged();

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        QByteArray bytes;
        quint64 version = 0;
        quint64 sentVersion = 0;
        Clock::time_point changedAt; // of the oldest version the server lacks
    };

    void Run();
    void RunRound(std::unique_lock<std::mutex>& lock);
    void Knock(std::unique_lock<std::mutex>& lock);
    std::optional<Clock::time_point> NextRound() const;
    int Waiting() const;
    void Notify();

    const Timing m_timing;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<QString, Entry> m_files;
    quint64 m_nextVersion = 1;
    std::optional<Target> m_target;
    Login m_login;
    quint64 m_generation = 0;
    Clock::time_point m_lastStart {};
    Clock::time_point m_nextAttempt {};
    Clock::time_point m_nextKnock {};
    std::chrono::milliseconds m_backoff { 0 };
    bool m_retryNow = false;
    bool m_stop = false;
    Transfer* m_current = nullptr;
    UploadStatus m_status;
    std::thread m_thread;
};

// The settings dialog's button: tries the target once on a thread of its own
// and reports in the owner's thread. Destroying it ends a running try.
class TargetTrial final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TargetTrial)

public:
    TargetTrial(const Target& target, const Login& login, Limits limits = {}, QObject* parent = nullptr);
    ~TargetTrial() override;

signals:
    void finished(const upload::TransferResult& result);

private:
    Transfer m_transfer;
    std::thread m_thread;
};

} // namespace upload
