// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MainWindowFixture.h"

#include "app/Application.h"
#include "app/Printing.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QToolButton>

// "Protokoll drucken" through a real print queue: CTest's fixture starts a
// private CUPS server whose default printer writes PDF files.
class TestMainPrint : public QObject {
    Q_OBJECT
private slots:
    void printButton_putsTheResultsIntoThePrintQueue()
    {
        const QString cupsDir = qEnvironmentVariable("RENNZEIT_CUPS_DIR");
        if (cupsDir.isEmpty())
            QSKIP("run through ctest: its fixture starts the private print server");
        QFile unavailable(cupsDir + QStringLiteral("/unavailable"));
        if (unavailable.open(QIODevice::ReadOnly))
            QSKIP(qPrintable(QStringLiteral("no private print server: ") + QString::fromUtf8(unavailable.readAll())));
        ClearSettingsStore();
        MainWindowFixture f;
        platform::SetShell(nullptr); // the real shell: print on the default printer
        platform::SetPrinterPresence(&SystemPrinterPresence()); // and the real printer list
        TFormMain* w = f.w();
        f.grid()->SetCells(0, 1, QStringLiteral("5"));
        f.grid()->SetCells(1, 1, QStringLiteral("Zielinski"));
        f.start();
        // The private queue is a printer: the button follows when the answer
        // from the print server arrives.
        QTRY_VERIFY(w->ui.sbPrint->isEnabled());
        const QDir pdfDir(cupsDir + QStringLiteral("/pdf"));
        // The queue names its files after the job's title, so a test run
        // again writes over the file of the run before: a file is new when
        // its name or its time is.
        const auto printed = [&pdfDir] {
            QHash<QString, QDateTime> files;
            for (const QFileInfo& file : pdfDir.entryInfoList({ QStringLiteral("*.pdf") }, QDir::Files))
                files.insert(file.fileName(), file.lastModified());
            return files;
        };
        const QHash<QString, QDateTime> before = printed();
        w->ui.sbPrint->click();
        QString pdf;
        for (int i = 0; i < 300 && pdf.isEmpty(); ++i) {
            QTest::qWait(100);
            const QHash<QString, QDateTime> now = printed();
            for (auto file = now.cbegin(); file != now.cend(); ++file)
                if (before.value(file.key()) != file.value() && QFileInfo(pdfDir.filePath(file.key())).size() > 0)
                    pdf = pdfDir.filePath(file.key());
        }
        QVERIFY2(!pdf.isEmpty(), "no PDF appeared in the queue's output folder");
        // The queue may still be writing the file: it is done once its last
        // page reads.
        const auto printedText = [&pdf] {
            QProcess p;
            p.start(QStringLiteral("pdftotext"),
                { QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-") });
            return p.waitForFinished(60000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput())
                                                                 : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(printedText().contains(QStringLiteral("Seite 1 von 1")), 60000);
        const QString text = printedText();
        QVERIFY2(text.contains(QStringLiteral("Ergebnisse")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Zielinski")), qPrintable(text));
        QVERIFY(QFile::exists(platform::OutputFolder() + QLatin1Char('/') + w->files.title + QStringLiteral(".html")));
    }
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestMainPrint test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainprint.moc"
