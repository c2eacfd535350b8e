// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialogs/HelpViewer.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

class TestHelpViewer : public QObject {
    Q_OBJECT
private slots:
    void escape_closesTheHelp_alsoWhenShownAgain()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("rennzeit.hlp"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<h1>Rennzeit</h1><p>Lichtschranken anschlie\xc3\x9f"
                "en</p>");
        f.close();

        THelpViewer viewer;
        viewer.ShowContents(file);
        QVERIFY(QTest::qWaitForWindowActive(&viewer));
        QVERIFY(viewer.ShownText().contains(QStringLiteral("anschließen")));
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus && viewer.isAncestorOf(focus)); // the text has the keys
        QTest::keyClick(focus, Qt::Key_Escape);
        QTRY_VERIFY(!viewer.isVisible());

        viewer.ShowContents(file); // shown again, Esc still closes it
        QVERIFY(QTest::qWaitForWindowActive(&viewer));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!viewer.isVisible());
    }

    void missingFile_isReportedInTheWindow()
    {
        THelpViewer viewer;
        viewer.ShowContents(QStringLiteral("/nonexistent/rennzeit.hlp"));
        QVERIFY(viewer.isVisible());
        QVERIFY(viewer.ShownText().contains(QStringLiteral("nicht gefunden")));
        QCOMPARE(viewer.ShownFile(), QStringLiteral("/nonexistent/rennzeit.hlp"));
    }
};

QTEST_MAIN(TestHelpViewer)
#include "tst_helpviewer.moc"
