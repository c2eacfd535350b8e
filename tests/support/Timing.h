// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "race/Race.h"

// Changes one of the race's timing settings, as the settings dialog would.
template <typename T> void SetTiming(race::Race& race, T race::RaceSettings::*field, T value)
{
    race::RaceSettings s = race.Settings();
    s.*field = value;
    race.SetSettings(s);
}
