#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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
