// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/HtmlPage.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QPagedPaintDevice;

// The printed protocol: the table behind the results page (or, for a page
// this program did not write, the page read back into its table) laid out
// as a list to pin on the wall, in print sizes (data 11 pt), the table as
// wide as the page, its header row on every page, the heading, the page
// title and the date on top and the page numbers at the bottom.
struct PrintedResults {
    QString heading; // "Ergebnisse", or the race's title
    QString title; // "Zeitenprotokoll " + application title, or the results' date under a race's title
    QStringList header; // empty when the page holds no table
    QList<QStringList> rows; // without rows that hold nothing but "-"
    // Rows that are a class's heading: one text across the table, kept on
    // the page of the row that follows it.
    QList<int> headings;
};

// Reads the results page (or any page with a table: its first table, the
// first row as the header).
PrintedResults ReadResultsPage(const QString& html);

// The results in the table's own texts, from the table the page was written
// from.
PrintedResults ResultsOfTable(const protocol::PageTable& table);

// Paints the results onto the pages of the device and returns the number of
// pages; 0 when the device cannot be painted on.
int PaintResults(QPagedPaintDevice& device, const PrintedResults& results, const QDateTime& printedAt);
