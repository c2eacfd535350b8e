// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

// The words of a PDF with their boxes in points, as pdftotext -bbox (Debian
// package poppler-utils) reads them: what a reader of the printed page sees,
// measured without the code that made it.
struct PdfWord {
    QString text;
    QRectF box; // top left origin
};

struct PdfPage {
    QSizeF size;
    QList<PdfWord> words;
    // The words of the line a word lies on, joined by blanks (a line is the
    // words whose vertical centres are within half a box of each other).
    QString LineOf(const PdfWord& word) const;
    bool HasLine(const QString& text) const;
    QList<PdfWord> Find(const QString& text) const;
};

// Empty when the file cannot be read or pdftotext is missing; `error` says
// which.
QList<PdfPage> ReadPdfWords(const QString& pdf, QString* error = nullptr);
