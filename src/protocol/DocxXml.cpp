// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/DocxXml.h"

#include "protocol/ExportText.h"
#include "protocol/WordBasic.h"
#include "protocol/XmlText.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <numeric>

namespace docx {

namespace {

// A4 with 2 cm margins, for a document whose section gives no page size.
constexpr int kDefaultTextWidth = 9638;
constexpr int kMinColumnWidth = 144;
// Roughly the width of a character of the template's 10 pt Arial (digits
// are the widest of the usual ones), and the cell's own margins, in twips.
constexpr double kCharTwips = 112;
constexpr double kCellMargins = 2 * 108;

// How wide a column would like to be: its longest line of text.
QList<double> naturalWidths(const QList<QStringList>& rows, int columns)
{
    QList<double> natural(columns, kMinColumnWidth);
    for (const QStringList& row : rows) {
        for (int c = 0; c < columns && c < row.size(); ++c) {
            qsizetype longest = 0;
            for (const QString& line : row[c].split(QRegularExpression(QStringLiteral("[\\n\\r\\v]"))))
                longest = std::max(longest, line.size());
            natural[c] = std::max(natural[c], static_cast<double>(longest) * kCharTwips + kCellMargins);
        }
    }
    return natural;
}

// Twips per column: widths from the texts, the name column taking what is
// left of the text width.
QList<int> columnWidths(const QList<QStringList>& rows, int columns, int textWidth)
{
    const QList<double> natural = naturalWidths(rows, columns);
    const QStringList header = rows.isEmpty() ? QStringList() : rows.first();
    const QList<double> fitted
        = protocol::FitColumns(natural, protocol::FlexibleColumn(header, natural), static_cast<double>(textWidth));
    QList<int> widths;
    for (double w : fitted)
        widths << std::max(kMinColumnWidth, static_cast<int>(w));
    return widths;
}

bool isWordElement(const QXmlStreamReader& xml, QLatin1String name)
{
    return xml.name() == name && xml.namespaceUri() == QLatin1String(kWordNamespace);
}

int twipsAttribute(const QXmlStreamReader& xml, QLatin1String name, int fallback)
{
    bool ok = false;
    const int value = xml.attributes().value(QLatin1String(kWordNamespace), name).toInt(&ok);
    return ok ? value : fallback;
}

void writeRuns(QXmlStreamWriter& w, const QString& text)
{
    QString pending;
    const auto flush = [&]() {
        if (pending.isEmpty())
            return;
        w.writeStartElement(QStringLiteral("w:t"));
        w.writeAttribute(QStringLiteral("xml:space"), QStringLiteral("preserve"));
        // A control character would make the whole document unreadable.
        w.writeCharacters(protocol::XmlSafeText(pending));
        w.writeEndElement();
        pending.clear();
    };
    w.writeStartElement(QStringLiteral("w:r"));
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\t')) {
            flush();
            w.writeEmptyElement(QStringLiteral("w:tab"));
        } else if (ch == QLatin1Char('\v') || ch == QLatin1Char('\n') || ch == QLatin1Char('\r')) {
            flush();
            w.writeEmptyElement(QStringLiteral("w:br"));
        } else {
            pending += ch;
        }
    }
    flush();
    w.writeEndElement();
}

void writeParagraph(QXmlStreamWriter& w, const QString& text)
{
    if (text.isEmpty()) {
        w.writeEmptyElement(QStringLiteral("w:p"));
        return;
    }
    w.writeStartElement(QStringLiteral("w:p"));
    writeRuns(w, text);
    w.writeEndElement();
}

void declare(QXmlStreamWriter& w, bool declareWord)
{
    if (declareWord)
        w.writeAttribute(QStringLiteral("xmlns:w"), QLatin1String(kWordNamespace));
}

void writeBorders(QXmlStreamWriter& w)
{
    w.writeStartElement(QStringLiteral("w:tblBorders"));
    for (const char* side : { "w:top", "w:left", "w:bottom", "w:right", "w:insideH", "w:insideV" }) {
        w.writeEmptyElement(QLatin1String(side));
        w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("single"));
        w.writeAttribute(QStringLiteral("w:sz"), QStringLiteral("4"));
        w.writeAttribute(QStringLiteral("w:space"), QStringLiteral("0"));
        w.writeAttribute(QStringLiteral("w:color"), QStringLiteral("auto"));
    }
    w.writeEndElement();
}

void writeTableProperties(QXmlStreamWriter& w, int width)
{
    w.writeStartElement(QStringLiteral("w:tblPr"));
    w.writeEmptyElement(QStringLiteral("w:tblW"));
    w.writeAttribute(QStringLiteral("w:w"), QString::number(width));
    w.writeAttribute(QStringLiteral("w:type"), QStringLiteral("dxa"));
    writeBorders(w);
    // The widths are the ones given: a word processor's own fitting would
    // squeeze the name column again.
    w.writeEmptyElement(QStringLiteral("w:tblLayout"));
    w.writeAttribute(QStringLiteral("w:type"), QStringLiteral("fixed"));
    w.writeEmptyElement(QStringLiteral("w:tblLook"));
    w.writeAttribute(QStringLiteral("w:val"), QStringLiteral("04A0"));
    w.writeEndElement();
}

} // namespace

BodyInfo LocateBody(const QString& xml)
{
    BodyInfo info;
    QXmlStreamReader reader(xml);
    int bodyDepth = -1;
    int depth = 0;
    bool seenBody = false;
    int pageWidth = -1;
    int leftMargin = 0;
    int rightMargin = 0;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (depth == 1 && !isWordElement(reader, QLatin1String("document")))
                throw EWordBasic(QStringLiteral("The main part is not a WordprocessingML document"));
            if (depth == 2 && !seenBody && isWordElement(reader, QLatin1String("body"))) {
                seenBody = true;
                bodyDepth = depth;
                info.contentStart = static_cast<qsizetype>(reader.characterOffset());
                info.selfClosing = xml.mid(info.contentStart - 2, 2) == QLatin1String("/>");
                info.bodyName = reader.qualifiedName().toString();
                info.wordPrefixBound = reader.prefix() == QLatin1String("w");
            } else if (bodyDepth > 0 && depth == bodyDepth + 1 && info.firstBlock.isEmpty()) {
                info.firstBlock = reader.name().toString();
            }
            if (bodyDepth > 0 && isWordElement(reader, QLatin1String("pgSz")))
                pageWidth = twipsAttribute(reader, QLatin1String("w"), -1);
            if (bodyDepth > 0 && isWordElement(reader, QLatin1String("pgMar"))) {
                leftMargin = twipsAttribute(reader, QLatin1String("left"), 0);
                rightMargin = twipsAttribute(reader, QLatin1String("right"), 0);
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == bodyDepth)
                bodyDepth = 0; // the body has ended; later elements do not count
            --depth;
        }
    }
    if (reader.hasError())
        throw EWordBasic(
            QStringLiteral("Damaged document XML (line %1): %2").arg(reader.lineNumber()).arg(reader.errorString()));
    if (!seenBody)
        throw EWordBasic(QStringLiteral("The document has no body"));
    if (!info.selfClosing && xml.mid(info.contentStart - 1, 1) != QLatin1String(">"))
        throw EWordBasic(QStringLiteral("Cannot locate the start of the document body"));
    const int width = pageWidth - leftMargin - rightMargin;
    info.textWidth = pageWidth > 0 && width > 0 ? width : kDefaultTextWidth;
    return info;
}

QString ParagraphsXml(const QStringList& paragraphs, bool declareWord)
{
    QString out;
    QXmlStreamWriter w(&out);
    for (const QString& text : paragraphs) {
        w.writeStartElement(QStringLiteral("w:p"));
        declare(w, declareWord);
        if (!text.isEmpty())
            writeRuns(w, text);
        w.writeEndElement();
    }
    return out;
}

QString TableXml(const QList<QStringList>& rows, int columns, int textWidth, bool declareWord)
{
    columns = std::max(1, columns);
    const QList<int> widths = columnWidths(rows, columns, textWidth);

    QString out;
    QXmlStreamWriter w(&out);
    w.writeStartElement(QStringLiteral("w:tbl"));
    declare(w, declareWord);
    writeTableProperties(w, std::accumulate(widths.begin(), widths.end(), 0));
    w.writeStartElement(QStringLiteral("w:tblGrid"));
    for (int c = 0; c < columns; ++c) {
        w.writeEmptyElement(QStringLiteral("w:gridCol"));
        w.writeAttribute(QStringLiteral("w:w"), QString::number(widths[c]));
    }
    w.writeEndElement();
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList& row = rows[r];
        w.writeStartElement(QStringLiteral("w:tr"));
        if (r == 0) {
            // The first row is the table's heading: repeated on every page.
            w.writeStartElement(QStringLiteral("w:trPr"));
            w.writeEmptyElement(QStringLiteral("w:tblHeader"));
            w.writeEndElement();
        }
        for (int c = 0; c < columns; ++c) {
            w.writeStartElement(QStringLiteral("w:tc"));
            w.writeStartElement(QStringLiteral("w:tcPr"));
            w.writeEmptyElement(QStringLiteral("w:tcW"));
            w.writeAttribute(QStringLiteral("w:w"), QString::number(widths[c]));
            w.writeAttribute(QStringLiteral("w:type"), QStringLiteral("dxa"));
            w.writeEndElement();
            writeParagraph(w, c < row.size() ? row[c] : QString());
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    return out;
}

} // namespace docx
