// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/Impulse.h"

#include <QList>

#include <cctype>
#include <charconv>
#include <cstdint>

namespace stations {

std::optional<Role> RoleFromNumber(int number)
{
    if (number < 0 || number >= kRoleCount)
        return std::nullopt;
    return static_cast<Role>(number);
}

QString RoleCaption(Role role)
{
    switch (role) {
    case Role::Finish:
        return QStringLiteral("Ziel");
    case Role::Start:
        return QStringLiteral("Start");
    default:
        return QStringLiteral("Zwischenzeit %1").arg(int(role) - 1);
    }
}

QString RoleKey(Role role)
{
    switch (role) {
    case Role::Finish:
        return QStringLiteral("Ziel");
    case Role::Start:
        return QStringLiteral("Start");
    default:
        return QStringLiteral("Zwischen%1").arg(int(role) - 1);
    }
}

bool IsSplit(Role role)
{
    return int(role) >= int(Role::Split1);
}

std::optional<std::int64_t> ParseInteger(QByteArrayView text)
{
    std::int64_t value = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.isEmpty() || (text.front() == '+'))
        return std::nullopt;
    const auto [at, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

QByteArray CanonicalText(const Impulse& impulse)
{
    const QByteArray boot = impulse.bootId.isEmpty() ? QByteArray("-") : impulse.bootId.toLatin1();
    return QByteArray("impulse ") + QByteArray::number(int(impulse.role)) + ' '
        + QByteArray::number(quint64(impulse.sequence)) + ' ' + QByteArray::number(impulse.tick) + ' '
        + QByteArray::number(qint64(impulse.wallNs)) + ' ' + boot + ' '
        + (impulse.kind == ImpulseKind::Key ? "key" : "barrier");
}

std::optional<Impulse> ParseCanonical(QByteArrayView text)
{
    const QList<QByteArray> parts = QByteArray(text.data(), text.size()).split(' ');
    if (parts.size() != 7 || parts[0] != "impulse")
        return std::nullopt;
    const auto role = ParseInteger(parts[1]);
    const auto sequence = ParseInteger(parts[2]);
    const auto tick = ParseInteger(parts[3]);
    const auto wall = ParseInteger(parts[4]);
    if (!role || !RoleFromNumber(int(*role)) || !sequence || *sequence < 1 || !tick || *tick < INT32_MIN
        || *tick > INT32_MAX || !wall)
        return std::nullopt;
    if (parts[5].isEmpty() || (parts[6] != "key" && parts[6] != "barrier"))
        return std::nullopt;
    for (char c : parts[5]) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-'))
            return std::nullopt;
    }
    Impulse impulse;
    impulse.role = static_cast<Role>(*role);
    impulse.sequence = std::uint64_t(*sequence);
    impulse.tick = platform::Tick(*tick);
    impulse.wallNs = *wall;
    impulse.bootId = parts[5] == "-" ? QString() : QString::fromLatin1(parts[5]);
    impulse.kind = parts[6] == "key" ? ImpulseKind::Key : ImpulseKind::Barrier;
    return impulse;
}

SequenceGate::Verdict SequenceGate::Judge(std::uint64_t sequence) const
{
    if (sequence <= m_applied)
        return Verdict::Duplicate;
    return sequence == m_applied + 1 ? Verdict::Next : Verdict::Gap;
}

SequenceGate::Verdict SequenceGate::Take(std::uint64_t sequence)
{
    const Verdict verdict = Judge(sequence);
    if (verdict == Verdict::Next)
        m_applied = sequence;
    return verdict;
}

} // namespace stations
