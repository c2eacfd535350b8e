// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/SaveFilter.h"

#include <QMimeDatabase>
#include <QtTest>

#include <stdexcept>

using protocol::SaveAction;

namespace {

const QString kDocx = QStringLiteral("application/vnd.openxmlformats-officedocument.wordprocessingml.document");

} // namespace

class TestSaveFilter : public QObject {
    Q_OBJECT
private slots:
    void dateStamp_padsEveryFieldWithZeros()
    {
        const QDateTime t(QDate(2024, 3, 5), QTime(7, 4, 59));
        QCOMPARE(protocol::DateStampName(t), QStringLiteral("2024-03-05-07-04"));
        QCOMPARE(
            protocol::DateStampName(QDateTime(QDate(987, 12, 31), QTime(23, 59))), QStringLiteral("0987-12-31-23-59"));
    }

    void dateStamp_ofNowIsTheLocalMinute()
    {
        const QDateTime before = QDateTime::currentDateTime();
        const QString name = protocol::DateStampName();
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY2(name == protocol::DateStampName(before) || name == protocol::DateStampName(after), qPrintable(name));
        QVERIFY(!name.contains(QLatin1Char(' ')));
    }

    void filter_asksHtmlTextWordExcelInThatOrder()
    {
        QStringList asked;
        const QString filter = protocol::SaveDialogFilter([&](const QString& mime, const QString&) {
            asked << mime;
            return QStringLiteral("D(%1)").arg(mime.section(QLatin1Char('/'), 0, 0));
        });
        QCOMPARE(asked, QStringList({ "text/html", "text/plain", kDocx, "text/csv" }));
        QCOMPARE(filter,
            QStringLiteral("D(text) (*.csv)|*.csv|D(application) (*.docx)|*.docx|D(text) (*.html)|*.html|"
                           "D(text) (*.txt)|*.txt"));
    }

    void filter_usesFallbacksWhereNothingIsKnown()
    {
        const QString filter
            = protocol::SaveDialogFilter([](const QString&, const QString& fallback) { return fallback; });
        QCOMPARE(filter,
            QStringLiteral("MS Excel (*.csv)|*.csv|MS Word (*.docx)|*.docx|Webseite (*.html)|*.html|"
                           "Textdatei (*.txt)|*.txt"));
    }

    void filter_keepsFallbacksAfterABrokenLookup()
    {
        // The lookup breaks at the third type (Word): html and text keep what
        // was found, Word and Excel their fallbacks.
        int calls = 0;
        const QString filter = protocol::SaveDialogFilter([&](const QString& mime, const QString&) -> QString {
            if (++calls == 3)
                throw std::runtime_error("type database gone");
            return mime == QLatin1String("text/html") ? QStringLiteral("HTML") : QStringLiteral("Text");
        });
        QCOMPARE(calls, 3);
        QCOMPARE(filter,
            QStringLiteral("MS Excel (*.csv)|*.csv|MS Word (*.docx)|*.docx|HTML (*.html)|*.html|"
                           "Text (*.txt)|*.txt"));
    }

    void filter_ofTheDesktopNamesTheFourTypes()
    {
        const QString filter = protocol::SaveDialogFilter();
        const QStringList parts = filter.split(QLatin1Char('|'));
        QCOMPARE(parts.size(), 8);
        QCOMPARE(parts[1], QStringLiteral("*.csv"));
        QCOMPARE(parts[3], QStringLiteral("*.docx"));
        QCOMPARE(parts[5], QStringLiteral("*.html"));
        QCOMPARE(parts[7], QStringLiteral("*.txt"));
        const QMimeType html = QMimeDatabase().mimeTypeForName(QStringLiteral("text/html"));
        const QString expected
            = html.isValid() && !html.comment().isEmpty() ? html.comment() : QStringLiteral("Webseite");
        QCOMPARE(parts[4], expected + QStringLiteral(" (*.html)"));
    }

    void filterIndex_choosesTheWriter()
    {
        QCOMPARE(protocol::SaveActionForFilterIndex(1), SaveAction::Csv);
        QCOMPARE(protocol::SaveActionForFilterIndex(2), SaveAction::Word);
        QCOMPARE(protocol::SaveActionForFilterIndex(3), SaveAction::Page);
        QCOMPARE(protocol::SaveActionForFilterIndex(4), SaveAction::Text);
        QCOMPARE(protocol::SaveActionForFilterIndex(0), SaveAction::Text);
        QCOMPARE(protocol::SaveActionForFilterIndex(17), SaveAction::Text);
    }
};

QTEST_GUILESS_MAIN(TestSaveFilter)
#include "tst_protocolfiles_savefilter.moc"
