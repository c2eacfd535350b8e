// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/JournalRecovery.h"

#include <QString>

// What the official is told about a race taken back after an unclean end:
// the question before, the report after, and the list below both.
namespace recoverytexts {

// "Letztes Rennen wiederherstellen?" with the race, and what the journal,
// the boot and the clock mean for it; race `number` of `sessions` abandoned.
QString QuestionText(const race::JournalRecovery& recovery, int number, int sessions);
// What cannot be used and, when the clock cannot be trusted, who is on
// course; empty when there is nothing to list.
QString DetailsText(const race::JournalRecovery& recovery);
// What the official must check after the replay of the file; empty when the
// race came back as recorded.
QString ReportText(const race::JournalRecovery& recovery, const QString& fileName);

} // namespace recoverytexts
