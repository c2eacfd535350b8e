// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The race journal: from recording an event to the event being on the disk
// (written and fdatasync'd by the writer thread), and reading back a journal
// of 20,000 events. The journal lives in the working folder's file system,
// as it would in the user's data folder.
#include "BenchSupport.h"

#include "race/Journal.h"
#include "race/JournalLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kEvents = Scaled(1000, 200);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-journal-XXXXXX"));

    // Event to durable: events at random intervals as a race would give them
    // (a few per second up to bursts of a start every few milliseconds).
    race::RaceJournal journal(dir.path(), QStringLiteral("rennzeit"));
    std::mutex mutex;
    std::map<std::uint64_t, Clock::time_point> recordedAt;
    std::vector<double> durableUs;
    journal.OnDurable = [&](std::uint64_t seq) {
        const Clock::time_point now = Clock::now();
        std::lock_guard lock(mutex);
        // One fdatasync makes a whole batch durable: every event in it counts.
        for (auto it = recordedAt.begin(); it != recordedAt.end() && it->first <= seq;) {
            durableUs.push_back(std::chrono::duration<double, std::micro>(now - it->second).count());
            it = recordedAt.erase(it);
        }
    };
    if (!journal.Begin(platform::Stamp::Now())) {
        std::printf("bench_journal: the journal cannot be opened in %s\n", qPrintable(dir.path()));
        return 2;
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pauseMs(1, 20);
    for (int i = 0; i < kEvents; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        race::JournalEntry entry;
        entry.tick = platform::GetTickCount();
        entry.date = QDate::currentDate();
        entry.time = QTime::currentTime();
        entry.kind = i % 2 ? QStringLiteral("STOPP") : QStringLiteral("START");
        entry.Add(QStringLiteral("row"), i / 2 + 1)
            .Add(QStringLiteral("name"), QStringLiteral("Läufer Nummer %1").arg(i));
        std::lock_guard lock(mutex);
        recordedAt[journal.LastSeq() + 1] = Clock::now();
        journal.Record(entry);
    }
    journal.WaitDurable(journal.LastSeq(), 10000);
    journal.Close();
    const LatencySummary durable = Summarize(durableUs);
    std::printf("bench_journal: %d events at 1-20 ms intervals\n", kEvents);
    PrintSummary("event -> durable on disk", durable);
    std::printf("  target: p99 <= 50 ms\n");

    // Reading a journal of 20,000 events.
    QByteArray bytes;
    for (int i = 1; i <= 20000; ++i) {
        race::JournalEntry entry;
        entry.seq = static_cast<std::uint64_t>(i);
        entry.tick = 1000 + i * 37;
        entry.date = QDate::currentDate();
        entry.time = QTime::currentTime();
        entry.kind = i % 2 ? QStringLiteral("STOPP") : QStringLiteral("START");
        entry.Add(QStringLiteral("row"), i / 2 + 1)
            .Add(QStringLiteral("name"), QStringLiteral("Läufer Nummer %1").arg(i));
        bytes += race::FormatJournalLine(entry);
    }
    std::vector<double> readMs;
    qsizetype count = 0;
    for (int run = 0; run < Scaled(5, 1); ++run) {
        QElapsedTimer t;
        t.start();
        count = race::ParseJournal(bytes).entries.size();
        readMs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(readMs.begin(), readMs.end());
    std::printf("  reading 20,000 events (%.1f MB): median %.1f ms (%lld entries)\n", bytes.size() / 1e6,
        readMs[readMs.size() / 2], static_cast<long long>(count));

    const bool met = durable.count == static_cast<size_t>(kEvents) && durable.p99 <= 50000 && count == 20000;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return Verdict(met);
}
