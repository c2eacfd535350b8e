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

namespace race {

// Appends lines to one file from a thread of its own and makes them durable
// (write with O_APPEND, then fdatasync), so whoever records an event never
// waits for the disk. Lines are written in the order they were handed in.
class JournalWriter final {
public:
    JournalWriter();
    ~JournalWriter(); // Close()
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // How long the thread gathers lines before it writes and syncs them: a
    // line is durable within this and one sync.
    static constexpr std::chrono::milliseconds kGather { 10 };

    // Opens (creating it when missing) the file for appending. False with the
    // system's reason when it cannot be opened.
    bool Open(const QString& fileName, QString* reason = nullptr);
    bool IsOpen() const { return m_fd >= 0; }
    QString FileName() const { return m_fileName; }

    // Queues a line with its sequence number; returns at once.
    void Append(std::uint64_t seq, QByteArray line);

    // The highest sequence number that is on the disk.
    std::uint64_t DurableSeq() const { return m_durable.load(std::memory_order_acquire); }
    // Waits until seq is durable, its writing failed or the time is up; true
    // when it is durable.
    bool WaitDurable(std::uint64_t seq, int timeoutMs);

    // Writes what is queued, makes it durable and closes the file.
    void Close();

    // Called on the writer thread: after each batch made durable (with the
    // highest sequence number of it), and once for the first failure (with
    // the file name and the system's reason). Set them before Open.
    std::function<void(std::uint64_t)> OnDurable;
    std::function<void(const QString&)> OnFailure;

    // Tests replace the system calls that can fail.
    struct Io {
        std::function<long(int fd, const char* data, std::size_t size)> write;
        std::function<int(int fd)> fdatasync;
    };
    void SetIo(Io io) { m_io = std::move(io); }

private:
    void Run();
    bool WriteAll(const QByteArray& bytes, std::uint64_t last);
    void Fail(const QString& reason, std::uint64_t last);

    int m_fd = -1;
    QString m_fileName;
    Io m_io;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_durableChanged;
    std::deque<std::pair<std::uint64_t, QByteArray>> m_queue;
    bool m_stop = false;
    bool m_failed = false;
    std::uint64_t m_failedThrough = 0; // the last sequence number of a batch that failed
    std::atomic<std::uint64_t> m_durable { 0 };
};

} // namespace race
