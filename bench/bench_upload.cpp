// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The upload, library level: from Put to the new results.json complete on an
// SFTP server (OpenSSH's sshd on 127.0.0.1) with the program's own
// coalescing, changes coming at random gaps as stops do in a race (target:
// p99 at or below 3 s); and what Put costs the caller while uploads fail
// (the server refuses, or takes the connection and then says nothing),
// against Put with the upload switched off (target: p99 at or below 1 ms in
// every case).
#include "BenchSupport.h"
#include "support/TestSupport.h"
#include "support/UploadServers.h"
#include "upload/Outbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A results file of a race with `entries` finishers, version `n` in its
// first line so the reader knows which one it holds.
QByteArray Results(int n, int entries)
{
    QByteArray out = "{\"version\":" + QByteArray::number(n) + ",\n\"entries\":[";
    for (int i = 0; i < entries; ++i) {
        out += "{\"number\":\"" + QByteArray::number(i + 1) + "\",\"name\":\"Läuferin Nummer " + QByteArray::number(i)
            + "\",\"time\":\"1:0" + QByteArray::number(i % 10) + ",25\",\"place\":" + QByteArray::number(i + 1) + "},";
    }
    return out + "{}]}\n";
}

// The version of a complete file; -1 for none or part of one.
int CompleteVersion(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    if (!bytes.endsWith("{}]}\n"))
        return -1;
    const qsizetype start = bytes.indexOf(':') + 1;
    return bytes.mid(start, bytes.indexOf(',') - start).toInt();
}

std::vector<double> PutTimesUs(upload::Outbox& outbox, int count, int entries)
{
    std::vector<QByteArray> versions;
    for (int i = 0; i < 8; ++i)
        versions.push_back(Results(1000 + i, entries));
    std::vector<double> us;
    us.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        outbox.Put("results.json", versions[size_t(i) % versions.size()]);
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (i % 50 == 0)
            std::this_thread::sleep_for(1ms);
    }
    return us;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString why;
    if (SshServer::Missing(&why)) {
        std::printf("bench_upload: %s\n", qPrintable(why));
        return 1;
    }
    SshServer server;
    if (!server.Start()) {
        std::printf("bench_upload: sshd did not start: %s\n", qPrintable(server.error()));
        return 1;
    }
    constexpr int kEntries = 300;
    upload::Login login;
    login.keyFile = server.ClientKey();
    login.knownHostsFile = server.KnownHostsWithServer();
    QString message;
    const std::optional<upload::Target> target = upload::ParseTarget(server.Address(), &message);
    if (!target) {
        std::printf("bench_upload: %s\n", qPrintable(message));
        return 1;
    }

    // 1. Put -> complete on the server, default coalescing.
    const int changes = Scaled(40, 4);
    std::vector<double> arrivalUs;
    {
        upload::Outbox outbox;
        outbox.SetTarget(target, login);
        std::mt19937 random(39);
        std::uniform_int_distribution<int> gapMs(300, 4000);
        const QString file = server.Folder() + QStringLiteral("/results.json");
        for (int n = 1; n <= changes; ++n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs(random)));
            const QByteArray bytes = Results(n, kEntries);
            const auto start = std::chrono::steady_clock::now();
            outbox.Put("results.json", bytes);
            while (CompleteVersion(file) < n) {
                if (std::chrono::steady_clock::now() - start > 30s) {
                    std::printf("bench_upload: version %d did not arrive: %s\n", n,
                        qPrintable(upload::StatusText(outbox.Status())));
                    return 1;
                }
                std::this_thread::sleep_for(2ms);
            }
            arrivalUs.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
        const upload::UploadStatus status = outbox.Status();
        const upload::Timing timing;
        std::printf("Put -> results.json complete on the SFTP server (%d changes at random gaps of 0.3-4 s, "
                    "%lld bytes, default coalescing: %lld ms to settle, rounds %lld ms apart; %llu rounds):\n",
            changes, static_cast<long long>(Results(1, kEntries).size()), static_cast<long long>(timing.settle.count()),
            static_cast<long long>(timing.coalesce.count()), static_cast<unsigned long long>(status.rounds));
    }
    const LatencySummary arrival = Summarize(arrivalUs);
    std::printf("  p50 %.0f ms, p99 %.0f ms, max %.0f ms (target p99 <= 3000 ms)\n", arrival.p50 / 1000,
        arrival.p99 / 1000, arrival.max / 1000);

    // 2. What Put costs while uploads fail, against the upload switched off.
    const int puts = Scaled(20000, 2000);
    upload::Timing quick;
    quick.settle = 50ms;
    quick.coalesce = 50ms;
    quick.firstBackoff = 100ms;
    quick.maxBackoff = 400ms;
    quick.probe = 100ms;
    quick.limits.connect = 3000ms;
    quick.limits.stall = 3000ms;
    bool putsMet = true;
    auto measure = [&](const char* what, const std::optional<upload::Target>& where) {
        upload::Outbox outbox(quick);
        outbox.SetTarget(where, login);
        outbox.Put("results.json", Results(1, kEntries));
        std::this_thread::sleep_for(300ms); // the first round is under way
        const LatencySummary s = Summarize(PutTimesUs(outbox, puts, kEntries));
        std::printf("  %s: p50 %.1f us, p99 %.1f us, max %.1f us (%zu Puts; %llu rounds meanwhile)\n", what, s.p50,
            s.p99, s.max, s.count, static_cast<unsigned long long>(outbox.Status().rounds));
        putsMet = putsMet && s.p99 <= 1000;
    };
    std::printf("Put while uploads fail (%lld bytes each; target p99 <= 1000 us):\n",
        static_cast<long long>(Results(1, kEntries).size()));
    measure("upload off", std::nullopt);
    measure("upload working", target);
    upload::Target refusing = *target;
    refusing.port = FreeLoopbackPort();
    measure("server refuses", refusing);
    QTcpServer hung; // takes the connection, then says nothing
    hung.listen(QHostAddress::LocalHost, 0);
    upload::Target silent = *target;
    silent.port = hung.serverPort();
    measure("server hangs", silent);

    return Verdict(arrival.p99 <= 3000000 && putsMet);
}
