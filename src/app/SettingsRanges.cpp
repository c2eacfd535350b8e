#include "app/SettingsRanges.h"

namespace settingsranges {

namespace {

int within(int stored, int low, int high, int fallback)
{
    return stored >= low && stored <= high ? stored : fallback;
}

constexpr TColor kHighestSystemColor = 30;

} // namespace

int Port(int stored)
{
    // Cut to 8 bits, 300 would name COM44: another port than the one stored.
    return within(stored, 0, 255, kDefaultPort);
}

int Algorithm(int stored)
{
    // A negative value would disable the port list for good.
    return within(stored, 0, 1, kDefaultAlgorithm);
}

int Accuracy(int stored)
{
    return within(stored, 0, 2, kDefaultAccuracy);
}

int FilterIndex(int stored)
{
    return within(stored, 1, 4, kDefaultFilterIndex);
}

int StartLockout(int stored)
{
    return within(stored, kMinStartLockout, kMaxStartLockout, kDefaultStartLockout);
}

TColor Color(int stored, TColor fallback)
{
    const auto value = static_cast<TColor>(stored);
    if (value <= 0x00FFFFFF)
        return value;
    if (IsSystemColor(value) && (value & 0x00FFFFFF) <= kHighestSystemColor)
        return value;
    return fallback;
}

} // namespace settingsranges
