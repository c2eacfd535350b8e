// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <zip.h>

// One entry of a ZIP container (DOCX, XLSX) as bytes; empty when the file or
// the entry cannot be read. The tests read the files as an office program
// would, without the code that wrote them.
inline QByteArray ReadZipEntry(const QString& path, const QString& name)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!archive)
        return {};
    QByteArray bytes;
    zip_stat_t st;
    if (zip_stat(archive, name.toUtf8().constData(), 0, &st) == 0) {
        zip_file_t* file = zip_fopen_index(archive, st.index, 0);
        bytes.resize(static_cast<qsizetype>(st.size));
        if (!file || zip_fread(file, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size))
            bytes.clear();
        if (file)
            zip_fclose(file);
    }
    zip_discard(archive);
    return bytes;
}

// A ZIP container made of the given parts, for templates the tests build.
inline bool WriteZip(const QString& path, const QList<QPair<QString, QByteArray>>& parts)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto& [name, bytes] : parts) {
        zip_source_t* source
            = zip_source_buffer(archive, bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        if (!source || zip_file_add(archive, name.toUtf8().constData(), source, 0) < 0) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// The shared strings of a workbook (xl/sharedStrings.xml) in their order, as
// the cells' indexes name them; one item "XML error" when the part is broken.
inline QStringList XlsxSharedStrings(const QByteArray& xml)
{
    QStringList strings;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("si"))
            strings << QString();
        else if (reader.isStartElement() && reader.name() == QLatin1String("t"))
            strings.last() += reader.readElementText();
    }
    return reader.hasError() ? QStringList { "XML error" } : strings;
}
