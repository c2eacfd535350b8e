// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/TextCodec.h"
#include "support/FakeTick.h"

#include <QtTest>

#include <ctime>

class TestTextCodec : public QObject {
    Q_OBJECT
private slots:
    void validUtf8_isDecodedAsUtf8_andBomDropped()
    {
        QCOMPARE(platform::DecodeText("\xEF\xBB\xBF"
                                      "M\xC3\xBCller"),
            QStringLiteral("Müller"));
    }
    void invalidUtf8_isDecodedAsWindows1252()
    {
        // 0xFC u-umlaut, 0x80 euro sign, 0x96 en dash: bytes of an old start list.
        QCOMPARE(platform::DecodeText("M\xFCller \x80 \x96"), QStringLiteral("Müller € –"));
    }
    void unassignedWindows1252Bytes_areKept()
    {
        QCOMPARE(platform::DecodeText("a\x81"
                                      "b\xFC"),
            QString(QStringLiteral("a") + QChar(0x81) + QStringLiteral("bü")));
    }
    void latin1Encoding_usesReferencesOutsideLatin1()
    {
        QCOMPARE(platform::EncodeLatin1WithReferences(QStringLiteral("Jürg € \U0001F600")),
            QByteArray("J\xFCrg &#8364; &#128512;"));
    }
    void tickDifference_staysRightAcrossTheWrap()
    {
        QCOMPARE(platform::TickDiff(-2147483647 - 1 + 500, 2147483647 - 499), 1000);
        QCOMPARE(platform::TickDiff(100, 300), -200);
        platform::FakeTickSource fake(2147483000);
        fake.advance(1000);
        QCOMPARE(fake.now(), -2147483296);
    }
    void systemTick_isTheBootClockInMilliseconds()
    {
        // Read between two readings of the boot clock, the tick lies between
        // them (modulo 2^32, as every tick difference is taken).
        const auto bootMs = [] {
            timespec ts {};
            clock_gettime(CLOCK_BOOTTIME, &ts);
            return static_cast<platform::Tick>(static_cast<std::uint32_t>(
                static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u));
        };
        platform::SystemTickSource s;
        const platform::Tick before = bootMs();
        const platform::Tick tick = s.now();
        const platform::Tick after = bootMs();
        QVERIFY(platform::TickDiff(tick, before) >= 0);
        QVERIFY(platform::TickDiff(after, tick) >= 0);
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
