// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/DigitShapes.h"
#include "controls/Udigit.h"

#include <QtTest>

namespace {

constexpr TColor kRed = 0x0000FF; // 0x00BBGGRR
constexpr TColor kBlue = 0xFF0000;

// Centre pixels of the eight shapes of a 45 x 89 digit (t 5, s 1), in mask bit order.
const QPoint kCentres[8]
    = { { 22, 5 }, { 22, 44 }, { 22, 83 }, { 5, 25 }, { 39, 25 }, { 5, 64 }, { 39, 64 }, { 42, 86 } };

QVector<QPoint> points(const DigitPolygon& p)
{
    return QVector<QPoint>(p.points.begin(), p.points.begin() + p.count);
}

QVector<QPoint> pts(std::initializer_list<QPoint> list)
{
    return QVector<QPoint>(list);
}

void makeMainWindowDigit(TDigit& d)
{
    d.resize(45, 89);
    d.SetThickness(5);
    d.SetSeparation(1);
}

// Which of the eight shapes show ColorOn in a rendering of the digit.
QString litShapes(TDigit& d)
{
    const QImage image = d.grab().toImage();
    QString lit;
    for (int i = 0; i < 8; ++i) {
        const QColor c = image.pixelColor(kCentres[i]);
        lit += c == ToQColor(d.ColorOn()) ? QLatin1Char('1')
            : c == ToQColor(d.ColorOff()) ? QLatin1Char('0')
                                          : QLatin1Char('?');
    }
    return lit;
}

} // namespace

class TestDigit : public QObject {
    Q_OBJECT
private slots:
    void shapes_matchTheWorkedExampleOfTheMainWindowDigit()
    {
        const DigitOutlines s = DigitShapes(45, 89, 5, 1);
        QCOMPARE(points(s[0]), pts({ { 6, 5 }, { 11, 0 }, { 33, 0 }, { 38, 5 }, { 33, 10 }, { 11, 10 } }));
        QCOMPARE(points(s[1]), pts({ { 6, 44 }, { 11, 39 }, { 33, 39 }, { 38, 44 }, { 33, 49 }, { 11, 49 } }));
        QCOMPARE(points(s[2]), pts({ { 6, 83 }, { 11, 78 }, { 33, 78 }, { 38, 83 }, { 33, 88 }, { 11, 88 } }));
        QCOMPARE(points(s[3]), pts({ { 0, 11 }, { 5, 6 }, { 10, 11 }, { 10, 38 }, { 5, 43 }, { 0, 38 } }));
        QCOMPARE(points(s[4]), pts({ { 34, 11 }, { 39, 6 }, { 44, 11 }, { 44, 38 }, { 39, 43 }, { 34, 38 } }));
        QCOMPARE(points(s[5]), pts({ { 0, 50 }, { 5, 45 }, { 10, 50 }, { 10, 77 }, { 5, 82 }, { 0, 77 } }));
        QCOMPARE(points(s[6]), pts({ { 34, 50 }, { 39, 45 }, { 44, 50 }, { 44, 77 }, { 39, 82 }, { 34, 77 } }));
        QCOMPARE(points(s[7]), pts({ { 44, 88 }, { 35, 88 }, { 44, 79 } }));
    }

    void shapes_ofTheInitialDigit_haveTheSmallTopSegment()
    {
        TDigit d;
        const DigitOutlines s = DigitShapes(d.width(), d.height(), d.Thickness(), d.Separation());
        QCOMPARE(points(s[0]), pts({ { 3, 2 }, { 5, 0 }, { 10, 0 }, { 12, 2 }, { 10, 4 }, { 5, 4 } }));

        // Drawn after a large digit with the same pattern and colours: its own picture.
        TDigit large;
        makeMainWindowDigit(large);
        QCOMPARE(large.grab().size(), QSize(45, 89));
        const QImage image = d.grab().toImage();
        QCOMPARE(image.size(), QSize(16, 32));
        QCOMPARE(image.pixelColor(7, 2), QColor(255, 255, 0)); // top, lit
        QCOMPARE(image.pixelColor(7, 15), QColor(0, 0, 0)); // middle, unlit
        QCOMPARE(image.pixelColor(5, 0), QColor(0, 0, 0)); // top outline
    }

    void constructor_setsTheInitialProperties()
    {
        TDigit d;
        QCOMPARE(d.Value(), 0);
        QCOMPARE(int(d.ValueBinary()), 0x7D);
        QCOMPARE(d.ColorOn(), clYellow);
        QCOMPARE(d.ColorOff(), clBlack);
        QCOMPARE(d.Color(), clBlack);
        QCOMPARE(d.size(), QSize(16, 32));
        QCOMPARE(d.Thickness(), 2);
        QCOMPARE(d.Separation(), 1);
        QVERIFY(!d.OnOverflow);
        QVERIFY(d.testAttribute(Qt::WA_OpaquePaintEvent));
    }

    void valueOutOfRange_stores0_showsThe0Pattern_andFiresOverflowOnce()
    {
        TDigit d;
        int overflows = 0;
        QObject* sender = nullptr;
        d.OnOverflow = [&](QObject* s) {
            ++overflows;
            sender = s;
        };
        d.SetValue(5);
        d.SetValue(10);
        QCOMPARE(d.Value(), 0);
        QCOMPARE(int(d.ValueBinary()), 0x7D);
        QCOMPARE(overflows, 1);
        QCOMPARE(sender, &d);
        d.SetValue(8);
        d.SetValue(-1);
        QCOMPARE(d.Value(), 0);
        QCOMPARE(int(d.ValueBinary()), 0x7D);
        QCOMPARE(overflows, 2);
        d.SetValue(9);
        QCOMPARE(overflows, 2);
    }

    void overflowWithoutHandler_isHarmless()
    {
        TDigit d;
        d.SetValue(3);
        d.SetValue(123456);
        QCOMPARE(d.Value(), 0);
    }

    void writingTheCurrentValue_keepsADirectlyWrittenPattern()
    {
        TDigit d;
        makeMainWindowDigit(d);
        d.SetValue(4);
        d.SetValueBinary(0x80);
        d.SetValue(4);
        QCOMPARE(int(d.ValueBinary()), 0x80);
        QCOMPARE(litShapes(d), QStringLiteral("00000001"));
        d.SetValue(7);
        QCOMPARE(int(d.ValueBinary()), 0x51);
    }

    void everyDigit_lightsItsSegments()
    {
        // Order: top, middle, bottom, upper left, upper right, lower left, lower right, point.
        const char* expected[10] = { "10111110", "00001010", "11101100", "11101010", "01011010", "11110010", "11110110",
            "10001010", "11111110", "11111010" };
        TDigit d;
        makeMainWindowDigit(d);
        for (int v = 0; v <= 9; ++v) {
            d.SetValue(v);
            QCOMPARE(litShapes(d), QString::fromLatin1(expected[v]));
        }
        d.SetValueBinary(0xFF);
        QCOMPARE(litShapes(d), QStringLiteral("11111111"));
    }

    void rendering_usesOnOffAndBackgroundColours()
    {
        TDigit d;
        makeMainWindowDigit(d);
        d.SetColor(kRed);
        d.SetColorOff(TColor(0x404040));
        d.SetColorOn(kBlue);
        d.SetValue(1);
        const QImage image = d.grab().toImage();
        QCOMPARE(image.size(), QSize(45, 89));
        QCOMPARE(image.pixelColor(39, 25), QColor(0, 0, 255)); // upper right, lit
        QCOMPARE(image.pixelColor(22, 5), QColor(64, 64, 64)); // top, unlit
        QCOMPARE(image.pixelColor(11, 0), QColor(255, 0, 0)); // top outline
        QCOMPARE(image.pixelColor(34, 30), QColor(255, 0, 0)); // upper right outline
        QCOMPARE(image.pixelColor(2, 2), QColor(255, 0, 0)); // corner between segments
        QCOMPARE(image.pixelColor(22, 20), QColor(255, 0, 0)); // inside the upper loop
        QCOMPARE(image.pixelColor(44, 88), QColor(255, 0, 0)); // point's corner is outline
        QCOMPARE(image.pixelColor(42, 86), QColor(64, 64, 64)); // point, unlit
    }

    void thickness_isCheckedAgainstTheCurrentSizeOnly()
    {
        TDigit d;
        makeMainWindowDigit(d);
        d.SetThickness(40);
        QCOMPARE(d.Thickness(), 5);
        d.SetThickness(23);
        QCOMPARE(d.Thickness(), 5);
        d.SetThickness(22);
        QCOMPARE(d.Thickness(), 22);
        d.SetThickness(0);
        QCOMPARE(d.Thickness(), 0);
        d.SetThickness(22);
        d.resize(16, 32);
        QCOMPARE(d.Thickness(), 22);
        d.SetSeparation(-3);
        QCOMPARE(d.Separation(), -3);
    }

    void setters_redrawAtOnce_andOnlyWhenSomethingChanged()
    {
        QWidget window;
        window.resize(100, 100);
        TDigit d(&window);
        makeMainWindowDigit(d);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();

        const int before = d.PaintCount();
        d.SetValue(0);
        d.SetValueBinary(0x7D);
        d.SetColorOn(clYellow);
        d.SetColorOff(clBlack);
        QCOMPARE(d.PaintCount(), before);

        // No event processing in between: each change is painted before the setter returns.
        d.SetValue(3);
        QCOMPARE(d.PaintCount(), before + 1);
        d.SetValue(3);
        QCOMPARE(d.PaintCount(), before + 1);
        d.SetColorOn(TColor(0x404040));
        QCOMPARE(d.PaintCount(), before + 2);
        d.SetColorOff(TColor(0x404040));
        QCOMPARE(d.PaintCount(), before + 3);
        d.SetValueBinary(0x80);
        QCOMPARE(d.PaintCount(), before + 4);
        d.SetValue(3);
        QCOMPARE(d.PaintCount(), before + 4);
    }
};

QTEST_MAIN(TestDigit)
#include "tst_digit.moc"
