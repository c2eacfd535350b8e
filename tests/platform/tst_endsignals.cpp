// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/EndSignals.h"

#include <QtTest>

#include <csignal>

class TestEndSignals : public QObject {
    Q_OBJECT
private slots:
    void eachEndSignal_reachesTheEventLoopInsteadOfEndingTheProcess()
    {
        QList<int> seen;
        {
            platform::EndSignals endSignals([&](int signal) { seen << signal; });
            for (const int signal : { SIGTERM, SIGINT, SIGHUP }) {
                QCOMPARE(::raise(signal), 0);
                // Nothing happens inside the handler itself: the call comes
                // from the event loop.
                QVERIFY(!seen.contains(signal));
                QTRY_VERIFY(seen.contains(signal));
            }
        }
        QCOMPARE(seen, (QList<int> { SIGTERM, SIGINT, SIGHUP }));
        // Gone again, the default action is back (checked without raising).
        struct sigaction action { };
        QCOMPARE(::sigaction(SIGTERM, nullptr, &action), 0);
        QVERIFY(action.sa_handler == SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(TestEndSignals)
#include "tst_endsignals.moc"
