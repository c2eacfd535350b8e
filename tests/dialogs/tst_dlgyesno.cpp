// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/DlgYesNo.h"

#include "controls/Dialogs.h"
#include "platform/AppInfo.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>

namespace {

// Answers the next modal show by acting on the visible dialog like a user.
void answerWith(std::function<void(TFDlgYesNo*)> act)
{
    dialogs::SetDialogHandler([act](QDialog* dialog) {
        auto* d = static_cast<TFDlgYesNo*>(dialog);
        d->show();
        d->activateWindow();
        if (!QTest::qWaitForWindowActive(d))
            return -1;
        act(d);
        return d->isVisible() ? -1 : d->result();
    });
}

void pressEnterOnFocus(TFDlgYesNo* d)
{
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
}

} // namespace

class TestDlgYesNo : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { dialogs::SetDialogHandler({}); }

    void window_isTheSmallFixedQuestion()
    {
        TFDlgYesNo d;
        QCOMPARE(d.size(), QSize(222, 94));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QVERIFY(d.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(d.windowTitle(), platform::ApplicationTitle());
        QCOMPARE(d.Label1->text(), QStringLiteral("?"));
        QCOMPARE(d.Label1->geometry(), QRect(40, 6, 169, 49));
        QCOMPARE(d.Label1->alignment(), Qt::AlignCenter);
        QVERIFY(d.Label1->wordWrap());
        QCOMPARE(d.OKBtn->text(), QStringLiteral("Ja"));
        QCOMPARE(d.OKBtn->geometry(), QRect(39, 60, 75, 25));
        QCOMPARE(d.CancelBtn->text(), QStringLiteral("Nein"));
        QCOMPARE(d.CancelBtn->geometry(), QRect(135, 60, 75, 25));
        QCOMPARE(d.OKBtn->nextInFocusChain(), d.CancelBtn);

        QCOMPARE(d.Icon->geometry(), QRect(4, 14, 32, 32));
        const QImage icon = d.Icon->pixmap().toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QCOMPARE(qAlpha(icon.pixel(31, 31)), 0); // transparent ground
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
        int blue = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QColor c = icon.pixelColor(x, y);
                blue += c.alpha() == 255 && c.blue() > 150 && c.red() < 80 && c.green() < 80;
            }
        QVERIFY2(blue > 20, qPrintable(QString::number(blue))); // the question mark
        QCOMPARE(icon.pixelColor(6, 12), QColor(255, 255, 225)); // the bubble
    }

    void yesButton_answers6_andTheOthersAnswer2_whateverTheCaptions()
    {
        TFDlgYesNo d;
        d.Label1->setText(QStringLiteral("Protokoll wird gelöscht!"));
        answerWith([](TFDlgYesNo* dlg) { QTest::mouseClick(dlg->OKBtn, Qt::LeftButton); });
        QCOMPARE(d.ShowModal(), 6);
        answerWith([](TFDlgYesNo* dlg) { QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton); });
        QCOMPARE(d.ShowModal(), 2);

        d.SetButtonCaptions(QStringLiteral("OK"), QStringLiteral("Abbrechen"));
        QCOMPARE(d.OKBtn->text(), QStringLiteral("OK"));
        QCOMPARE(d.CancelBtn->text(), QStringLiteral("Abbrechen"));
        d.SetActiveControl(d.OKBtn);
        answerWith([](TFDlgYesNo* dlg) { QTest::keyClick(dlg, Qt::Key_Escape); });
        QCOMPARE(d.ShowModal(), 2);
        answerWith([](TFDlgYesNo* dlg) { dlg->close(); });
        QCOMPARE(d.ShowModal(), 2);
        answerWith(pressEnterOnFocus);
        QCOMPARE(d.ShowModal(), 6);
    }

    void realModalLoop_endsWithTheButtonsResult()
    {
        TFDlgYesNo d;
        QTimer::singleShot(0, &d, [&d] { d.CancelBtn->click(); });
        QCOMPARE(d.ShowModal(), 2);
        QTimer::singleShot(0, &d, [&d] { d.OKBtn->click(); });
        QCOMPARE(d.ShowModal(), 6);
    }

    void messageCaptionsAndActiveControl_persistBetweenShowings()
    {
        QWidget main;
        main.setGeometry(200, 150, 800, 600);
        main.show();
        TFDlgYesNo d(&main);

        // The reset question: Enter answers no, captions restored afterwards.
        d.Label1->setText(QStringLiteral("Protokoll wird gelöscht!"));
        d.SetActiveControl(d.CancelBtn);
        d.SetButtonCaptions(QStringLiteral("OK"), QStringLiteral("Abbrechen"));
        QString shownCaption;
        answerWith([&](TFDlgYesNo* dlg) {
            shownCaption = dlg->OKBtn->text();
            pressEnterOnFocus(dlg);
        });
        QCOMPARE(d.ShowModal(), 2);
        QCOMPARE(shownCaption, QStringLiteral("OK"));
        d.SetButtonCaptions(QStringLiteral("Ja"), QStringLiteral("Nein"));

        // The exit question later: its own message, the captions as they stand
        // and still the no button in front.
        d.Label1->setText(QStringLiteral("Beenden?"));
        QString shownMessage;
        answerWith([&](TFDlgYesNo* dlg) {
            shownMessage = dlg->Label1->text();
            shownCaption = dlg->CancelBtn->text();
            pressEnterOnFocus(dlg);
        });
        QCOMPARE(d.ShowModal(), 2);
        QCOMPARE(shownMessage, QStringLiteral("Beenden?"));
        QCOMPARE(shownCaption, QStringLiteral("Nein"));
        QCOMPARE(d.ActiveControl(), d.CancelBtn);

        // Once the focus moves, the new control stays in front.
        answerWith([](TFDlgYesNo* dlg) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            dlg->setProperty("focusAfterTab", QVariant::fromValue<QObject*>(QApplication::focusWidget()));
            dlg->hide();
        });
        d.ShowModal();
        QCOMPARE(d.property("focusAfterTab").value<QObject*>(), d.OKBtn);
        answerWith(pressEnterOnFocus);
        QCOMPARE(d.ShowModal(), 6);
    }

    void dialog_isCentredOnTheMainWindow()
    {
        QWidget main;
        main.setGeometry(200, 150, 800, 600);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        TFDlgYesNo d(&main);
        QPoint centre;
        answerWith([&](TFDlgYesNo* dlg) {
            centre = dlg->geometry().center();
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        d.ShowModal();
        QVERIFY2((centre - main.geometry().center()).manhattanLength() <= 4,
            qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
    }

    void longMessage_wrapsInsideTheFixedLabel()
    {
        TFDlgYesNo d;
        d.Label1->setText(QStringLiteral("Das Protokoll enthält ungesicherte Änderungen. Wirklich beenden?"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.Label1->geometry(), QRect(40, 6, 169, 49));
        QVERIFY(d.Label1->heightForWidth(169) > QFontMetrics(d.Label1->font()).height());
        QVERIFY(QFontMetrics(d.Label1->font()).horizontalAdvance(d.Label1->text()) > 169);

        const QByteArray dir = qgetenv("RENNZEIT_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(dir));
            QVERIFY(d.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("dlgyesno.png"))));
        }
    }
};

QTEST_MAIN(TestDlgYesNo)
#include "tst_dlgyesno.moc"
