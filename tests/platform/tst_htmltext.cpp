// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/HtmlText.h"

#include <QtTest>

using platform::EscapeHtml;
using platform::HtmlQuotes;

class TestHtmlText : public QObject {
    Q_OBJECT
private slots:
    void escapesWhatEachPlaceNeeds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("none");
        QTest::addColumn<QString>("doubleQuote");
        QTest::addColumn<QString>("both");
        QTest::newRow("plain") << "Müller, Anna"
                               << "Müller, Anna"
                               << "Müller, Anna"
                               << "Müller, Anna";
        QTest::newRow("markup") << "<b>&amp;</b>"
                                << "&lt;b&gt;&amp;amp;&lt;/b&gt;"
                                << "&lt;b&gt;&amp;amp;&lt;/b&gt;"
                                << "&lt;b&gt;&amp;amp;&lt;/b&gt;";
        QTest::newRow("quotes") << "O'Neil \"Jo\""
                                << "O'Neil \"Jo\""
                                << "O'Neil &quot;Jo&quot;"
                                << "O&#39;Neil &quot;Jo&quot;";
        QTest::newRow("script") << "\"><script>alert('x')</script>"
                                << "\"&gt;&lt;script&gt;alert('x')&lt;/script&gt;"
                                << "&quot;&gt;&lt;script&gt;alert('x')&lt;/script&gt;"
                                << "&quot;&gt;&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "";
    }

    void escapesWhatEachPlaceNeeds()
    {
        QFETCH(QString, text);
        QFETCH(QString, none);
        QFETCH(QString, doubleQuote);
        QFETCH(QString, both);
        QCOMPARE(EscapeHtml(text, HtmlQuotes::None), none);
        QCOMPARE(EscapeHtml(text, HtmlQuotes::Double), doubleQuote);
        QCOMPARE(EscapeHtml(text, HtmlQuotes::Both), both);
    }
};

QTEST_GUILESS_MAIN(TestHtmlText)
#include "tst_htmltext.moc"
