// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Drives the fourteen display digits through ten minutes of race time at the
// clock's 10 ms steps and prints the paints and the CPU time they cost.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_digits
#include "BenchSupport.h"
#include "controls/Udigit.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <array>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kRaceMs = 10 * 60 * 1000;
constexpr int kStepMs = 10;
constexpr int kSecondEntryStartMs = 12340; // row 1 follows an entry started later
constexpr TColor kDigitColour = clYellow;
constexpr TColor kSecondRowColour = clLime;
constexpr TColor kDimColour = TColor(0x404040);

using Row = std::array<TDigit*, 7>;

struct Counts {
    long digitsChanged = 0; // digit updates where the value or the colour changed
    long propertyChanges = 0; // each changed value and each changed colour
};

double cpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void setDigit(TDigit* d, int value, bool touchColour, TColor colour, Counts& counts)
{
    const int valueChanged = d->Value() != value ? 1 : 0;
    const int colourChanged = touchColour && d->ColorOn() != colour ? 1 : 0;
    counts.digitsChanged += (valueChanged | colourChanged);
    counts.propertyChanges += valueChanged + colourChanged;
    d->SetValue(value);
    if (touchColour)
        d->SetColorOn(colour);
}

// The main window's display-row update: split the time, set the seven values,
// dim the leading zeros.
void updateRow(const Row& row, int rowIndex, int ms, Counts& counts)
{
    const int c = ms / 10;
    const int f = c % 100;
    const int s = c / 100 % 60;
    const int m = c / 6000 % 60;
    const int h = c / 360000 % 100;
    const TColor lit = rowIndex == 0 ? kDigitColour : kSecondRowColour;
    auto colour = [&](int sum) { return sum > 0 ? lit : kDimColour; };
    const bool fractionTouched = rowIndex == 1;
    const int all = h + m + s + f;
    setDigit(row[0], h % 10, true, colour(h), counts);
    setDigit(row[1], m / 10, true, colour(h + m / 10), counts);
    setDigit(row[2], m % 10, true, colour(h + m), counts);
    setDigit(row[3], s / 10, true, colour(h + m + s / 10), counts);
    setDigit(row[4], s % 10, fractionTouched, colour(all), counts);
    setDigit(row[5], f / 10, fractionTouched, colour(all), counts);
    setDigit(row[6], f % 10, fractionTouched, colour(all), counts);
}

long totalPaints(const Row& a, const Row& b)
{
    long n = 0;
    for (const TDigit* d : a)
        n += d->PaintCount();
    for (const TDigit* d : b)
        n += d->PaintCount();
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget panel;
    panel.setAutoFillBackground(true);
    panel.setPalette(QPalette(Qt::black));
    panel.resize(444, 241);
    const int lefts[7] = { 8, 88, 136, 216, 264, 344, 392 };
    Row rows[2];
    for (int r = 0; r < 2; ++r) {
        for (int i = 0; i < 7; ++i) {
            auto* d = new TDigit(&panel);
            d->setGeometry(lefts[i], r == 0 ? 11 : 136, 45, 89);
            d->SetThickness(5);
            d->SetSeparation(1);
            d->SetColor(clBlack);
            d->SetColorOff(clBlack);
            d->SetColorOn(kDigitColour);
            rows[r][i] = d;
        }
    }
    panel.show();
    if (!QTest::qWaitForWindowExposed(&panel)) {
        std::fprintf(stderr, "the panel was not exposed\n");
        return 1;
    }
    Counts setup;
    updateRow(rows[0], 0, 0, setup);
    updateRow(rows[1], 1, 0, setup);
    QCoreApplication::processEvents();

    Counts counts;
    const long paintsBefore = totalPaints(rows[0], rows[1]);
    const double cpuStart = cpuSeconds();
    for (int ms = kStepMs; ms <= kRaceMs; ms += kStepMs) {
        updateRow(rows[0], 0, ms, counts);
        updateRow(rows[1], 1, ms >= kSecondEntryStartMs ? ms - kSecondEntryStartMs : 0, counts);
    }
    const double cpu = cpuSeconds() - cpuStart;
    const long paints = totalPaints(rows[0], rows[1]) - paintsBefore;
    const double simulatedSeconds = kRaceMs / 1000.0;

    std::printf("digits: 14 (45 x 89), race time: %.0f s at %d ms steps (%d ticks)\n", simulatedSeconds, kStepMs,
        kRaceMs / kStepMs);
    std::printf("digit updates with a change: %ld, changed values and colours: %ld, paints: %ld (%.1f per simulated "
                "second)\n",
        counts.digitsChanged, counts.propertyChanges, paints, paints / simulatedSeconds);
    std::printf("CPU time: %.1f ms total, %.3f ms per simulated second (target <= 2 ms), %.2f us per paint\n",
        cpu * 1000, cpu * 1000 / simulatedSeconds, paints ? cpu * 1e6 / double(paints) : 0.0);
    // A digit whose value and colour change in the same tick is painted twice,
    // once by each setter; any other paint would be a wasted one.
    const bool met = cpu * 1000 / simulatedSeconds <= 2 && paints == counts.propertyChanges;
    std::printf("%s\n", met ? "targets met (and no paint without a change)" : "TARGETS MISSED");
    return Verdict(met);
}
