#include "app/SettingsRanges.h"
#include "app/WindowPlacement.h"

#include <QtTest>

using windowplacement::Place;
using windowplacement::Reachable;
using windowplacement::ScreenSet;

class TestSettingsRanges : public QObject {
    Q_OBJECT
private slots:
    void integers_keepTheirRange_andTakeTheirDefaultOutsideIt()
    {
        using namespace settingsranges;
        for (int v : { 0, 1, 16, 255 })
            QCOMPARE(Port(v), v);
        for (int v : { -1, 256, 300 }) // 300 cut to 8 bits would name COM44
            QCOMPARE(Port(v), 0);
        QCOMPARE(Algorithm(0), 0);
        QCOMPARE(Algorithm(1), 1);
        QCOMPARE(Algorithm(-1), 0);
        QCOMPARE(Algorithm(7), 0);
        for (int v : { 0, 1, 2 })
            QCOMPARE(Accuracy(v), v);
        QCOMPARE(Accuracy(-1), 2);
        QCOMPARE(Accuracy(5), 2);
        QCOMPARE(FilterIndex(1), 1);
        QCOMPARE(FilterIndex(4), 4);
        QCOMPARE(FilterIndex(0), 2);
        QCOMPARE(FilterIndex(5), 2);
        QCOMPARE(StartLockout(1000), 1000);
        QCOMPARE(StartLockout(600000), 600000);
        QCOMPARE(StartLockout(2740), 2740);
        for (int v : { 999, 0, -5, 600001, INT_MAX, INT_MIN })
            QCOMPARE(StartLockout(v), 3000);
    }

    void colours_arePlainColoursOrKnownSystemColours()
    {
        using settingsranges::Color;
        QCOMPARE(Color(0, clLime), clBlack);
        QCOMPARE(Color(0x00FFFFFF, clLime), clWhite);
        QCOMPARE(Color(int(clBtnFace), clLime), clBtnFace);
        QCOMPARE(Color(int(clMenuBar), clLime), clMenuBar);
        QCOMPARE(Color(int(kSystemColorFlag | 31), clLime), clLime); // no such system colour
        QCOMPARE(Color(0x01000000, clLime), clLime);
        QCOMPARE(Color(-1, clYellow), clYellow);
        QCOMPARE(Color(int(clNone), clYellow), clYellow);
    }

    void reachable_needs100By100PixelsOnOneScreen()
    {
        const ScreenSet two { QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024) };
        QVERIFY(Reachable(QRect(100, 100, 792, 460), two));
        QVERIFY(Reachable(QRect(1820, 980, 792, 460), two)); // exactly 100 x 100 on the first
        QVERIFY(!Reachable(QRect(1821, 980, 792, 460), { two[0] }));
        QVERIFY(!Reachable(QRect(-693, 500, 792, 460), two)); // 99 wide, but ...
        QVERIFY(Reachable(QRect(-692, 500, 792, 460), two)); // ... one more is enough
        QVERIFY(!Reachable(QRect(3300, 0, 792, 460), two)); // right of both
        QVERIFY(Reachable(QRect(3100, 0, 792, 460), two)); // on the second
        // Half on each screen, at most 99 pixels on either: not enough on one.
        QVERIFY(!Reachable(QRect(1821, 0, 198, 460), two));
        QVERIFY(!Reachable(QRect(0, 0, 792, 460), {}));
    }

    void place_keepsAReachablePlace_andCentresAnyOtherOnThePrimary()
    {
        const QSize minimum(792, 460);
        const ScreenSet screens { QRect(0, 28, 1920, 1052), QRect(-1280, 0, 1280, 1024) };
        const QRect onSecond(-1000, 200, 900, 600);
        QCOMPARE(Place(onSecond, screens, minimum), onSecond);

        // The monitor on the right was unplugged.
        const QRect gone(2500, 300, 900, 600);
        const QRect centred = Place(gone, screens, minimum);
        QCOMPARE(centred.size(), gone.size());
        QCOMPARE(centred.center(), screens[0].center());
        QVERIFY(Reachable(centred, screens));

        // Larger than the primary screen: shrunk to it, its title bar on it.
        const QRect huge = Place(QRect(-5000, -5000, 3000, 2000), screens, minimum);
        QCOMPARE(huge, screens[0]);
        // A screen smaller than the window's minimum: the minimum stands, the
        // top-left corner stays on the screen.
        const ScreenSet small { QRect(0, 0, 640, 400) };
        QCOMPARE(Place(QRect(4000, 0, 900, 600), small, minimum), QRect(0, 0, 792, 460));

        // Without any screen known the stored place stands.
        QCOMPARE(Place(gone, {}, minimum), gone);
    }
};

QTEST_GUILESS_MAIN(TestSettingsRanges)
#include "tst_settingsranges.moc"
