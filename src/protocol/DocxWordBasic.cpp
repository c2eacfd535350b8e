// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/DocxWordBasic.h"

#include "platform/FileAccess.h"
#include "protocol/XmlText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace {

constexpr QChar kParagraphMark = QLatin1Char('\r');
// Word's own limit for the columns of a table.
constexpr int kMaxColumns = 63;

QString xmlEscaped(const QString& text)
{
    return protocol::XmlSafeText(text).toHtmlEscaped();
}

QString absolute(const QString& name)
{
    return QDir::current().absoluteFilePath(name);
}

qsizetype lineStart(const QString& text, qsizetype pos)
{
    while (pos > 0 && text[pos - 1] != kParagraphMark)
        --pos;
    return pos;
}

qsizetype lineEnd(const QString& text, qsizetype pos)
{
    while (pos < text.size() && text[pos] != kParagraphMark)
        ++pos;
    return pos;
}

QStringList paragraphsOf(const QString& text)
{
    QStringList list = text.split(kParagraphMark);
    // A closing mark ends the last paragraph; nothing follows it.
    if (text.endsWith(kParagraphMark))
        list.removeLast();
    return list;
}

QStringList cellsOf(const QString& paragraph, int ConvertFrom)
{
    if (ConvertFrom == 0)
        return { paragraph };
    return paragraph.split(ConvertFrom == 1 ? QLatin1Char('\t') : QLatin1Char(','));
}

QList<QStringList> arrangeRows(const QStringList& paragraphs, int ConvertFrom, int columns)
{
    QList<QStringList> rows;
    QStringList row;
    const auto closeRow = [&]() {
        if (!row.isEmpty())
            rows << row;
        row.clear();
    };
    for (const QString& paragraph : paragraphs) {
        for (const QString& cell : cellsOf(paragraph, ConvertFrom)) {
            if (row.size() == columns)
                closeRow();
            row << cell;
        }
        // Separated cells: every paragraph starts a row of its own.
        if (ConvertFrom != 0)
            closeRow();
    }
    closeRow();
    return rows;
}

} // namespace

void TDocxWordBasic::AppMaximize()
{
    m_window = WindowState::Maximized;
}

void TDocxWordBasic::AppMinimize()
{
    m_window = WindowState::Minimized;
}

void TDocxWordBasic::FileOpen(const QString& name)
{
    const QString path = absolute(name);
    QString reason;
    if (!platform::ReadWholeFile(path, nullptr, &reason))
        throw EWordBasic(QStringLiteral("FileOpen: cannot open %1: %2").arg(path, reason), path, reason);
    TDocxPackage package;
    package.Load(path);
    const QString mainName = package.MainDocumentName();
    if (!package.HasPart(mainName))
        throw EWordBasic(QStringLiteral("FileOpen: %1 has no main document part").arg(path));

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString xml = utf8.decode(package.Part(mainName));
    if (utf8.hasError())
        throw EWordBasic(QStringLiteral("FileOpen: the document XML of %1 is not UTF-8").arg(path));
    if (xml.startsWith(QChar(0xFEFF)))
        xml.remove(0, 1);
    const docx::BodyInfo body = docx::LocateBody(xml);

    m_package = std::move(package);
    m_mainName = mainName;
    m_xml = std::move(xml);
    m_body = body;
    m_blocks.clear();
    m_blocksEndWithTable = false;
    m_text.clear();
    m_title.reset();
    m_anchor = m_caret = 0;
    m_open = true;
}

void TDocxWordBasic::Insert(const QString& text)
{
    requireDocument("Insert");
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QString(kParagraphMark));
    normalized.replace(QLatin1Char('\n'), kParagraphMark);
    // Typing replaces a selection.
    const qsizetype start = SelectionStart();
    m_text.remove(start, SelectionEnd() - start);
    m_text.insert(start, normalized);
    m_caret = m_anchor = start + normalized.size();
}

void TDocxWordBasic::LineUp(int count, int extend)
{
    requireDocument("LineUp");
    for (int i = 0; i < count; ++i) {
        const qsizetype start = lineStart(m_text, m_caret);
        if (start == 0) {
            // From the first line the insertion point goes to its start.
            m_caret = 0;
            break;
        }
        const qsizetype column = m_caret - start;
        const qsizetype previous = lineStart(m_text, start - 1);
        m_caret = previous + std::min(column, start - 1 - previous);
    }
    if (extend == 0)
        m_anchor = m_caret;
}

void TDocxWordBasic::TextToTable(int ConvertFrom, int NumColumns)
{
    requireDocument("TextToTable");
    if (ConvertFrom < 0 || ConvertFrom > 2)
        throw EWordBasic(QStringLiteral("TextToTable: unknown separator %1").arg(ConvertFrom));
    if (NumColumns < 0 || NumColumns > kMaxColumns)
        throw EWordBasic(QStringLiteral("TextToTable: %1 columns are not possible").arg(NumColumns));

    // The conversion takes whole paragraphs; a selection that ends right
    // after a paragraph mark does not reach into the next paragraph.
    const qsizetype start = lineStart(m_text, SelectionStart());
    qsizetype end = SelectionEnd();
    if (!(end > start && m_text[end - 1] == kParagraphMark))
        end = lineEnd(m_text, end);
    else
        --end;
    const QString selected = m_text.mid(start, end - start);
    if (selected.isEmpty())
        throw EWordBasic(QStringLiteral("TextToTable: no text is selected"));

    const QStringList paragraphs = selected.split(kParagraphMark);
    int columns = NumColumns;
    if (columns == 0) {
        columns = 1;
        for (const QString& paragraph : paragraphs)
            columns = std::max<int>(columns, static_cast<int>(cellsOf(paragraph, ConvertFrom).size()));
        if (columns > kMaxColumns)
            throw EWordBasic(QStringLiteral("TextToTable: %1 columns are not possible").arg(columns));
    }

    const bool declareWord = !m_body.wordPrefixBound;
    if (start > 0)
        m_blocks += docx::ParagraphsXml(m_text.left(start - 1).split(kParagraphMark), declareWord);
    m_blocks += docx::TableXml(arrangeRows(paragraphs, ConvertFrom, columns), columns, m_body.textWidth, declareWord);
    m_blocksEndWithTable = true;
    m_text = end < m_text.size() ? m_text.mid(end + 1) : QString();
    m_anchor = m_caret = 0;
}

void TDocxWordBasic::FileSummaryInfo(const QString& Title)
{
    requireDocument("FileSummaryInfo");
    m_title = Title;
}

void TDocxWordBasic::FileSaveAs(const QString& name)
{
    requireDocument("FileSaveAs");
    const QString path = absolute(name);
    TDocxPackage package = m_package;
    package.SetPart(m_mainName, documentXml().toUtf8());
    applyTitle(package);
    if (package.HasPart(QStringLiteral("[Content_Types].xml")))
        package.SetPart(QStringLiteral("[Content_Types].xml"), contentTypes());
    package.Save(path);
}

void TDocxWordBasic::AppClose()
{
    m_open = false;
    m_package = TDocxPackage();
    m_xml.clear();
    m_blocks.clear();
    m_text.clear();
    m_anchor = m_caret = 0;
    m_window = WindowState::Closed;
}

qsizetype TDocxWordBasic::SelectionStart() const
{
    return std::min(m_anchor, m_caret);
}

qsizetype TDocxWordBasic::SelectionEnd() const
{
    return std::max(m_anchor, m_caret);
}

void TDocxWordBasic::requireDocument(const char* call) const
{
    if (!m_open)
        throw EWordBasic(QStringLiteral("%1: no document is open").arg(QLatin1String(call)));
}

QString TDocxWordBasic::documentXml() const
{
    const bool declareWord = !m_body.wordPrefixBound;
    QString inserted = m_blocks;
    bool endsWithTable = m_blocksEndWithTable;
    if (!m_text.isEmpty()) {
        inserted += docx::ParagraphsXml(paragraphsOf(m_text), declareWord);
        endsWithTable = false;
    }
    // A table needs a paragraph after it; the template's first paragraph
    // serves when there is one.
    if (endsWithTable && m_body.firstBlock != QLatin1String("p"))
        inserted += docx::ParagraphsXml({ QString() }, declareWord);
    if (inserted.isEmpty())
        return m_xml;
    if (m_body.selfClosing) {
        return m_xml.left(m_body.contentStart - 2) + QLatin1Char('>') + inserted + QLatin1String("</") + m_body.bodyName
            + QLatin1Char('>') + m_xml.mid(m_body.contentStart);
    }
    return m_xml.left(m_body.contentStart) + inserted + m_xml.mid(m_body.contentStart);
}

QByteArray TDocxWordBasic::contentTypes() const
{
    // A document made from a .dotx template is a document, not a template.
    QByteArray types = m_package.Part(QStringLiteral("[Content_Types].xml"));
    types.replace("wordprocessingml.template.main+xml", "wordprocessingml.document.main+xml");
    return types;
}

void TDocxWordBasic::applyTitle(TDocxPackage& package) const
{
    if (!m_title)
        return;
    const QString title = xmlEscaped(*m_title);
    const QString core = QStringLiteral("docProps/core.xml");
    if (package.HasPart(core)) {
        QString xml = QString::fromUtf8(package.Part(core));
        static const QRegularExpression element(QStringLiteral("<dc:title\\s*/>|<dc:title>[^<]*</dc:title>"));
        const QString replacement = QStringLiteral("<dc:title>") + title + QStringLiteral("</dc:title>");
        // Spliced in by hand: a replacement text would read "\1" in a title
        // as a back reference.
        const QRegularExpressionMatch m = element.match(xml);
        if (m.hasMatch())
            xml = xml.left(m.capturedStart()) + replacement + xml.mid(m.capturedEnd());
        else
            xml.replace(QStringLiteral("</cp:coreProperties>"), replacement + QStringLiteral("</cp:coreProperties>"));
        package.SetPart(core, xml.toUtf8());
    }
    // The shown result of each TITLE field, as a word processor would show it
    // before it updates the fields itself.
    static const QRegularExpression field(
        QStringLiteral("(<w:fldSimple\\b[^>]*\\bw:instr=\"\\s*TITLE\\b[^\"]*\"[^>]*>)(.*?)(</w:fldSimple>)"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression headerOrFooter(QStringLiteral("^word/(header|footer)[0-9]*\\.xml$"));
    for (const QString& name : package.PartNames()) {
        if (!headerOrFooter.match(name).hasMatch())
            continue;
        const QString xml = QString::fromUtf8(package.Part(name));
        QString out;
        qsizetype done = 0;
        for (const QRegularExpressionMatch& m : field.globalMatch(xml)) {
            out += xml.mid(done, m.capturedStart(2) - done);
            out += QStringLiteral("<w:r><w:t xml:space=\"preserve\">") + title + QStringLiteral("</w:t></w:r>");
            done = m.capturedEnd(2);
        }
        out += xml.mid(done);
        package.SetPart(name, out.toUtf8());
    }
}
