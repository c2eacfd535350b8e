// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "grid/GridFiles.h"

#include "gridstore/GridCommaText.h"
#include "platform/AtomicFile.h"

#include <QFileInfo>

namespace {

const QLatin1String kLineEnd("\r\n");

void appendSettingsLine(QString& out, const QString& name, const TFontList& fonts)
{
    QStringList items { name };
    for (const TFontSetting& setting : fonts)
        items << FontSettingText(setting);
    AppendCommaText(out, items);
    out += kLineEnd;
}

} // namespace

QByteArray GridBackupBytes(const TCellStore& store, const TGridBackupSettings& settings)
{
    QString out;
    const int cols = settings.ColCount > 0 ? settings.ColCount : store.ColCount();
    out.reserve(static_cast<qsizetype>(store.RowCount()) * cols * 8 + 256);

    AppendCommaText(out,
        { QStringLiteral("GenerelSettings"), settings.ColFontPriority ? QStringLiteral("1") : QStringLiteral("0") });
    out += kLineEnd;
    appendSettingsLine(out, QStringLiteral("FontColSettings"), settings.ColFonts);
    appendSettingsLine(out, QStringLiteral("FontRowSettings"), settings.RowFonts);

    QStringList user { QStringLiteral("UserSettings") };
    user += settings.UserSettings;
    AppendCommaText(out, user);
    out += kLineEnd;

    QStringList geometry;
    if (settings.Geometry.empty()) {
        geometry = user;
        for (int i = 0; i < cols + 4; ++i)
            geometry << QStringLiteral("-1");
    } else {
        for (int value : settings.Geometry)
            geometry << QString::number(value);
    }
    AppendCommaText(out, geometry);
    out += kLineEnd;

    QStringList row;
    for (int r = 0; r < store.RowCount() + settings.ParkedRows; ++r) {
        row.clear();
        for (int c = 0; c < cols; ++c)
            row << WithoutCellBreaks(store.Cell(c, r));
        AppendCommaText(out, row);
        out += kLineEnd;
    }
    return out.toUtf8();
}

bool WriteGridFile(const QString& fileName, const QByteArray& bytes, QString* reason)
{
    return platform::WriteFileAtomically(fileName, bytes, reason);
}

QString GridWriteErrorText(const QString& fileName, const QString& reason)
{
    // The backup is named without a folder: the message says which folder.
    const QString shown = fileName.isEmpty() ? fileName : QFileInfo(fileName).absoluteFilePath();
    QString text = QStringLiteral("Can't write to file:") + QLatin1Char('\r') + shown;
    if (!reason.isEmpty())
        text += QLatin1Char('\r') + reason;
    return text;
}
