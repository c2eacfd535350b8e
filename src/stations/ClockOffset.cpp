// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/ClockOffset.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

namespace stations {

namespace {

// Stamps are taken by programs, not on the wire: a little is allowed beyond
// the bound before a sample counts as a step.
constexpr std::int64_t kStepMarginNs = 50000;

} // namespace

ClockOffset::ClockOffset(int window, double driftPpm)
    : m_window(std::max(1, window))
    , m_drift(driftPpm * 1e-6)
{
}

std::int64_t ClockOffset::boundNs(const ClockSample& sample, std::int64_t nowNs) const
{
    const std::int64_t age = std::max<std::int64_t>(0, nowNs - sample.t4);
    return sample.Delay() / 2 + std::llround(double(age) * m_drift);
}

const ClockSample* ClockOffset::best(std::int64_t nowNs) const
{
    const ClockSample* chosen = nullptr;
    for (const ClockSample& sample : m_samples) {
        if (!chosen || boundNs(sample, nowNs) < boundNs(*chosen, nowNs))
            chosen = &sample;
    }
    return chosen;
}

ClockOffset::Result ClockOffset::Add(const ClockSample& sample)
{
    if (sample.Delay() < 0 || sample.t4 < sample.t1 || sample.t3 < sample.t2)
        return Result::Refused;
    Result result = Result::Taken;
    if (!m_samples.empty()) {
        const Interval current = interval(sample.t4);
        const std::int64_t low = sample.t3 - sample.t4;
        const std::int64_t high = sample.t2 - sample.t1;
        if (low > current.high + kStepMarginNs || high < current.low - kStepMarginNs) {
            m_lastStep = ClockStep { OffsetNs(sample.t4), sample.Offset() };
            m_stepSeen = true;
            m_samples.clear();
            result = Result::Step;
        }
    }
    m_samples.push_back(sample);
    while (int(m_samples.size()) > m_window)
        m_samples.pop_front();
    return result;
}

ClockOffset::Interval ClockOffset::interval(std::int64_t nowNs) const
{
    // Each sample bounds the offset from both sides: the way out took no
    // negative time (offset <= t2 - t1), nor did the way back (offset >=
    // t3 - t4); drift since widens both. The offset lies in every sample's
    // interval, so in their intersection, which is narrower than the best
    // single sample when the quick ways out and back came in different
    // exchanges.
    std::int64_t low = INT64_MIN;
    std::int64_t high = INT64_MAX;
    for (const ClockSample& sample : m_samples) {
        const std::int64_t drift = boundNs(sample, nowNs) - sample.Delay() / 2;
        low = std::max(low, sample.t3 - sample.t4 - drift);
        high = std::min(high, sample.t2 - sample.t1 + drift);
    }
    if (low <= high)
        return { low, high };
    // The clocks drifted apart faster than assumed: the best sample alone.
    const ClockSample* sample = best(nowNs);
    const std::int64_t bound = boundNs(*sample, nowNs);
    return { sample->Offset() - bound, sample->Offset() + bound };
}

std::int64_t ClockOffset::OffsetNs(std::int64_t nowNs) const
{
    if (m_samples.empty())
        return 0;
    const Interval i = interval(nowNs);
    return i.low + (i.high - i.low) / 2;
}

std::int64_t ClockOffset::UncertaintyNs(std::int64_t nowNs) const
{
    if (m_samples.empty())
        return INT64_MAX;
    const Interval i = interval(nowNs);
    return (i.high - i.low + 1) / 2;
}

QString FormatMilliseconds(std::int64_t ns, bool sign)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const double ms = double(ns) / 1e6;
    QString text = german.toString(std::fabs(ms), 'f', 2);
    // Groups of thousands would make "2.500,00" of a clock 2.5 s ahead: one
    // number, no separator.
    text.remove(german.groupSeparator());
    if (sign)
        text.prepend(ns < 0 ? QLatin1Char('-') : QLatin1Char('+'));
    else if (ns < 0)
        text.prepend(QLatin1Char('-'));
    return text + QStringLiteral(" ms");
}

QString ClockOffset::Text(Role role, std::int64_t nowNs) const
{
    if (!Known())
        return QStringLiteral("%1: Uhrvergleich läuft").arg(RoleCaption(role));
    return QStringLiteral("%1: %2 ± %3")
        .arg(RoleCaption(role), FormatMilliseconds(OffsetNs(nowNs), true),
            FormatMilliseconds(UncertaintyNs(nowNs), false));
}

bool ClockOffset::Alarming(std::int64_t nowNs, std::int64_t resolutionNs) const
{
    return m_stepSeen || !Known() || UncertaintyNs(nowNs) * 2 > resolutionNs;
}

} // namespace stations
