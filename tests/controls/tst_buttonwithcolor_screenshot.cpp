// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Shows the race buttons in each of their colours and the header buttons on
// the dark header bar, and saves a picture of them when
// RENNZEIT_SCREENSHOT_DIR names a folder.

#define QTEST_QPA_MOUSE_HANDLING

#include "controls/ButtonGlyphs.h"
#include "controls/ButtonWithColor.h"
#include "controls/LbSpeedButton.h"

#include <QDir>
#include <QLabel>
#include <QTest>

namespace {

QFont CaptionFont(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

void SetBackground(QWidget* widget, TColor color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

class TestButtonScreenshot : public QObject {
    Q_OBJECT

private slots:
    void raceAndHeaderButtons_lookRight();
};

void TestButtonScreenshot::raceAndHeaderButtons_lookRight()
{
    QWidget window;
    window.resize(760, 200);
    SetBackground(&window, clBtnShadow);

    // The header bar with the three flat glyph buttons.
    QWidget header(&window);
    header.setGeometry(0, 0, 760, 38);
    SetBackground(&header, clBtnShadow);
    struct HeaderButton {
        HeaderGlyphKind kind;
        int left;
        const char* hint;
    };
    const HeaderButton headerButtons[] = { { HeaderGlyphKind::Help, 9, "Hilfe (F1)" },
        { HeaderGlyphKind::Settings, 51, "Einstellungen (F2)" }, { HeaderGlyphKind::Info, 97, "Info (F3)" } };
    QList<TLbSpeedButton*> headerList;
    for (const HeaderButton& b : headerButtons) {
        auto* button = new TLbSpeedButton(&header);
        button->setGeometry(b.left, 0, 38, 40);
        button->SetFlat(true);
        button->SetGlyph(HeaderGlyph(b.kind));
        button->setToolTip(QString::fromUtf8(b.hint));
        headerList << button;
    }

    // The sky-blue race panel with the coloured command buttons.
    QWidget panel(&window);
    panel.setGeometry(0, 40, 760, 160);
    SetBackground(&panel, clSkyBlue);
    struct RaceButton {
        const char* caption;
        TColor color;
        bool enabled;
        TColor fontColor;
        int pixelSize;
        QSize size;
    };
    const RaceButton raceButtons[] = {
        { "START", 0x008000, true, clWhite, 24, QSize(95, 42) },
        { "STOPP", 0x0000FF, true, clWhite, 24, QSize(95, 42) },
        { "STOPP", clBtnFace, false, clWhite, 24, QSize(95, 42) },
        { "ENDE", 0xFF0000, true, clWhite, 24, QSize(95, 42) },
        { "F.Stopp", 0x000090, true, clYellow, 19, QSize(107, 30) },
        { "00:00", 0x000000, true, clWhite, 24, QSize(95, 42) },
    };
    int left = 8;
    QList<TBitBtnWithColor*> raceList;
    for (const RaceButton& b : raceButtons) {
        auto* button = new TBitBtnWithColor(&panel);
        button->setGeometry(left, 20, b.size.width(), b.size.height());
        button->SetCaption(QString::fromUtf8(b.caption));
        button->setFont(CaptionFont(b.pixelSize));
        button->SetFontColor(b.fontColor);
        button->SetColor(b.color);
        button->setEnabled(b.enabled);
        button->setFocusPolicy(Qt::NoFocus);
        left += b.size.width() + 8;
        raceList << button;
    }
    // START has the focus, as after a reset.
    raceList[0]->setFocusPolicy(Qt::StrongFocus);

    // The second row: a pressed START, a hovered and a disabled header button.
    auto* pressed = new TBitBtnWithColor(&panel);
    pressed->setGeometry(8, 90, 95, 42);
    pressed->SetCaption(QStringLiteral("START"));
    pressed->setFont(CaptionFont(24));
    pressed->SetFontColor(clWhite);
    pressed->SetColor(0x008000);
    pressed->setFocusPolicy(Qt::NoFocus);
    auto* label = new QLabel(QStringLiteral("gedrückt; Kopfleiste: normal, Maus darüber, gesperrt"), &panel);
    label->move(110, 104);
    QWidget bar(&panel);
    bar.setGeometry(470, 92, 150, 40);
    SetBackground(&bar, clBtnShadow);
    QList<TLbSpeedButton*> states;
    for (int i = 0; i < 3; ++i) {
        auto* button = new TLbSpeedButton(&bar);
        button->setGeometry(4 + 44 * i, 0, 38, 40);
        button->SetFlat(true);
        button->SetGlyph(HeaderGlyph(HeaderGlyphKind::Settings));
        states << button;
    }
    states[2]->setEnabled(false);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    raceList[0]->setFocus();
    QTest::mouseMove(states[1], QPoint(19, 20));
    QTRY_VERIFY(states[1]->Hot());
    // Held down as if by the mouse, which is busy hovering.
    pressed->setDown(true);

    const QImage shot = window.grab().toImage();

    // The picture must show what it claims: green START, blue ENDE, the
    // disabled button in the face colour, a frame around the hovered one.
    const auto at = [&](QWidget* w, QPoint p) { return shot.pixelColor(w->mapTo(&window, p)); };
    QCOMPARE(at(raceList[0], QPoint(8, 8)), QColor(0x00, 0x80, 0x00));
    QCOMPARE(at(raceList[3], QPoint(8, 8)), QColor(0x00, 0x00, 0xFF));
    QCOMPARE(at(raceList[2], QPoint(8, 8)), ToQColor(clBtnFace));
    QCOMPARE(at(states[1], QPoint(0, 20)), ToQColor(clWhite));
    QCOMPARE(at(states[0], QPoint(0, 20)), ToQColor(clBtnShadow));

    const QByteArray dir = qgetenv("RENNZEIT_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        QVERIFY(shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("buttons.png"))));
    }
}

QTEST_MAIN(TestButtonScreenshot)
#include "tst_buttonwithcolor_screenshot.moc"
