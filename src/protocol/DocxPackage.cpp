// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/DocxPackage.h"

#include "platform/AtomicFile.h"
#include "protocol/WordBasic.h"

#include <QFile>
#include <QXmlStreamReader>

#include <zip.h>

#include <memory>

namespace {

// A template is a few kilobytes; the limit keeps a damaged or hostile file
// from exhausting memory.
constexpr zip_uint64_t kMaxPackageBytes = 256u * 1024u * 1024u;

QString zipError(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
    zip_error_fini(&error);
    return text;
}

QString archiveError(zip_t* archive)
{
    return QString::fromLocal8Bit(zip_strerror(archive));
}

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipHandle = std::unique_ptr<zip_t, ZipCloser>;

QByteArray readEntry(zip_t* archive, zip_uint64_t index, zip_uint64_t size, const QString& name)
{
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (!file)
        throw EWordBasic(QStringLiteral("Cannot read %1: %2").arg(name, archiveError(archive)));
    QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
    const zip_int64_t got = zip_fread(file, bytes.data(), size);
    zip_fclose(file);
    if (got < 0 || static_cast<zip_uint64_t>(got) != size)
        throw EWordBasic(QStringLiteral("Cannot read %1 from the container").arg(name));
    return bytes;
}

} // namespace

void TDocxPackage::Load(const QString& path)
{
    int code = 0;
    ZipHandle archive(zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code));
    if (!archive)
        throw EWordBasic(QStringLiteral("Cannot open %1: %2").arg(path, zipError(code)));

    std::vector<std::pair<QString, QByteArray>> parts;
    zip_uint64_t total = 0;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        if (zip_stat_index(archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)
            || !(st.valid & ZIP_STAT_NAME))
            throw EWordBasic(QStringLiteral("Damaged container %1").arg(path));
        const QString name = QString::fromUtf8(st.name);
        if (name.endsWith(QLatin1Char('/')))
            continue; // folder entries carry nothing
        total += st.size;
        if (st.size > kMaxPackageBytes || total > kMaxPackageBytes)
            throw EWordBasic(QStringLiteral("Container %1 is too large").arg(path));
        parts.emplace_back(name, readEntry(archive.get(), index, st.size, name));
    }
    m_parts = std::move(parts);
}

QByteArray TDocxPackage::Bytes() const
{
    // The container is built in memory; the file is then replaced in one step.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!buffer) {
        const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw EWordBasic(QStringLiteral("Cannot build the container: %1").arg(text));
    }
    zip_t* opened = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    if (!opened) {
        zip_source_free(buffer);
        const QString text = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw EWordBasic(QStringLiteral("Cannot build the container: %1").arg(text));
    }
    zip_error_fini(&error);
    ZipHandle archive(opened);
    zip_source_keep(buffer); // the archive's close must leave the bytes to us
    std::unique_ptr<zip_source_t, void (*)(zip_source_t*)> bytesSource(buffer, zip_source_free);

    for (const auto& [name, bytes] : m_parts) {
        // The buffers live in m_parts until zip_close has written them.
        zip_source_t* source
            = zip_source_buffer(archive.get(), bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0);
        if (!source)
            throw EWordBasic(QStringLiteral("Cannot add %1: %2").arg(name, archiveError(archive.get())));
        if (zip_file_add(archive.get(), name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            throw EWordBasic(QStringLiteral("Cannot add %1: %2").arg(name, archiveError(archive.get())));
        }
    }
    if (zip_close(archive.get()) != 0)
        throw EWordBasic(QStringLiteral("Cannot build the container: %1").arg(archiveError(archive.get())));
    (void)archive.release(); // zip_close has freed it

    zip_stat_t st;
    if (zip_source_stat(buffer, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || zip_source_open(buffer) != 0)
        throw EWordBasic(QStringLiteral("Cannot read the built container"));
    QByteArray out(static_cast<qsizetype>(st.size), Qt::Uninitialized);
    const zip_int64_t got = zip_source_read(buffer, out.data(), st.size);
    zip_source_close(buffer);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
        throw EWordBasic(QStringLiteral("Cannot read the built container"));
    return out;
}

void TDocxPackage::Save(const QString& path) const
{
    const QByteArray bytes = Bytes();
    QString reason;
    if (!platform::WriteFileAtomically(path, bytes, &reason))
        throw EWordBasic(QStringLiteral("Cannot write %1: %2").arg(path, reason), path, reason);
}

bool TDocxPackage::HasPart(const QString& name) const
{
    for (const auto& part : m_parts) {
        if (part.first == name)
            return true;
    }
    return false;
}

QByteArray TDocxPackage::Part(const QString& name) const
{
    for (const auto& part : m_parts) {
        if (part.first == name)
            return part.second;
    }
    return {};
}

void TDocxPackage::SetPart(const QString& name, const QByteArray& bytes)
{
    for (auto& part : m_parts) {
        if (part.first == name) {
            part.second = bytes;
            return;
        }
    }
    m_parts.emplace_back(name, bytes);
}

QStringList TDocxPackage::PartNames() const
{
    QStringList names;
    for (const auto& part : m_parts)
        names << part.first;
    return names;
}

QString TDocxPackage::MainDocumentName() const
{
    static const QLatin1String kOfficeDocument("/officeDocument");
    QXmlStreamReader xml(Part(QStringLiteral("_rels/.rels")));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("Relationship"))
            continue;
        const auto attrs = xml.attributes();
        if (!attrs.value(QLatin1String("Type")).endsWith(kOfficeDocument))
            continue;
        QString target = attrs.value(QLatin1String("Target")).toString();
        while (target.startsWith(QLatin1Char('/')))
            target.remove(0, 1);
        if (!target.isEmpty())
            return target;
    }
    return QStringLiteral("word/document.xml");
}
