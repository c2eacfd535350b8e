// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The backup file and CSV export of TSortGrid.

#include "grid/SortGrid.h"

#include "controls/Dialogs.h"
#include "grid/GridFiles.h"

bool TSortGrid::SaveToFile(const QString& FileName, bool Geometry, int Cols)
{
    QString reason;
    if (WriteGridFile(FileName, BackupBytes(Geometry, Cols), &reason))
        return true;
    dialogs::ShowError(this, GridWriteErrorText(FileName, reason));
    return false;
}

QByteArray TSortGrid::BackupBytes(bool Geometry, int Cols) const
{
    TGridBackupSettings settings;
    settings.ColCount = Cols;
    settings.ColFontPriority = m_colFontPriority;
    settings.ColFonts = m_colFonts;
    if (Cols > 0 && settings.ColFonts.size() > static_cast<size_t>(Cols))
        settings.ColFonts.resize(static_cast<size_t>(Cols));
    settings.RowFonts = m_rowFonts;
    settings.UserSettings = m_userSettings;
    settings.ParkedRows = m_hiddenRowCount;
    if (Geometry) {
        settings.Geometry = { x(), y(), width(), height() };
        for (int c = 0; c < (Cols > 0 ? Cols : ColCount()); ++c)
            settings.Geometry.push_back(ColWidths(c));
    }
    return GridBackupBytes(Store(), settings);
}

bool TSortGrid::SaveToCsv(const QString& FileName, int Cols)
{
    QString reason;
    if (WriteGridFile(FileName, GridCsvBytes(Store(), Cols), &reason))
        return true;
    dialogs::ShowError(this, GridWriteErrorText(FileName, reason));
    return false;
}
