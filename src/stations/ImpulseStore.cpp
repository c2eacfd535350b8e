// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/ImpulseStore.h"

#include "platform/FileAccess.h"

#include <QFileInfo>

#include <zlib.h>

namespace stations {

namespace {

constexpr QByteArrayView kCrc = " crc=";

QByteArray Crc(QByteArrayView text)
{
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size()));
    return QByteArray::number(qulonglong(crc), 16).rightJustified(8, '0');
}

} // namespace

ImpulseStore::ImpulseStore(QString fileName, Role role)
    : m_fileName(std::move(fileName))
    , m_role(role)
{
}

QByteArray ImpulseStore::StoreLine(const Impulse& impulse)
{
    const QByteArray text = CanonicalText(impulse);
    return text + kCrc.toByteArray() + Crc(text) + '\n';
}

std::optional<Impulse> ImpulseStore::ReadStoreLine(QByteArrayView line)
{
    const qsizetype at = line.lastIndexOf(kCrc);
    if (at < 0 || Crc(line.first(at)) != line.sliced(at + kCrc.size()))
        return std::nullopt;
    return ParseCanonical(line.first(at));
}

bool ImpulseStore::Open(QString* reason)
{
    m_impulses.clear();
    m_dropped = 0;
    qint64 good = -1;
    if (QFileInfo::exists(m_fileName)) {
        QByteArray bytes;
        if (!platform::ReadWholeFile(m_fileName, &bytes, reason))
            return false;
        good = 0;
        qsizetype at = 0;
        int number = 0;
        while (at < bytes.size()) {
            ++number;
            qsizetype end = bytes.indexOf('\n', at);
            const bool last = end < 0 || end + 1 == bytes.size();
            if (end < 0)
                end = bytes.size();
            const auto impulse = ReadStoreLine(QByteArrayView(bytes).sliced(at, end - at));
            const bool follows = impulse && impulse->role == m_role && impulse->sequence == LastSequence() + 1;
            if (!follows || end == bytes.size()) {
                if (last) {
                    // A write the power cut tore: it was never offered, so it
                    // goes, and the next impulse takes its number.
                    ++m_dropped;
                    break;
                }
                // Lines after it hold impulses the finish may have: cutting
                // them off would lose them, numbering past them would give a
                // number twice.
                if (reason)
                    *reason = QStringLiteral("Zeile %1 der Impulsdatei %2 ist beschädigt").arg(number).arg(m_fileName);
                m_impulses.clear();
                return false;
            }
            m_impulses.push_back(*impulse);
            at = end + 1;
            good = at;
        }
    }
    return m_file.Open(m_fileName, good, reason);
}

std::optional<Impulse> ImpulseStore::Append(
    platform::Tick tick, std::int64_t wallNs, const QString& bootId, ImpulseKind kind, QString* reason)
{
    Impulse impulse { m_role, LastSequence() + 1, tick, wallNs, bootId, kind };
    if (!m_file.Append(StoreLine(impulse), reason))
        return std::nullopt;
    m_impulses.push_back(impulse);
    return impulse;
}

} // namespace stations
