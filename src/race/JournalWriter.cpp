#include "race/JournalWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace race {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A new file's name is durable only once its folder is.
void syncFolder(const QString& fileName)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(fileName).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

JournalWriter::JournalWriter()
{
    m_io.write = [](int fd, const char* data, std::size_t size) -> long { return ::write(fd, data, size); };
    m_io.fdatasync = [](int fd) { return ::fdatasync(fd); };
}

JournalWriter::~JournalWriter()
{
    Close();
}

bool JournalWriter::Open(const QString& fileName, QString* reason)
{
    Close();
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (reason)
            *reason = systemReason(errno);
        return false;
    }
    syncFolder(fileName);
    m_fd = fd;
    m_fileName = fileName;
    m_stop = false;
    m_failed = false;
    m_failedThrough = 0;
    m_durable.store(0, std::memory_order_release);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void JournalWriter::Append(std::uint64_t seq, QByteArray line)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_fd < 0)
            return;
        m_queue.emplace_back(seq, std::move(line));
    }
    m_wake.notify_one();
}

bool JournalWriter::WaitDurable(std::uint64_t seq, int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_durableChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_durable.load(std::memory_order_acquire) >= seq || m_failedThrough >= seq || m_fd < 0;
    }) && m_durable.load(std::memory_order_acquire) >= seq;
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
    ::close(m_fd);
    {
        std::lock_guard lock(m_mutex);
        m_fd = -1;
    }
    m_durableChanged.notify_all();
}

void JournalWriter::Run()
{
    for (;;) {
        std::deque<std::pair<std::uint64_t, QByteArray>> batch;
        bool stopping = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            // The lines of the next few milliseconds (a barrier pulse writes
            // several) share one sync: every sync costs the machine a burst
            // of disk work that the line watcher's wake-ups would feel.
            m_wake.wait_for(lock, kGather, [this] { return m_stop; });
            batch.swap(m_queue);
            stopping = m_stop;
        }
        if (!batch.empty()) {
            QByteArray bytes;
            for (const auto& item : batch)
                bytes += item.second;
            // A failed line is not written again: the next lines still go to
            // the file, so the race goes on being recorded when the disk
            // recovers; the reader skips the damaged line and says so.
            const std::uint64_t last = batch.back().first;
            if (WriteAll(bytes, last)) {
                if (m_io.fdatasync(m_fd) == 0) {
                    {
                        std::lock_guard lock(m_mutex);
                        m_durable.store(batch.back().first, std::memory_order_release);
                    }
                    m_durableChanged.notify_all();
                    if (OnDurable)
                        OnDurable(batch.back().first);
                } else {
                    Fail(systemReason(errno), last);
                }
            }
        }
        if (stopping) {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return;
        }
    }
}

bool JournalWriter::WriteAll(const QByteArray& bytes, std::uint64_t last)
{
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const long n = m_io.write(m_fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(systemReason(n < 0 ? errno : ENOSPC), last);
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void JournalWriter::Fail(const QString& reason, std::uint64_t last)
{
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = !m_failed;
        m_failed = true;
        m_failedThrough = last;
    }
    m_durableChanged.notify_all();
    if (first && OnFailure)
        OnFailure(m_fileName + QStringLiteral(": ") + reason);
}

} // namespace race
