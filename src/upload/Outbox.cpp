// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "upload/Outbox.h"

#include <QMetaObject>

#include <algorithm>
#include <vector>

namespace upload {

QString StatusText(const UploadStatus& status)
{
    if (!status.active)
        return QStringLiteral("Upload: aus");
    if (status.Failing())
        return QStringLiteral("Upload: ") + status.reason;
    if (status.lastSuccess.isValid() && status.waiting == 0)
        return QStringLiteral("Upload: %1 ok").arg(status.lastSuccess.toString(QStringLiteral("HH:mm:ss")));
    if (status.sending)
        return QStringLiteral("Upload: läuft …");
    if (status.lastSuccess.isValid())
        return QStringLiteral("Upload: %1 ok").arg(status.lastSuccess.toString(QStringLiteral("HH:mm:ss")));
    return QStringLiteral("Upload: wartet");
}

Outbox::Outbox(Timing timing, QObject* parent)
    : QObject(parent)
    , m_timing(timing)
{
    // The library's one-time start (TLS and SSH libraries) happens here, not
    // under the outbox's lock in its first round.
    PrepareTransfers();
    m_thread = std::thread([this] { Run(); });
}

Outbox::~Outbox()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_current)
            m_current->Cancel();
    }
    m_wake.notify_all();
    m_thread.join();
}

void Outbox::SetTarget(std::optional<Target> target, const Login& login)
{
    {
        std::lock_guard lock(m_mutex);
        const bool same = target == m_target && login.keyFile == m_login.keyFile && login.password == m_login.password
            && login.knownHostsFile == m_login.knownHostsFile;
        if (same)
            return;
        m_target = std::move(target);
        m_login = login;
        ++m_generation;
        const Clock::time_point now = Clock::now();
        for (auto& [name, entry] : m_files) {
            entry.sentVersion = 0;
            entry.changedAt = now;
        }
        m_backoff = std::chrono::milliseconds(0);
        m_retryNow = false;
        m_lastStart = {};
        m_status.active = m_target.has_value();
        m_status.failure = Failure::None;
        m_status.reason.clear();
        m_status.hostKey = {};
        m_status.failures = 0;
        m_status.waiting = Waiting();
        // The round on its way goes to the old target: it is of no use now.
        if (m_current)
            m_current->Cancel();
    }
    m_wake.notify_all();
    Notify();
}

bool Outbox::Put(const QString& name, const QByteArray& bytes)
{
    if (!IsUploadName(name))
        return false;
    bool wasWaiting = false;
    {
        std::lock_guard lock(m_mutex);
        Entry& entry = m_files[name];
        if (entry.version != 0 && entry.bytes == bytes)
            return true;
        wasWaiting = entry.version != entry.sentVersion;
        if (!wasWaiting)
            entry.changedAt = Clock::now();
        entry.bytes = bytes;
        entry.version = m_nextVersion++;
        m_status.waiting = Waiting();
    }
    m_wake.notify_all();
    if (!wasWaiting)
        Notify();
    return true;
}

void Outbox::RetryNow()
{
    {
        std::lock_guard lock(m_mutex);
        m_retryNow = true;
    }
    m_wake.notify_all();
}

void Outbox::AcceptHostKey(const QString& fingerprint)
{
    {
        std::lock_guard lock(m_mutex);
        m_login.acceptedFingerprint = fingerprint;
        m_retryNow = true;
        if (m_status.WaitsForHostKey()) {
            m_status.failure = Failure::None;
            m_status.reason.clear();
        }
    }
    m_wake.notify_all();
    Notify();
}

UploadStatus Outbox::Status() const
{
    std::lock_guard lock(m_mutex);
    UploadStatus status = m_status;
    if (status.Failing() && !status.WaitsForHostKey()) {
        status.retryIn = std::max(std::chrono::milliseconds(0),
            std::chrono::duration_cast<std::chrono::milliseconds>(m_nextAttempt - Clock::now()));
    }
    return status;
}

int Outbox::Waiting() const
{
    return int(std::count_if(m_files.begin(), m_files.end(),
        [](const auto& item) { return item.second.version != item.second.sentVersion; }));
}

void Outbox::Notify()
{
    QMetaObject::invokeMethod(
        this, [this] { emit statusChanged(); }, Qt::QueuedConnection);
}

std::optional<Outbox::Clock::time_point> Outbox::NextRound() const
{
    if (!m_target || Waiting() == 0)
        return std::nullopt;
    // A click on the header tries again even while a server key waits for
    // the user: the user may have put it into known_hosts by hand.
    if (m_retryNow)
        return Clock::now();
    if (m_status.WaitsForHostKey())
        return std::nullopt;
    if (m_status.Failing())
        return m_nextAttempt;
    Clock::time_point oldestChange = Clock::time_point::max();
    for (const auto& [name, entry] : m_files) {
        if (entry.version != entry.sentVersion)
            oldestChange = std::min(oldestChange, entry.changedAt);
    }
    return std::max(oldestChange + m_timing.settle, m_lastStart + m_timing.coalesce);
}

void Outbox::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const std::optional<Clock::time_point> due = NextRound();
        if (!due) {
            m_wake.wait(lock);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (*due <= now) {
            RunRound(lock);
            continue;
        }
        // A server that refused the connection is usually just not there
        // (a stopped service, a mobile link that dropped): knocking costs
        // nothing and ends the pause as soon as it is back.
        if (m_status.failure == Failure::Unreachable && m_nextKnock < *due) {
            if (m_nextKnock <= now)
                Knock(lock);
            else
                m_wake.wait_until(lock, m_nextKnock);
            continue;
        }
        m_wake.wait_until(lock, *due);
    }
}

void Outbox::Knock(std::unique_lock<std::mutex>& lock)
{
    Transfer transfer(*m_target, m_login, m_timing.limits);
    const quint64 generation = m_generation;
    m_current = &transfer;
    lock.unlock();
    const bool answers = transfer.PortAnswers();
    lock.lock();
    m_current = nullptr;
    m_nextKnock = Clock::now() + m_timing.probe;
    if (answers && generation == m_generation)
        m_nextAttempt = Clock::now();
}

void Outbox::RunRound(std::unique_lock<std::mutex>& lock)
{
    m_retryNow = false;
    const quint64 generation = m_generation;
    std::vector<FileToSend> files;
    std::vector<std::pair<QString, quint64>> versions;
    for (const auto& [name, entry] : m_files) {
        if (entry.version != entry.sentVersion) {
            files.push_back({ name, entry.bytes });
            versions.emplace_back(name, entry.version);
        }
    }
    Login login = m_login;
    m_lastStart = Clock::now();
    m_status.sending = true;
    ++m_status.rounds;
    Notify();

    Transfer transfer(*m_target, login, m_timing.limits);
    m_current = &transfer;
    lock.unlock();
    const TransferResult result = transfer.Send(files);
    lock.lock();
    m_current = nullptr;
    m_status.sending = false;
    if (generation != m_generation || m_stop) {
        Notify();
        return;
    }
    // The accepted key is in known_hosts now, or was refused again.
    if (!login.acceptedFingerprint.isEmpty() && m_login.acceptedFingerprint == login.acceptedFingerprint)
        m_login.acceptedFingerprint.clear();

    for (int i = 0; i < result.filesSent; ++i) {
        Entry& entry = m_files[versions[size_t(i)].first];
        entry.sentVersion = std::max(entry.sentVersion, versions[size_t(i)].second);
        if (entry.sentVersion != entry.version)
            entry.changedAt = m_lastStart;
    }
    m_status.filesSent += quint64(result.filesSent);
    m_status.waiting = Waiting();
    if (result.Ok()) {
        m_backoff = std::chrono::milliseconds(0);
        m_status.failure = Failure::None;
        m_status.reason.clear();
        m_status.hostKey = {};
        m_status.failures = 0;
        m_status.lastSuccess = QDateTime::currentDateTime();
    } else {
        m_backoff = m_backoff.count() == 0 ? m_timing.firstBackoff : std::min(m_backoff * 2, m_timing.maxBackoff);
        m_nextAttempt = Clock::now() + m_backoff;
        m_nextKnock = Clock::now() + m_timing.probe;
        m_status.failure = result.failure;
        m_status.reason = result.reason;
        m_status.hostKey = result.hostKey;
        ++m_status.failures;
    }
    Notify();
}

TargetTrial::TargetTrial(const Target& target, const Login& login, Limits limits, QObject* parent)
    : QObject(parent)
    , m_transfer(target, login, limits)
{
    m_thread = std::thread([this] {
        const TransferResult result = m_transfer.Try();
        QMetaObject::invokeMethod(
            this, [this, result] { emit finished(result); }, Qt::QueuedConnection);
    });
}

TargetTrial::~TargetTrial()
{
    m_transfer.Cancel();
    m_thread.join();
}

} // namespace upload
