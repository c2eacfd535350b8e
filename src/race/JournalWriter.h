// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace race {

// Appends lines to one file from a thread of its own and makes them durable
// (write with O_APPEND, then fdatasync), so whoever records an event never
// waits for the disk. Lines are written in the order they were handed in.
//
// A line once handed in is never dropped while the writer runs: when the
// disk refuses it (full, failing, the folder gone) the file is cut back to
// its last durable line, so no half-written line is left for a later one to
// glue itself to, and the refused lines wait in memory, in order, until the
// disk takes them again. What the disk still refuses at Close() is kept for
// the caller to put somewhere else (TakeLeftOver).
class JournalWriter final {
public:
    JournalWriter();
    ~JournalWriter(); // Close()
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // How long the thread gathers lines before it writes and syncs them: a
    // line is durable within this and one sync.
    static constexpr std::chrono::milliseconds kGather { 10 };
    // How soon a refused write is tried again.
    static constexpr std::chrono::milliseconds kRetry { 200 };

    // Starts taking lines for the file. It is opened (created when missing,
    // appended to when not) on the writer's thread, so a disk that refuses it
    // now does not refuse the lines: they wait like any refused line.
    void Open(const QString& fileName);
    // Taking lines: between Open and Close.
    bool IsOpen() const { return m_open; }
    QString FileName() const { return m_fileName; }

    // Queues a line with its sequence number; returns at once.
    void Append(std::uint64_t seq, QByteArray line);

    // The highest sequence number that is on the disk.
    std::uint64_t DurableSeq() const { return m_durable.load(std::memory_order_acquire); }
    // Waits until seq is durable, the writer is closed or the time is up;
    // true when it is durable.
    bool WaitDurable(std::uint64_t seq, int timeoutMs);

    // What was handed in and is not yet on the disk.
    struct Backlog {
        std::size_t lines = 0;
        std::uint64_t first = 0, last = 0; // sequence numbers
        QByteArray firstLine; // the oldest waiting line, line end included
    };
    Backlog Pending() const;
    // Every line not yet on the disk, oldest first, line ends included.
    std::vector<QByteArray> PendingLines() const;
    // How many bytes of the file are durable lines: what a copy of the
    // journal takes from it (a refused write may have left part of a line
    // after them).
    long DurableSize() const;
    // Whether the disk refuses the lines at the moment, and why.
    bool Failing() const;
    QString FailureReason() const;

    // Tries once more to write what is queued, makes it durable and closes
    // the file; what the disk still refuses is left over.
    void Close();
    // The lines the disk refused until Close(), oldest first; taken once.
    std::vector<QByteArray> TakeLeftOver();

    // Called on the writer thread. OnOpened once the file is open, before its
    // first line is written (false, with the reason, is a refusal like a
    // failed write and is tried again); OnDurable after each batch made
    // durable (with the highest sequence number of it); OnFailure when the
    // disk starts refusing lines or gives another reason (file name and the
    // system's reason); OnRecovered when every refused line is on the disk.
    // Set them before Open.
    std::function<bool(QString* reason)> OnOpened;
    std::function<void(std::uint64_t)> OnDurable;
    std::function<void(const QString&)> OnFailure;
    std::function<void()> OnRecovered;

    // Tests replace the system calls that can fail. Set before Open.
    struct Io {
        std::function<long(int fd, const char* data, std::size_t size)> write;
        std::function<int(int fd)> fdatasync;
        std::function<int(int fd, long size)> ftruncate;
    };
    void SetIo(Io io) { m_io = std::move(io); }

private:
    void Run();
    // Opens the file when needed and writes the bytes after the last durable
    // line; false with the reason, the file cut back, when anything failed.
    bool WriteOut(const QByteArray& bytes, QString* reason);
    void SetFailing(const QString& reason);

    QString m_fileName;
    Io m_io;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_durableChanged;
    std::deque<std::pair<std::uint64_t, QByteArray>> m_queue; // not yet durable, oldest first
    bool m_open = false;
    bool m_stop = false;
    bool m_failing = false;
    QString m_reason;
    std::atomic<std::uint64_t> m_durable { 0 };
    long m_durableShared = 0; // m_durableSize for other threads, under m_mutex
    std::vector<QByteArray> m_leftOver;
    // The writer thread's own: the file, whether it was announced, where
    // its durable lines end and whether bytes after that must be cut.
    int m_fd = -1;
    bool m_announced = false;
    long m_durableSize = 0;
    bool m_dirtyTail = false;
};

} // namespace race
