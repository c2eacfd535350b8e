// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Cell formats and cell drawing of TSortGrid.

#include "grid/SortGrid.h"

#include "grid/GridColors.h"
#include "grid/GridGlyphs.h"
#include "grid/GridText.h"

#include <QPainter>

#include <algorithm>

namespace {

const QImage& glyph(const char* name)
{
    // Made once on first use, like a bitmap resource loaded when drawn.
    static const QImage checked = GridGlyph(QStringLiteral("CHECKED"));
    static const QImage unchecked = GridGlyph(QStringLiteral("UNCHECKED"));
    static const QImage combobox = GridGlyph(QStringLiteral("COMBOBOX"));
    static const QImage ellipsis = GridGlyph(QStringLiteral("ELLIPSIS"));
    const QLatin1String n(name);
    if (n == QLatin1String("CHECKED"))
        return checked;
    if (n == QLatin1String("UNCHECKED"))
        return unchecked;
    if (n == QLatin1String("COMBOBOX"))
        return combobox;
    return ellipsis;
}

void applySetting(const TFontSetting& setting, const QPalette& palette, TFormatOptions& format)
{
    format.FontColor = ColorToQColor(setting.Color, palette);
    format.Brush.setColor(ColorToQColor(setting.BackColor, palette));
    if (setting.Bold)
        format.Font.setBold(true);
    if (setting.Italic)
        format.Font.setItalic(true);
    if (setting.Underline)
        format.Font.setUnderline(true);
}

} // namespace

TFormatOptions TSortGrid::DefaultFormatOptions() const
{
    TFormatOptions format;
    format.Brush = QBrush(palette().color(QPalette::Base));
    format.Font = font();
    format.FontColor = palette().color(QPalette::Text);
    return format;
}

void TSortGrid::GetCellFormat(int ACol, int ARow, TGridDrawState AState, TFormatOptions& Format, bool& CheckBox,
    bool& Combobox, bool& Ellipsis) const
{
    const QPalette& pal = palette();
    Format.AlignmentHorz = m_alignmentHorz;
    Format.AlignmentVert = m_alignmentVert;
    Format.BevelStyle = m_bevelStyle;
    switch (m_bevelStyle) {
    case cbRaised:
        Format.UpperLeftColor = pal.color(QPalette::Light);
        Format.LowerRightColor = pal.color(QPalette::Dark);
        break;
    case cbLowered:
        Format.UpperLeftColor = pal.color(QPalette::Dark);
        Format.LowerRightColor = pal.color(QPalette::Light);
        break;
    case cbNone:
        Format.UpperLeftColor = pal.color(QPalette::Base);
        Format.LowerRightColor = pal.color(QPalette::Base);
        break;
    }
    Format.HideText = false;
    CheckBox = false;
    Combobox = false;
    Ellipsis = false;
    if (OnGetCellFormat) {
        // The owner sees whether the cell is focused or selected, never fixed.
        AState &= ~TGridDrawState(gdFixed);
        OnGetCellFormat(const_cast<TSortGrid*>(this), ACol, ARow, AState, Format, CheckBox, Combobox, Ellipsis);
    }
}

void TSortGrid::ApplyColourRules(int ACol, int ARow, TFormatOptions& Format) const
{
    const QPalette& pal = palette();
    const TGridRect sel = Selection();
    const bool inRange = (Options() & goRangeSelect) && ARow >= sel.Top && ARow <= sel.Bottom;
    const bool multi = m_multiSelect && !(Options() & goEditing) && IsRowSelected(ARow);
    if (inRange || multi) {
        Format.FontColor = pal.color(QPalette::HighlightedText);
        Format.Brush.setColor(pal.color(QPalette::Highlight));
        return;
    }
    const bool colActive
        = ACol >= 0 && ACol < static_cast<int>(m_colFonts.size()) && m_colFonts[static_cast<size_t>(ACol)].Active;
    const bool rowActive
        = ARow >= 0 && ARow < static_cast<int>(m_rowFonts.size()) && m_rowFonts[static_cast<size_t>(ARow)].Active;
    if (colActive && (m_colFontPriority || !rowActive)) {
        applySetting(m_colFonts[static_cast<size_t>(ACol)], pal, Format);
    } else if (rowActive) {
        // A row's setting travels with the row as the font setting text in
        // the cell after the last column; without such a text the row's
        // own entry counts.
        TFontSetting setting = m_rowFonts[static_cast<size_t>(ARow)];
        const QString text = Cells(ColCount(), ARow);
        if (!text.isEmpty())
            ReadFontSettingText(text, setting);
        applySetting(setting, pal, Format);
    }
}

void TSortGrid::DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& ARect, TGridDrawState AState)
{
    if (ARow > 0 && (NowUpdating() || m_hideRows)) {
        Canvas.fillRect(ARect.adjusted(0, 0, 1, 1), Canvas.brush());
        return;
    }
    TFormatOptions format;
    format.Brush = Canvas.brush();
    format.Font = Canvas.font();
    format.FontColor = Canvas.pen().color();
    bool checkBox = false, combobox = false, ellipsis = false;
    GetCellFormat(ACol, ARow, AState, format, checkBox, combobox, ellipsis);
    if (checkBox)
        format.HideText = true;
    if (ARow > 0)
        ApplyColourRules(ACol, ARow, format);
    Canvas.setBrush(format.Brush);
    Canvas.setPen(format.FontColor);
    Canvas.setFont(format.Font);
    Canvas.fillRect(ARect, format.Brush);

    const int w = ARect.width();
    const int h = ARect.height();
    const bool arrowColumn = ACol == m_sortOptions.SortCol && m_sortOptions.CanSort;
    const QFontMetrics metrics(format.Font);
    QString text = Cells(ACol, ARow);
    if (ARow == 0) {
        const int available = ColWidths(ACol) - (arrowColumn ? 12 : 1);
        text = ShortenHeaderText(text, available, [&](const QString& t) { return metrics.horizontalAdvance(t); });
    }
    QPoint offset = TextOffset(
        w, h, metrics.horizontalAdvance(text), metrics.height(), format.AlignmentHorz, format.AlignmentVert);
    if (ARow == 0 && arrowColumn) {
        offset.setX(SortHeaderTextX(offset.x(), w, metrics.horizontalAdvance(text)));
        const QImage& arrow = m_sortOptions.SortDirection == sdDescending ? m_arrowDown : m_arrowUp;
        const int arrowWidth = w <= 10 ? w - 3 : 8;
        if (arrowWidth > 0)
            Canvas.drawImage(
                QPoint(ARect.left() + 3, ARect.top() + RowHeights(0) / 2 - 4), arrow, QRect(0, 0, arrowWidth, 7));
    }
    if (!format.HideText) {
        Canvas.save();
        Canvas.setClipRect(ARect, Qt::IntersectClip);
        Canvas.drawText(ARect.left() + offset.x(), ARect.top() + offset.y() + metrics.ascent(), text);
        Canvas.restore();
    }
    if (checkBox) {
        const QImage& box = glyph(IsCheckedText(Cells(ACol, ARow)) ? "CHECKED" : "UNCHECKED");
        const int boxWidth = w <= 16 ? w - 1 : 16;
        if (boxWidth > 0)
            Canvas.drawImage(QPoint(ARect.left() + (w - boxWidth) / 2, ARect.top() + RowHeights(ARow) / 2 - 8), box,
                QRect(0, 0, boxWidth, 16));
    }
    const bool currentRow = ARow > 0 && ARow == Row();
    if ((combobox && currentRow && (ACol == Col() || EditorMode())) || (ellipsis && currentRow && ACol != Col())) {
        const int buttonWidth = std::min(16, w);
        const QRect target(ARect.right() + 1 - buttonWidth, ARect.top(), buttonWidth, h);
        Canvas.drawImage(target, glyph(combobox ? "COMBOBOX" : "ELLIPSIS"), QRect(0, 0, buttonWidth, 16));
    }
    if (format.BevelStyle != cbNone && ACol >= 0 && ARow >= 1) {
        const bool vert = Options() & goFixedVertLine;
        const bool horz = Options() & goFixedHorzLine;
        if (vert) {
            Canvas.setPen(format.LowerRightColor);
            Canvas.drawLine(ARect.right(), ARect.top(), ARect.right(), ARect.bottom());
        }
        if (horz) {
            Canvas.setPen(format.LowerRightColor);
            Canvas.drawLine(ARect.left(), ARect.bottom(), ARect.right(), ARect.bottom());
        }
        if (vert) {
            Canvas.setPen(format.UpperLeftColor);
            Canvas.drawLine(ARect.left(), ARect.top(), ARect.left(), ARect.bottom());
        }
        if (horz) {
            Canvas.setPen(format.UpperLeftColor);
            Canvas.drawLine(ARect.left(), ARect.top(), ARect.right(), ARect.top());
        }
    }
    if (OnDrawCell)
        OnDrawCell(this, Canvas, ACol, ARow, ARect, AState);
}
