#include "platform/TextCodec.h"
#include "support/FakeTick.h"

#include <QtTest>

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
    void systemTick_advances()
    {
        platform::SystemTickSource s;
        const platform::Tick a = s.now();
        QTest::qWait(30);
        const int d = platform::TickDiff(s.now(), a);
        QVERIFY2(d >= 25 && d < 2000, qPrintable(QString::number(d)));
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
