// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Tick.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// What a timing station takes at its line and hands to the finish: one
// impulse, stamped at the edge with the station's tick, its wall clock and
// its boot, numbered per station from 1 without gaps.
namespace stations {

// The place of an instance in the race. The numbers are the setting
// `Station`'s values.
enum class Role : int { Finish = 0, Start = 1, Split1 = 2, Split2 = 3, Split3 = 4, Split4 = 5 };
constexpr int kRoleCount = 6;

std::optional<Role> RoleFromNumber(int number);
// "Ziel", "Start", "Zwischenzeit 1" ... as the window shows them.
QString RoleCaption(Role role);
// "Start", "Zwischen1" ...: the station's key in the finish's group [Stations].
QString RoleKey(Role role);
bool IsSplit(Role role);

enum class ImpulseKind {
    Barrier, // the light barrier's edge
    Key, // F5 or F8 (or the button) at the station
};

struct Impulse {
    Role role = Role::Start;
    std::uint64_t sequence = 0; // from 1, per station
    platform::Tick tick = 0; // the station's tick at the edge
    std::int64_t wallNs = 0; // the station's CLOCK_REALTIME at the edge, ns since the epoch
    QString bootId; // the station's boot
    ImpulseKind kind = ImpulseKind::Barrier;

    bool operator==(const Impulse&) const = default;
};

// The impulse as one line of text without line end; what is signed, kept on
// the disk and sent: "impulse 1 17 123456 1765290000123456789 <boot> barrier".
QByteArray CanonicalText(const Impulse& impulse);
std::optional<Impulse> ParseCanonical(QByteArrayView text);

// A number of the form the texts above carry (decimal, optional minus).
std::optional<std::int64_t> ParseInteger(QByteArrayView text);

// Applies each sequence number once and in order, as the finish must: the
// next one is taken, an earlier one is a duplicate, a later one a gap (the
// missing numbers are to be asked for again; nothing is skipped).
class SequenceGate final {
public:
    enum class Verdict { Next, Duplicate, Gap };
    explicit SequenceGate(std::uint64_t applied = 0)
        : m_applied(applied)
    {
    }
    Verdict Judge(std::uint64_t sequence) const;
    // Judge, and on Next count it as applied.
    Verdict Take(std::uint64_t sequence);
    std::uint64_t Applied() const { return m_applied; }
    void SetApplied(std::uint64_t applied) { m_applied = applied; }

private:
    std::uint64_t m_applied = 0;
};

} // namespace stations
