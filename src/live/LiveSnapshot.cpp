#include "live/LiveSnapshot.h"

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

// Reads a race text from left to right; no regular expressions, as the
// results are read thousands of entries at a time.
class TextReader {
public:
    explicit TextReader(const QString& text)
        : m_text(text)
    {
    }
    // A number of minDigits to maxDigits digits; -1 when there are fewer.
    int number(int minDigits, int maxDigits)
    {
        int value = 0, digits = 0;
        while (digits < maxDigits && m_at < m_text.size() && m_text[m_at].unicode() >= u'0'
            && m_text[m_at].unicode() <= u'9') {
            value = value * 10 + (m_text[m_at].unicode() - u'0');
            ++m_at;
            ++digits;
        }
        return digits >= minDigits ? value : -1;
    }
    bool take(char c)
    {
        if (m_at < m_text.size() && m_text[m_at] == QLatin1Char(c)) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool atEnd() const { return m_at == m_text.size(); }
    qsizetype position() const { return m_at; }

private:
    const QString& m_text;
    qsizetype m_at = 0;
};

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
    // h:mm.ss,hh with one or two hour digits.
    TextReader r(text);
    const int h = r.number(1, 2);
    if (h < 0 || !r.take(':'))
        return std::nullopt;
    const int min = r.number(2, 2);
    if (min < 0 || !r.take('.'))
        return std::nullopt;
    const int sec = r.number(2, 2);
    if (sec < 0 || !r.take(','))
        return std::nullopt;
    const int hundredths = r.number(2, 2);
    if (hundredths < 0 || !r.atEnd() || h > 23 || min > 59 || sec > 59)
        return std::nullopt;
    return ((h * 60LL + min) * 60 + sec) * 1000 + hundredths * 10;
}

std::optional<std::int64_t> RunTimeMs(const QString& text)
{
    // [[hours:]minutes.]seconds[,fraction], leading zeros stripped.
    TextReader r(text);
    int h = 0, min = 0, sec = r.number(1, 2);
    if (sec < 0)
        return std::nullopt;
    bool withMinutes = true;
    if (r.take(':')) {
        h = sec;
        min = r.number(1, 2);
        if (min < 0 || min > 59 || !r.take('.'))
            return std::nullopt;
        sec = r.number(1, 2);
    } else if (r.take('.')) {
        min = sec;
        sec = r.number(1, 2);
    } else {
        withMinutes = false;
    }
    if (sec < 0 || (withMinutes && sec > 59))
        return std::nullopt;
    std::int64_t fraction = 0;
    if (r.take(',')) {
        const qsizetype before = r.position();
        const int f = r.number(1, 2);
        if (f < 0)
            return std::nullopt;
        fraction = r.position() - before == 1 ? f * 100 : f * 10;
    }
    if (!r.atEnd())
        return std::nullopt;
    return ((h * 60LL + min) * 60 + sec) * 1000 + fraction;
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
