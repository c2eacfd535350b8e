// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The display as the main window builds it: two rows of digits on black with
// dimmed leading zeros, and the spin edit of the settings dialog. Saved as a
// picture when RENNZEIT_SCREENSHOT_DIR names a folder.
#include "controls/FlEdit.h"
#include "controls/Udigit.h"

#include <QDir>
#include <QLabel>
#include <QtTest>

namespace {

const int kLefts[7] = { 8, 88, 136, 216, 264, 344, 392 };
const int kTops[2] = { 11, 136 };

struct Panel {
    QWidget window;
    QWidget* timer;
    TDigit* digits[2][7];
    TSpinFloatEdit* wait;

    Panel()
    {
        window.resize(444, 300);
        window.setAutoFillBackground(true);
        timer = new QWidget(&window);
        timer->setGeometry(0, 0, 444, 241);
        timer->setAutoFillBackground(true);
        QPalette black;
        black.setColor(QPalette::Window, Qt::black);
        black.setColor(QPalette::WindowText, Qt::yellow);
        timer->setPalette(black);
        for (int r = 0; r < 2; ++r) {
            for (int i = 0; i < 7; ++i) {
                auto* d = new TDigit(timer);
                d->setGeometry(kLefts[i], kTops[r], 45, 89);
                d->SetThickness(5);
                d->SetSeparation(1);
                d->SetColorOn(clYellow);
                digits[r][i] = d;
            }
            addSeparator(QStringLiteral(":"), 61, kTops[r]);
            addSeparator(QStringLiteral("."), 192, kTops[r] + 30);
            addSeparator(QStringLiteral(","), 320, kTops[r] + 30);
        }
        auto* caption = new QLabel(QStringLiteral("Start-Sperrzeit:"), &window);
        caption->setGeometry(8, 262, 90, 21);
        wait = new TSpinFloatEdit(&window);
        wait->SetIncrement(0.1L);
        wait->SetDigits(1);
        wait->SetValue(3.0L);
        wait->SetMin(1.0L);
        wait->SetMax(600.0L);
        wait->setGeometry(100, 258, 62, std::max(21, wait->MinHeight()));
        auto* unit = new QLabel(QStringLiteral("Sek."), &window);
        unit->setGeometry(167, 262, 40, 21);
    }

    void addSeparator(const QString& text, int left, int top)
    {
        auto* label = new QLabel(text, timer);
        QFont font(QStringLiteral("Times New Roman"));
        font.setPixelSize(64);
        font.setBold(true);
        label->setFont(font);
        label->setGeometry(left, top, 25, 81);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    // Both rows as the display shows a time: leading zeros dimmed; row 0
    // keeps its seconds and fraction lit.
    void show(int row, int ms, TColor lit)
    {
        const int c = ms / 10, f = c % 100, s = c / 100 % 60, m = c / 6000 % 60, h = c / 360000 % 100;
        const int values[7] = { h % 10, m / 10, m % 10, s / 10, s % 10, f / 10, f % 10 };
        const int sums[7] = { h, h + m / 10, h + m, h + m + s / 10, h + m + s + f, h + m + s + f, h + m + s + f };
        for (int i = 0; i < 7; ++i) {
            digits[row][i]->SetValue(values[i]);
            const bool alwaysLit = row == 0 && i >= 4;
            digits[row][i]->SetColorOn(alwaysLit || sums[i] > 0 ? lit : TColor(0x404040));
        }
    }
};

QColor at(const QImage& image, const TDigit* d, QPoint p)
{
    return image.pixelColor(d->geometry().topLeft() + p);
}

} // namespace

class TestDigitPanel : public QObject {
    Q_OBJECT
private slots:
    void panel_showsLitAndDimmedDigits_andTheSpinEdit()
    {
        Panel panel;
        panel.show(0, 65230, clYellow); // 1.05,23
        panel.show(1, 5230, clLime); // 5,23
        panel.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel.window));
        const QImage image = panel.window.grab().toImage();

        const QPoint top(22, 5), middle(22, 44);
        const QColor yellow(255, 255, 0), lime(0, 255, 0), grey(64, 64, 64), black(0, 0, 0);
        QCOMPARE(at(image, panel.digits[0][0], top), grey); // hours 0, dimmed
        QCOMPARE(at(image, panel.digits[0][1], middle), black); // 0 has no middle segment
        QCOMPARE(at(image, panel.digits[0][2], QPoint(39, 25)), yellow); // minutes 1
        QCOMPARE(at(image, panel.digits[0][3], top), yellow); // tens of seconds 0, lit behind the minute
        QCOMPARE(at(image, panel.digits[1][3], top), grey); // row 1: 5,23 has no tens of seconds
        QCOMPARE(at(image, panel.digits[1][4], top), lime); // 5
        QCOMPARE(at(image, panel.digits[1][6], middle), lime); // 3

        const QRect edit = panel.wait->geometry();
        QCOMPARE(panel.wait->text(), QStringLiteral("3,0"));
        QVERIFY(image.pixelColor(edit.center()) != black);

        const QByteArray dir = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(dir));
            QVERIFY(image.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("digit_panel.png"))));
        }
    }
};

QTEST_MAIN(TestDigitPanel)
#include "tst_digitpanel.moc"
