// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up of the program as a child process (probe_startup, the program's
// own start-up with a report once the window is shown): from process start to
// the main window shown, and the resident memory at that moment (offscreen,
// empty table).
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// VmHWM: the peak resident set, which for a program that just showed its
// window is its resident size then.
long peakResidentKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString exe = QCoreApplication::applicationDirPath() + QStringLiteral("/probe_startup");
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());

    std::vector<double> ms;
    std::vector<long> kb;
    for (int i = 0; i < 7; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        QElapsedTimer t;
        t.start();
        p.start(exe, {});
        if (!p.waitForStarted(5000)) {
            std::printf("cannot start %s\n", qPrintable(exe));
            return 2;
        }
        const qint64 pid = p.processId();
        long rss = -1;
        // Poll the peak while waiting for the window; the process reports and
        // leaves as soon as it is shown.
        while (!p.canReadLine() && p.state() == QProcess::Running) {
            rss = std::max(rss, peakResidentKb(pid));
            p.waitForReadyRead(1);
        }
        const double elapsed = t.nsecsElapsed() / 1e6;
        rss = std::max(rss, peakResidentKb(pid));
        if (p.readLine().trimmed() != "shown") {
            std::printf("the program did not report its window\n");
            return 2;
        }
        p.waitForFinished(5000);
        ms.push_back(elapsed);
        kb.push_back(rss);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(kb.begin(), kb.end());
    const double medianMs = ms[ms.size() / 2];
    const double medianMb = kb[kb.size() / 2] / 1024.0;
    std::printf("start-up to main window shown (median of %zu): %.0f ms (target <= 300 ms)\n", ms.size(), medianMs);
    std::printf("resident memory with an empty table: %.1f MB (target <= 60 MB)\n", medianMb);
    return Verdict(medianMs <= 300 && medianMb <= 60);
}
