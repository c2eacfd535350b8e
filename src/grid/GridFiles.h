// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "grid/FontSetting.h"
#include "gridstore/CellStore.h"
#include "gridstore/GridCsvText.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// What the grid's backup file carries besides the cells.
struct TGridBackupSettings {
    bool ColFontPriority = false;
    TFontList ColFonts;
    TFontList RowFonts;
    QStringList UserSettings;
    // Empty: the "-1" form of the geometry line. Otherwise left, top, width,
    // height and the column widths, written instead of it.
    std::vector<int> Geometry;
    // Rows the row filter has parked after the last row: written after it,
    // so the backup holds every row.
    int ParkedRows = 0;
    // The columns written, from the first; 0: all of them.
    int ColCount = 0;
};

// The backup file: five settings lines, then one comma text per row from the
// header to the last row (ColCount cells each); CR LF after every line,
// UTF-8.
QByteArray GridBackupBytes(const TCellStore& store, const TGridBackupSettings& settings);

// Replaces the file with the bytes in one step (see platform's
// WriteFileAtomically): a failure leaves an older file as it was, gives false
// and the system's reason.
bool WriteGridFile(const QString& fileName, const QByteArray& bytes, QString* reason = nullptr);

// "Can't write to file:" CR the file's full path, then CR and the reason when
// known.
QString GridWriteErrorText(const QString& fileName, const QString& reason = QString());
