// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/ResultsPrint.h"

#include "protocol/ExportText.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <numeric>

namespace {

constexpr qreal kDataPoints = 11;
constexpr qreal kHeadingPoints = 16;
constexpr qreal kSmallPoints = 10;

const QColor kHeaderFill(0xD9, 0xD9, 0xD9);
const QColor kStripeFill(0xF2, 0xF2, 0xF2);
const QColor kClassFill(0xDC, 0xE6, 0xF7);
const QColor kRuleColor(0x80, 0x80, 0x80);

QTextTable* firstTable(QTextFrame* frame)
{
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child))
            return table;
        if (QTextTable* inner = firstTable(child))
            return inner;
    }
    return nullptr;
}

QString cellText(QTextTable* table, int row, int col)
{
    const QTextTableCell cell = table->cellAt(row, col);
    if (!cell.isValid())
        return {};
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char(' ')).trimmed();
}

// The free row at the end of the log shows only the "-" of its place.
bool holdsNothing(const QStringList& row)
{
    return std::all_of(row.begin(), row.end(), [](const QString& s) { return s.isEmpty() || s == QLatin1String("-"); });
}

// Device units of the painter for lengths given in millimetres and points.
struct Units {
    qreal perMm;
    qreal mm(qreal v) const { return v * perMm; }
};

QFont printFont(qreal points, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

class ResultsLayout {
public:
    ResultsLayout(QPagedPaintDevice& device, const PrintedResults& results)
        : m_device(device)
        , m_results(results)
        , m_units { device.logicalDpiY() / 25.4 }
        , m_data(printFont(kDataPoints))
        , m_bold(printFont(kDataPoints, true))
        , m_heading(printFont(kHeadingPoints, true))
        , m_small(printFont(kSmallPoints))
    {
        // The painter's origin is the top left corner inside the margins.
        m_area = QRectF(0, 0, device.width(), device.height());
        m_padX = m_units.mm(1.5);
        m_padY = m_units.mm(0.9);
        layOut();
    }

    int PageCount() const { return static_cast<int>(m_pages.size()); }

    void Paint(QPainter& p, const QDateTime& printedAt)
    {
        for (int page = 0; page < PageCount(); ++page) {
            if (page > 0)
                m_device.newPage();
            paintTop(p, printedAt);
            qreal y = m_tableTop;
            y = paintRow(p, m_results.header, y, m_headerHeight, true, false);
            const auto [first, end] = m_pages[static_cast<size_t>(page)];
            for (int r = first; r < end; ++r) {
                if (isHeading(r))
                    y = paintHeading(p, m_results.rows[r].value(0), y, m_rowHeights[r]);
                else
                    y = paintRow(p, m_results.rows[r], y, m_rowHeights[r], false, stripe(r));
            }
            paintFooter(p, page + 1);
        }
    }

private:
    bool isHeading(int row) const { return m_results.headings.contains(row); }

    // Every second row is striped, counted anew under each class heading.
    bool stripe(int row) const
    {
        int after = -1;
        for (const int heading : m_results.headings)
            if (heading < row)
                after = std::max(after, heading);
        return (row - after - 1) % 2 == 1;
    }

    qreal paintHeading(QPainter& p, const QString& text, qreal y, qreal height)
    {
        const qreal width = std::accumulate(m_widths.begin(), m_widths.end(), qreal(0));
        p.fillRect(QRectF(0, y, width, height), kClassFill);
        p.setFont(m_bold);
        p.setPen(Qt::black);
        drawWrapped(p, QRectF(m_padX, y + m_padY, width - 2 * m_padX, height - 2 * m_padY), text, Qt::AlignLeft);
        p.setPen(QPen(kRuleColor, m_units.mm(0.15)));
        p.drawRect(QRectF(0, y, width, height));
        return y + height;
    }

    Qt::Alignment alignment(int col) const
    {
        // As on the page: the name reads from the left, numbers and times
        // line up on the right.
        return (col == m_flexible ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
    }

    // Lines break between words; only a word longer than the whole line is
    // broken inside.
    static QTextOption wrapping(Qt::Alignment align = Qt::AlignLeft)
    {
        QTextOption option(align);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        return option;
    }

    qreal textHeight(const QFont& font, const QString& text, qreal width) const
    {
        const QFontMetricsF metrics(font, &m_device);
        QTextLayout layout(text, font, &m_device);
        layout.setTextOption(wrapping());
        layout.beginLayout();
        qreal height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(width, qreal(1)));
            height += line.height();
        }
        layout.endLayout();
        return std::max(height, metrics.height());
    }

    qreal rowHeight(const QStringList& row, const QFont& font) const
    {
        qreal height = 0;
        for (int c = 0; c < m_widths.size(); ++c)
            height = std::max(height, textHeight(font, row.value(c), m_widths[c] - 2 * m_padX));
        return height + 2 * m_padY;
    }

    void layOut()
    {
        const int columns = static_cast<int>(m_results.header.size());
        const QFontMetricsF data(m_data, &m_device);
        const QFontMetricsF bold(m_bold, &m_device);
        QList<double> natural(columns, 0);
        for (int c = 0; c < columns; ++c) {
            natural[c] = bold.horizontalAdvance(m_results.header[c]);
            for (int r = 0; r < m_results.rows.size(); ++r) {
                if (!isHeading(r))
                    natural[c] = std::max(natural[c], data.horizontalAdvance(m_results.rows[r].value(c)));
            }
            natural[c] += 2 * m_padX;
        }
        // The name column takes what the page has left; numbers and times
        // keep their natural widths.
        m_flexible = protocol::FlexibleColumn(m_results.header, natural);
        if (columns > 0)
            m_widths = protocol::FitColumns(natural, m_flexible, m_area.width());

        const QFontMetricsF small(m_small, &m_device);
        m_headingHeight = headingFits() ? QFontMetricsF(m_heading, &m_device).height()
                                        : textHeight(m_heading, headingText(), headingWidth());
        m_tableTop = m_headingHeight + small.height() + m_units.mm(4);
        m_footerHeight = small.height() + m_units.mm(3);
        m_headerHeight = rowHeight(m_results.header, m_bold);

        const qreal bottom = m_area.height() - m_footerHeight;
        int first = 0;
        qreal y = m_tableTop + m_headerHeight;
        for (int r = 0; r < m_results.rows.size(); ++r) {
            m_rowHeights << (isHeading(r) ? textHeight(m_bold, m_results.rows[r].value(0), m_area.width()) + 2 * m_padY
                                          : rowHeight(m_results.rows[r], m_data));
        }
        for (int r = 0; r < m_results.rows.size(); ++r) {
            // A class heading goes with the row after it.
            qreal needed = m_rowHeights[r];
            if (isHeading(r) && r + 1 < m_results.rows.size())
                needed += m_rowHeights[r + 1];
            // Every page takes at least one row, however tall.
            if (y + needed > bottom && r > first) {
                m_pages.emplace_back(first, r);
                first = r;
                y = m_tableTop + m_headerHeight;
            }
            y += m_rowHeights[r];
        }
        m_pages.emplace_back(first, static_cast<int>(m_results.rows.size()));
    }

    QString headingText() const
    {
        return m_results.heading.isEmpty() ? QStringLiteral("Ergebnisse") : m_results.heading;
    }
    // The heading keeps clear of the date on its right; a race's long title
    // wraps onto more lines.
    qreal headingWidth() const
    {
        const QFontMetricsF small(m_small, &m_device);
        return m_area.width() - small.horizontalAdvance(QStringLiteral("Stand: 00.00.0000, 00:00 Uhr")) - m_units.mm(5);
    }
    bool headingFits() const
    {
        return QFontMetricsF(m_heading, &m_device).horizontalAdvance(headingText()) <= headingWidth();
    }

    void paintTop(QPainter& p, const QDateTime& printedAt)
    {
        const QFontMetricsF heading(m_heading, &m_device);
        const QFontMetricsF small(m_small, &m_device);
        p.setPen(Qt::black);
        p.setFont(m_heading);
        if (headingFits())
            p.drawText(QRectF(0, 0, m_area.width(), heading.height()), Qt::AlignLeft | Qt::AlignBottom, headingText());
        else
            drawWrapped(p, QRectF(0, 0, headingWidth(), m_headingHeight), headingText(), Qt::AlignLeft);
        p.setFont(m_small);
        p.drawText(QRectF(0, 0, m_area.width(), heading.height()), Qt::AlignRight | Qt::AlignBottom,
            printedAt.toString(QStringLiteral("'Stand:' dd.MM.yyyy, hh:mm 'Uhr'")));
        p.drawText(
            QRectF(0, m_headingHeight, m_area.width(), small.height()), Qt::AlignLeft | Qt::AlignTop, m_results.title);
        const qreal ruleY = m_headingHeight + small.height() + m_units.mm(1.5);
        p.setPen(QPen(Qt::black, m_units.mm(0.3)));
        p.drawLine(QPointF(0, ruleY), QPointF(m_area.width(), ruleY));
    }

    qreal paintRow(QPainter& p, const QStringList& row, qreal y, qreal height, bool header, bool stripe)
    {
        const qreal width = std::accumulate(m_widths.begin(), m_widths.end(), qreal(0));
        if (header || stripe)
            p.fillRect(QRectF(0, y, width, height), header ? kHeaderFill : kStripeFill);
        p.setFont(header ? m_bold : m_data);
        p.setPen(Qt::black);
        qreal x = 0;
        for (int c = 0; c < m_widths.size(); ++c) {
            const QRectF cell(x + m_padX, y + m_padY, m_widths[c] - 2 * m_padX, height - 2 * m_padY);
            drawWrapped(p, cell, row.value(c), alignment(c));
            x += m_widths[c];
        }
        p.setPen(QPen(kRuleColor, m_units.mm(0.15)));
        x = 0;
        for (int c = 0; c <= m_widths.size(); ++c) {
            p.drawLine(QPointF(x, y), QPointF(x, y + height));
            if (c < m_widths.size())
                x += m_widths[c];
        }
        p.drawLine(QPointF(0, y), QPointF(width, y));
        p.drawLine(QPointF(0, y + height), QPointF(width, y + height));
        return y + height;
    }

    // Lines laid out as textHeight measures them, each aligned on its own
    // and the block centred in the cell's height.
    void drawWrapped(QPainter& p, const QRectF& cell, const QString& text, Qt::Alignment align) const
    {
        QTextLayout layout(text, p.font(), &m_device);
        layout.setTextOption(wrapping(align & Qt::AlignHorizontal_Mask));
        layout.beginLayout();
        qreal height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(cell.width(), qreal(1)));
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();
        layout.draw(&p, QPointF(cell.left(), cell.top() + std::max(qreal(0), (cell.height() - height) / 2)));
    }

    void paintFooter(QPainter& p, int page)
    {
        const QFontMetricsF small(m_small, &m_device);
        p.setFont(m_small);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, m_area.height() - small.height(), m_area.width(), small.height()), Qt::AlignCenter,
            QStringLiteral("Seite %1 von %2").arg(page).arg(PageCount()));
    }

    QPagedPaintDevice& m_device;
    const PrintedResults& m_results;
    Units m_units;
    QFont m_data;
    QFont m_bold;
    QFont m_heading;
    QFont m_small;
    QRectF m_area;
    qreal m_padX = 0;
    qreal m_padY = 0;
    int m_flexible = 0;
    QList<double> m_widths;
    QList<qreal> m_rowHeights;
    qreal m_headingHeight = 0;
    qreal m_tableTop = 0;
    qreal m_headerHeight = 0;
    qreal m_footerHeight = 0;
    std::vector<std::pair<int, int>> m_pages; // rows [first, end) of each page
};

} // namespace

PrintedResults ReadResultsPage(const QString& html)
{
    QTextDocument doc;
    doc.setHtml(html);
    PrintedResults results;
    results.title = doc.metaInformation(QTextDocument::DocumentTitle);
    QTextTable* table = firstTable(doc.rootFrame());
    for (QTextBlock block = doc.begin(); block.isValid() && results.heading.isEmpty(); block = block.next()) {
        if (table && block.position() >= table->firstPosition())
            break;
        results.heading = block.text().trimmed();
    }
    if (!table)
        return results;
    for (int c = 0; c < table->columns(); ++c)
        results.header << cellText(table, 0, c);
    for (int r = 1; r < table->rows(); ++r) {
        // A cell across the whole row is a class's heading.
        if (table->columns() > 1 && table->cellAt(r, 0).columnSpan() == table->columns()) {
            results.headings << static_cast<int>(results.rows.size());
            results.rows << QStringList { cellText(table, r, 0) };
            continue;
        }
        QStringList row;
        for (int c = 0; c < table->columns(); ++c)
            row << cellText(table, r, c);
        if (!holdsNothing(row))
            results.rows << row;
    }
    return results;
}

PrintedResults ResultsOfTable(const protocol::PageTable& table)
{
    PrintedResults results;
    results.heading = table.heading;
    results.title = table.title;
    results.header = table.header;
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        if (table.headings.contains(static_cast<int>(r)))
            results.headings << static_cast<int>(results.rows.size());
        else if (holdsNothing(table.rows[r]))
            continue;
        results.rows << table.rows[r];
    }
    return results;
}

int PaintResults(QPagedPaintDevice& device, const PrintedResults& results, const QDateTime& printedAt)
{
    ResultsLayout layout(device, results);
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    painter.setRenderHint(QPainter::Antialiasing);
    layout.Paint(painter, printedAt);
    painter.end();
    return layout.PageCount();
}
