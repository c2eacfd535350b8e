// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Two real programs on one machine, each with its own home: the finish, and
// the start station on 127.0.0.2 whose clock runs 2.5 s ahead. The station's
// starts reach the finish's runners in turn at the moment the station took
// them (the same machine: the same tick), and a kill -9 of the station and
// then of the finish loses no start and doubles none.
#include "support/HttpProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>

#include <signal.h>

namespace {

const QString kProgram = QStringLiteral(RENNZEIT_DRILL_PROGRAM);
const QString kCode = QStringLiteral("271828");

// What a phone gets from the finish: its /results.json, headers and all.
QByteArray fetchResults(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET /results.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (socket.state() == QAbstractSocket::ConnectedState && waited.elapsed() < 5000) {
        socket.waitForReadyRead(200);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
}

struct Instance {
    QString home;
    std::unique_ptr<QProcess> process;
    QByteArray output;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
    void writeSettings(const QString& text) const
    {
        QDir().mkpath(home + QStringLiteral("/config"));
        QDir().mkpath(home + QStringLiteral("/runtime"));
        QFile::setPermissions(home + QStringLiteral("/runtime"),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QDir().mkpath(home + QStringLiteral("/work"));
        QFile file(home + QStringLiteral("/config/rennzeit.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    }
    void start(const QStringList& arguments)
    {
        process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment());
        process->setWorkingDirectory(home + QStringLiteral("/work"));
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setProgram(kProgram);
        process->setArguments(arguments);
        output.clear();
        process->start();
        QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
    }
    void kill9()
    {
        ::kill(pid_t(process->processId()), SIGKILL);
        process->waitForFinished(5000);
    }
    void read() { output += process->readAllStandardOutput(); }
    // The started entries of the last "started" report: number -> start tick.
    std::map<int, qint64> starts(int* reported)
    {
        read();
        std::map<int, qint64> rows, last;
        *reported = -1;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 3 && parts[0] == "row") {
                rows[parts[1].toInt()] = parts[2].toLongLong();
            } else if (parts.size() == 2 && parts[0] == "started") {
                *reported = parts[1].toInt();
                last = std::exchange(rows, {});
            }
        }
        return last;
    }
};

// The ticks of the station's impulses as its store holds them, by number.
std::map<int, qint64> stationTicks(const QString& home)
{
    std::map<int, qint64> ticks;
    QFile file(home + QStringLiteral("/data/rennzeit/station-Start.impulse"));
    if (!file.open(QIODevice::ReadOnly))
        return ticks;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 4 && parts[0] == "impulse")
            ticks[parts[2].toInt()] = parts[3].toLongLong();
    }
    return ticks;
}

} // namespace

class TestStations2Prog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    Instance m_finish, m_station;
    quint16 m_port = 0;
    quint16 m_livePort = 0;

    // Waits until the finish reports `count` starts and compares each with
    // the station's impulse of the same number (runner n got impulse n).
    void expectStarts(int count)
    {
        int reported = -1;
        std::map<int, qint64> rows;
        QElapsedTimer waited;
        waited.start();
        while ((rows = m_finish.starts(&reported), reported != count) && waited.elapsed() < 30000)
            QTest::qWait(50);
        if (reported != count)
            qWarning("%s", m_finish.output.constData());
        QTest::qWait(400); // nothing more comes
        rows = m_finish.starts(&reported);
        QCOMPARE(reported, count);
        const std::map<int, qint64> ticks = stationTicks(m_station.home);
        QCOMPARE(int(ticks.size()), count);
        for (const auto& [number, tick] : ticks) {
            QVERIFY2(rows.count(number), qPrintable(QStringLiteral("Nr. %1 fehlt").arg(number)));
            // The clocks' 2.5 s are measured and taken off: what is left is
            // the estimate's error and the tick's millisecond, within half
            // the display's hundredth.
            QVERIFY2(std::abs(rows[number] - tick) <= 5,
                qPrintable(QStringLiteral("Nr. %1: Start %2, Station %3").arg(number).arg(rows[number]).arg(tick)));
        }
    }

private slots:
    void initTestCase()
    {
        m_port = FreeTcpPort(QHostAddress(QStringLiteral("127.0.0.2")));
        QVERIFY(m_port != 0);
        do
            m_livePort = FreeTcpPort(QHostAddress(QHostAddress::Any));
        while (m_livePort == m_port);
        QVERIFY(m_livePort != 0);
        m_finish.home = m_dir.filePath(QStringLiteral("ziel"));
        m_station.home = m_dir.filePath(QStringLiteral("start"));
        m_station.writeSettings(
            QStringLiteral("[General]\nStation=1\nStationCode=%1\nLivePort=%2\n").arg(kCode).arg(m_port));
        // A start lockout of 1 s, the shortest the dialog offers.
        // The fourteen keys every store has, so the lockout is read.
        m_finish.writeSettings(
            QStringLiteral("[General]\nPort=0\nAlg=0\nLeft=0\nTop=0\nWidth=900\nHeight=600\nSound=0\n"
                           "C1=0\nC2=65535\nC3=4210752\nAcc=2\nC4=65280\nFilterInd=2\nWaitStart=1000\n"
                           "LiveOn=1\nLivePort=%3\n[Stations]\nStart=127.0.0.2:%1\nStartCode=%2\n")
                .arg(m_port)
                .arg(kCode)
                .arg(m_livePort));
    }

    void startsAtTheStation_reachTheRightRunners_throughKillsOfEitherSide()
    {
        QElapsedTimer took;
        took.start();
        const QString shift = QStringLiteral("--station-clock-shift=2500");
        m_station.start({ shift, QStringLiteral("--script=start,wait:1600,start,wait:1600,start") });
        m_finish.start({ QStringLiteral("--recover-answer=no"), QStringLiteral("--script=free-start"),
            QStringLiteral("--print-starts") });
        expectStarts(3);

        // The station dies and comes back with a fourth start.
        m_station.kill9();
        m_station.start({ shift, QStringLiteral("--script=wait:1600,start") });
        expectStarts(4);

        // The finish dies; meanwhile the station, killed again, takes a fifth.
        QTest::qWait(200); // the journal has the fourth on its disk
        m_finish.kill9();
        m_station.kill9();
        // After the start lockout of the fourth, which the recovered race keeps.
        m_station.start({ shift, QStringLiteral("--script=wait:1600,start") });
        QTRY_COMPARE_WITH_TIMEOUT(int(stationTicks(m_station.home).size()), 5, 30000);
        m_finish.start({ QStringLiteral("--recover-answer=yes"), QStringLiteral("--print-starts") });
        expectStarts(5);
        // Phones see that each start came from the station, also the four
        // the finish took back from its journal.
        const QByteArray results = fetchResults(m_livePort);
        QVERIFY2(results.contains(R"("stations":["Start"])"), results.constData());
        QCOMPARE(results.count(R"("startFrom":"Start")"), 5);

        m_finish.kill9();
        m_station.kill9();
        qInfo("two programs, two kills: %lld ms", qint64(took.elapsed()));
        QVERIFY(took.elapsed() < 50000);
    }

    void cleanupTestCase()
    {
        for (Instance* instance : { &m_finish, &m_station })
            if (instance->process && instance->process->state() != QProcess::NotRunning)
                instance->kill9();
    }
};

QTEST_GUILESS_MAIN(TestStations2Prog)
#include "tst_stations2prog.moc"
