// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// WordprocessingML pieces of the document engine: where the body of a main
// document starts, and the XML of paragraphs and tables inserted there.
namespace docx {

inline constexpr char kWordNamespace[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

struct BodyInfo {
    qsizetype contentStart = 0; // just after the body's start tag
    bool selfClosing = false; // <w:body/>: the start tag is the whole body
    QString bodyName; // qualified name of the body element, for closing a self-closing one
    bool wordPrefixBound = true; // the prefix "w" names the WordprocessingML namespace at the body
    QString firstBlock; // local name of the body's first child, empty when none
    int textWidth = 0; // twips between the margins of the last section
};

// Parses a main document part; throws EWordBasic when it is not well-formed
// or has no WordprocessingML body.
BodyInfo LocateBody(const QString& xml);

// Paragraphs of plain text; a TAB becomes a tab, a vertical tab or LF a line
// break, a character XML forbids U+FFFD. declareWord adds the namespace declaration of "w" to every element
// written at the top.
QString ParagraphsXml(const QStringList& paragraphs, bool declareWord);

// A table with single borders filling textWidth, one row per list, one cell
// per column (missing cells stay empty). Column widths follow the longest
// text of each column; the column headed "Name" (else the widest) takes what
// is left. The first row is the heading row, repeated on every page.
QString TableXml(const QList<QStringList>& rows, int columns, int textWidth, bool declareWord);

} // namespace docx
