#include "live/LiveSnapshot.h"

#include <QRegularExpression>

#include <algorithm>

namespace live {

namespace {

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

QString trimmed(const QString& text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

// The fraction after the comma as milliseconds: "5" tenths, "05" hundredths.
std::int64_t fractionMs(const QString& digits)
{
    if (digits.isEmpty())
        return 0;
    return digits.size() == 1 ? digits.toInt() * 100 : digits.toInt() * 10;
}

} // namespace

std::int64_t Snapshot::RaceMsAt(std::chrono::steady_clock::time_point now) const
{
    if (!running)
        return raceMs;
    const auto moved = std::chrono::duration_cast<std::chrono::milliseconds>(now - takenAt).count();
    return raceMs + std::max<std::int64_t>(0, moved);
}

EntryState StateOf(const QString& raw, const QString& time)
{
    if (trimmed(raw).isEmpty())
        return EntryState::Free;
    return trimmed(time).isEmpty() ? EntryState::Running : EntryState::Finished;
}

std::optional<std::int64_t> TimeOfDayMs(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2})\\.(\\d{2}),(\\d{2})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int h = m.captured(1).toInt(), min = m.captured(2).toInt(), s = m.captured(3).toInt();
    if (h > 23 || min > 59 || s > 59)
        return std::nullopt;
    return ((h * 60LL + min) * 60 + s) * 1000 + m.captured(4).toInt() * 10;
}

std::optional<std::int64_t> RunTimeMs(const QString& text)
{
    // [[hours:]minutes.]seconds[,fraction], leading zeros stripped.
    static const QRegularExpression re(
        QStringLiteral("^(?:(?:(\\d{1,2}):)?(\\d{1,2})\\.)?(\\d{1,2})(?:,(\\d{1,2}))?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const std::int64_t h = m.captured(1).toLongLong(), min = m.captured(2).toLongLong();
    const std::int64_t s = m.captured(3).toLongLong();
    if ((m.hasCaptured(2) && s > 59) || (m.hasCaptured(1) && min > 59))
        return std::nullopt;
    return ((h * 60 + min) * 60 + s) * 1000 + fractionMs(m.captured(4));
}

std::vector<int> LastFinishers(const Snapshot& snapshot, int count)
{
    const auto& entries = snapshot.entries;
    const std::optional<std::int64_t> reference = TimeOfDayMs(snapshot.firstStart);

    // When an entry came in, as far as its texts tell: its split plus its run
    // time, both from the tick, so a clock changed during the race (daylight
    // saving, a time server) or midnight changes nothing. The start's time of
    // day, which always has hundredths, separates finishes that the split's
    // accuracy cannot.
    struct Finish {
        int index;
        std::optional<std::int64_t> bySplit;
        std::optional<std::int64_t> byStart;
    };
    std::vector<Finish> finishes;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const Entry& e = entries[static_cast<size_t>(i)];
        if (e.state != EntryState::Finished)
            continue;
        Finish f { i, {}, {} };
        const std::optional<std::int64_t> run = e.runMs ? e.runMs : RunTimeMs(e.time);
        if (run) {
            if (const std::optional<std::int64_t> split = RunTimeMs(e.split))
                f.bySplit = *split + *run;
            if (const std::optional<std::int64_t> start = TimeOfDayMs(e.start))
                f.byStart = (((*start - reference.value_or(0)) % kDayMs + kDayMs) % kDayMs) + *run;
        }
        finishes.push_back(f);
    }
    // Newest first; unknown finishes and ties keep the table's order.
    std::stable_sort(finishes.begin(), finishes.end(), [](const Finish& a, const Finish& b) {
        const bool aKnown = a.bySplit || a.byStart, bKnown = b.bySplit || b.byStart;
        if (aKnown != bKnown)
            return aKnown;
        if (a.bySplit && b.bySplit && *a.bySplit != *b.bySplit)
            return *a.bySplit > *b.bySplit;
        if (a.byStart && b.byStart && *a.byStart != *b.byStart)
            return *a.byStart > *b.byStart;
        return false;
    });
    std::vector<int> indices;
    for (const Finish& f : finishes) {
        if (static_cast<int>(indices.size()) >= count)
            break;
        indices.push_back(f.index);
    }
    return indices;
}

} // namespace live
