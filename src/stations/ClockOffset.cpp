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
    if (const ClockSample* current = best(sample.t4)) {
        const std::int64_t apart = std::llabs(sample.Offset() - current->Offset());
        if (apart > boundNs(*current, sample.t4) + sample.Delay() / 2 + kStepMarginNs) {
            m_lastStep = ClockStep { current->Offset(), sample.Offset() };
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

std::int64_t ClockOffset::OffsetNs(std::int64_t nowNs) const
{
    const ClockSample* sample = best(nowNs);
    return sample ? sample->Offset() : 0;
}

std::int64_t ClockOffset::UncertaintyNs(std::int64_t nowNs) const
{
    const ClockSample* sample = best(nowNs);
    return sample ? boundNs(*sample, nowNs) : INT64_MAX;
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
