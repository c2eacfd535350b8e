// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/PdfWords.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <algorithm>

QString PdfPage::LineOf(const PdfWord& word) const
{
    QList<PdfWord> line;
    for (const PdfWord& w : words) {
        if (qAbs(w.box.center().y() - word.box.center().y()) < word.box.height() / 2)
            line << w;
    }
    std::sort(line.begin(), line.end(), [](const PdfWord& a, const PdfWord& b) { return a.box.x() < b.box.x(); });
    QStringList texts;
    for (const PdfWord& w : line)
        texts << w.text;
    return texts.join(QLatin1Char(' '));
}

bool PdfPage::HasLine(const QString& text) const
{
    return std::any_of(words.begin(), words.end(), [&](const PdfWord& w) { return LineOf(w).contains(text); });
}

QList<PdfWord> PdfPage::Find(const QString& text) const
{
    QList<PdfWord> found;
    for (const PdfWord& w : words) {
        if (w.text == text)
            found << w;
    }
    return found;
}

QList<PdfPage> ReadPdfWords(const QString& pdf, QString* error)
{
    const auto failed = [&](const QString& why) {
        if (error)
            *error = why;
        return QList<PdfPage>();
    };
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        return failed(QStringLiteral("pdftotext is missing (Debian package poppler-utils)"));
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
        { QStringLiteral("-bbox"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-") });
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return failed(QStringLiteral("pdftotext could not read %1: %2")
                          .arg(pdf, QString::fromLocal8Bit(p.readAllStandardError())));
    QList<PdfPage> pages;
    QXmlStreamReader xml(p.readAllStandardOutput());
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("page")) {
            pages.append(PdfPage { QSizeF(a.value("width").toDouble(), a.value("height").toDouble()), {} });
        } else if (xml.name() == QLatin1String("word") && !pages.isEmpty()) {
            const QRectF box(QPointF(a.value("xMin").toDouble(), a.value("yMin").toDouble()),
                QPointF(a.value("xMax").toDouble(), a.value("yMax").toDouble()));
            pages.last().words.append(PdfWord { xml.readElementText(), box });
        }
    }
    if (xml.hasError())
        return failed(QStringLiteral("pdftotext gave no readable word list: ") + xml.errorString());
    return pages;
}
