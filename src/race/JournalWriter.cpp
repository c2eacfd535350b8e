// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "race/JournalWriter.h"

#include "platform/FileAccess.h"
#include "platform/SystemError.h"

#include <cerrno>
#include <utility>

namespace race {

namespace {

QString systemReason(int error)
{
    return platform::SystemReason(error);
}

} // namespace

JournalWriter::JournalWriter()
{
    m_io.write = platform::WriteSome;
    m_io.fdatasync = platform::SyncData;
    m_io.ftruncate = platform::TruncateFile;
}

JournalWriter::~JournalWriter()
{
    Close();
}

void JournalWriter::Open(const QString& fileName)
{
    Close();
    {
        std::lock_guard lock(m_mutex);
        m_fileName = fileName;
        m_queue.clear();
        m_open = true;
        m_stop = false;
        m_failing = false;
        m_reason.clear();
        m_durableShared = 0;
        m_leftOver.clear();
    }
    m_fd = -1;
    m_announced = false;
    m_durableSize = 0;
    m_dirtyTail = false;
    m_durable.store(0, std::memory_order_release);
    m_thread = std::thread([this] { Run(); });
}

void JournalWriter::Append(std::uint64_t seq, QByteArray line)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_open)
            return;
        m_queue.emplace_back(seq, std::move(line));
    }
    m_wake.notify_one();
}

bool JournalWriter::WaitDurable(std::uint64_t seq, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_durableChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_durable.load(std::memory_order_acquire) >= seq || !m_open;
    }) && m_durable.load(std::memory_order_acquire) >= seq;
}

JournalWriter::Backlog JournalWriter::Pending() const
{
    std::lock_guard lock(m_mutex);
    Backlog backlog;
    backlog.lines = m_queue.size();
    if (!m_queue.empty()) {
        backlog.first = m_queue.front().first;
        backlog.last = m_queue.back().first;
        backlog.firstLine = m_queue.front().second;
    }
    return backlog;
}

std::vector<QByteArray> JournalWriter::PendingLines() const
{
    std::lock_guard lock(m_mutex);
    std::vector<QByteArray> lines;
    lines.reserve(m_queue.size());
    for (const auto& item : m_queue)
        lines.push_back(item.second);
    return lines;
}

long JournalWriter::DurableSize() const
{
    std::lock_guard lock(m_mutex);
    return m_durableShared;
}

std::vector<QByteArray> JournalWriter::TakeLeftOver()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_leftOver, {});
}

bool JournalWriter::Failing() const
{
    std::lock_guard lock(m_mutex);
    return m_failing;
}

QString JournalWriter::FailureReason() const
{
    std::lock_guard lock(m_mutex);
    return m_reason;
}

void JournalWriter::Close()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
    platform::CloseFile(m_fd);
    m_fd = -1;
    {
        std::lock_guard lock(m_mutex);
        m_open = false;
        m_leftOver.clear();
        for (auto& item : m_queue)
            m_leftOver.push_back(std::move(item.second));
        m_queue.clear();
    }
    m_durableChanged.notify_all();
}

void JournalWriter::Run()
{
    for (;;) {
        QByteArray bytes;
        std::size_t count = 0;
        std::uint64_t last = 0;
        bool stopping = false;
        {
            std::unique_lock lock(m_mutex);
            if (m_failing) {
                m_wake.wait_for(lock, kRetry, [this] { return m_stop; });
            } else {
                m_wake.wait(lock, [this] { return m_stop || !m_queue.empty() || m_fd < 0; });
                // The lines of the next few milliseconds (a barrier pulse
                // writes several) share one sync: every sync costs the
                // machine a burst of disk work that the line watcher's
                // wake-ups would feel.
                m_wake.wait_for(lock, kGather, [this] { return m_stop; });
            }
            stopping = m_stop;
            count = m_queue.size();
            for (const auto& item : m_queue)
                bytes += item.second;
            if (count > 0)
                last = m_queue.back().first;
        }
        if (count > 0 || m_fd < 0 || !m_announced) {
            QString reason;
            if (WriteOut(bytes, &reason)) {
                bool recovered = false;
                {
                    std::lock_guard lock(m_mutex);
                    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(count));
                    m_durableShared = m_durableSize;
                    if (count > 0)
                        m_durable.store(last, std::memory_order_release);
                    recovered = std::exchange(m_failing, false);
                    if (recovered)
                        m_reason.clear();
                }
                m_durableChanged.notify_all();
                if (count > 0 && OnDurable)
                    OnDurable(last);
                if (recovered && OnRecovered)
                    OnRecovered();
            } else {
                SetFailing(reason);
            }
        }
        if (stopping)
            return;
    }
}

bool JournalWriter::WriteOut(const QByteArray& bytes, QString* reason)
{
    if (m_fd < 0) {
        long size = 0;
        const platform::FileHandle fd = platform::OpenForAppend(m_fileName, &size, reason);
        if (fd < 0)
            return false;
        m_fd = fd;
        m_durableSize = size;
    }
    if (!m_announced) {
        if (OnOpened && !OnOpened(reason))
            return false;
        m_announced = true;
    }
    if (m_dirtyTail) {
        // What a refused write left behind goes before anything is appended.
        if (m_io.ftruncate(m_fd, m_durableSize) != 0) {
            *reason = systemReason(errno);
            return false;
        }
        m_dirtyTail = false;
    }
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const long n = m_io.write(m_fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *reason = systemReason(n < 0 ? errno : ENOSPC);
            m_dirtyTail = true;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (!bytes.isEmpty() && m_io.fdatasync(m_fd) != 0) {
        // The pages may be lost although the call said nothing of them
        // before: they are cut and written again.
        *reason = systemReason(errno);
        m_dirtyTail = true;
        return false;
    }
    m_durableSize += static_cast<long>(bytes.size());
    return true;
}

void JournalWriter::SetFailing(const QString& reason)
{
    bool tell = false;
    {
        std::lock_guard lock(m_mutex);
        tell = !m_failing || m_reason != reason;
        m_failing = true;
        m_reason = reason;
    }
    if (tell && OnFailure)
        OnFailure(m_fileName + QStringLiteral(": ") + reason);
}

} // namespace race
