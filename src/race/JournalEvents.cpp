#include "race/JournalEvents.h"

#include "grid/CellTable.h"
#include "grid/GridCommaText.h"

#include <QDateTime>
#include <QFile>

namespace race {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

struct Fnv {
    std::uint64_t h = kFnvOffset;
    void unit(std::uint32_t u)
    {
        h ^= u;
        h *= kFnvPrime;
    }
    void text(const QString& s)
    {
        for (const QChar c : s)
            unit(c.unicode());
        unit(0x10000u); // ends the text: "ab","c" differs from "a","bc"
    }
    void number(std::int64_t v)
    {
        unit(static_cast<std::uint32_t>(v));
        unit(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
    }
};

const Outcome kOutcomes[] = { Outcome::NotRequested, Outcome::Started, Outcome::Stopped, Outcome::InterimRecorded,
    Outcome::InterimInserted, Outcome::Ended, Outcome::Cleared, Outcome::Refreshed, Outcome::NotAvailable,
    Outcome::Locked, Outcome::LockoutRunning };

std::optional<Outcome> outcomeNamed(const QString& name)
{
    for (const Outcome o : kOutcomes)
        if (name == QLatin1String(OutcomeName(o)))
            return o;
    return std::nullopt;
}

QString kindOf(Command command)
{
    switch (command) {
    case Command::Start:
        return kind::Start;
    case Command::Stop:
        return kind::Stop;
    case Command::InterimStop:
        return kind::Interim;
    case Command::InsertInterim:
        return kind::InsertInterim;
    case Command::End:
        return kind::End;
    case Command::Reset:
        return kind::Reset;
    case Command::ToggleLock:
        return kind::Lock;
    case Command::LockoutEnded:
        return kind::LockoutEnded;
    case Command::BarrierImpulse:
        return kind::Barrier;
    case Command::RowStateRefresh:
        return kind::RowState;
    case Command::RankRefresh:
        return kind::Rank;
    case Command::Loaded:
        return kind::Loaded;
    case Command::SettingsChanged:
        return kind::Settings;
    }
    return QStringLiteral("?");
}

QString barrierName(Barrier b)
{
    return b == Barrier::Start ? QStringLiteral("start") : QStringLiteral("stopp");
}

QString flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool flagOf(const JournalEntry& e, const QString& key)
{
    return e.Field(key) == QLatin1String("1");
}

int intOf(const JournalEntry& e, const QString& key, int fallback)
{
    bool ok = false;
    const int v = e.Field(key).toInt(&ok);
    return ok ? v : fallback;
}

QString timeText(const QTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("HH:mm:ss.zzz")) : QStringLiteral("-");
}

} // namespace

QString RaceDigest(const TCellTable& table, int colCount, const RaceState& state, int sortCol, int sortDirection)
{
    Fnv f;
    const int rows = table.TableRowCount();
    f.number(rows);
    for (int r = 1; r < rows; ++r)
        for (int c = 0; c < colCount; ++c)
            f.text(table.TableCell(c, r));
    f.number(state.firstStart ? 1 : 0);
    f.number(state.firstStart.value_or(0));
    f.number(state.latestStart);
    for (const bool b :
        { state.startFree, state.startLockoutRunning, state.stopFree, state.stopLockoutRunning, state.clockRunning,
            state.endAvailable, state.interimAvailable, state.resetAvailable, state.settingsAvailable, state.halted })
        f.number(b ? 1 : 0);
    f.number(static_cast<std::int64_t>(state.interims.size()));
    for (const Interim& i : state.interims) {
        f.number(i.stamp.tick);
        f.text(i.text);
        f.number(i.used ? 1 : 0);
    }
    f.number(sortCol);
    f.number(sortDirection);
    return QStringLiteral("%1").arg(f.h, 16, 16, QLatin1Char('0'));
}

JournalEntry CommandEntry(const CommandRecord& r, const RaceSettings& settings)
{
    JournalEntry e;
    e.kind = kindOf(r.command);
    if (r.stamp) {
        e.tick = r.stamp->tick;
        e.time = r.stamp->timeOfDay;
    } else {
        e.tick = platform::GetTickCount();
    }
    if (r.command != Command::Reset)
        e.Add(QStringLiteral("row"), r.row);
    switch (r.command) {
    case Command::ToggleLock:
    case Command::LockoutEnded:
        e.Add(QStringLiteral("barrier"), barrierName(r.barrier));
        break;
    case Command::InsertInterim:
        e.Add(QStringLiteral("interim"), r.interim);
        break;
    case Command::SettingsChanged:
        AddSettings(e, settings);
        break;
    case Command::BarrierImpulse:
        e.Add(QStringLiteral("stop"), flag(r.stopRequested));
        e.Add(QStringLiteral("start"), flag(r.startRequested));
        if (r.stopRequested)
            e.Add(QStringLiteral("stopresult"), QString::fromLatin1(OutcomeName(r.outcome)));
        if (r.startRequested)
            e.Add(QStringLiteral("startresult"), QString::fromLatin1(OutcomeName(r.startOutcome)));
        return e;
    default:
        break;
    }
    e.Add(QStringLiteral("result"), QString::fromLatin1(OutcomeName(r.outcome)));
    return e;
}

void AddSettings(JournalEntry& e, const RaceSettings& s)
{
    e.Add(QStringLiteral("acc"), s.accuracy);
    e.Add(QStringLiteral("stopfirst"), flag(s.stopFirst));
    e.Add(QStringLiteral("startlockout"), s.startLockoutMs);
    e.Add(QStringLiteral("stoplockout"), s.stopLockoutMs);
}

RaceSettings SettingsOf(const JournalEntry& e, const RaceSettings& fallback)
{
    RaceSettings s;
    s.accuracy = intOf(e, QStringLiteral("acc"), fallback.accuracy);
    s.stopFirst = e.HasField(QStringLiteral("stopfirst")) ? flagOf(e, QStringLiteral("stopfirst")) : fallback.stopFirst;
    s.startLockoutMs = intOf(e, QStringLiteral("startlockout"), fallback.startLockoutMs);
    s.stopLockoutMs = intOf(e, QStringLiteral("stoplockout"), fallback.stopLockoutMs);
    return s;
}

void AddState(JournalEntry& e, const RaceState& s)
{
    e.Add(QStringLiteral("first"), s.firstStart ? QString::number(*s.firstStart) : QStringLiteral("-"));
    e.Add(QStringLiteral("latest"), s.latestStart);
    e.Add(QStringLiteral("clock"), flag(s.clockRunning));
    e.Add(QStringLiteral("ende"), flag(s.endAvailable));
    e.Add(QStringLiteral("fstopp"), flag(s.interimAvailable));
    e.Add(QStringLiteral("reset"), flag(s.resetAvailable));
    e.Add(QStringLiteral("settings"), flag(s.settingsAvailable));
    e.Add(QStringLiteral("halted"), flag(s.halted));
    e.Add(QStringLiteral("startfree"), flag(s.startFree));
    e.Add(QStringLiteral("startlockoutrunning"), flag(s.startLockoutRunning));
    e.Add(QStringLiteral("stopfree"), flag(s.stopFree));
    e.Add(QStringLiteral("stoplockoutrunning"), flag(s.stopLockoutRunning));
    for (const Interim& i : s.interims)
        e.Add(QStringLiteral("interim"),
            RowText({ QString::number(i.stamp.tick), timeText(i.stamp.timeOfDay), flag(i.used), i.text }));
}

RaceState StateOf(const JournalEntry& e)
{
    RaceState s;
    bool ok = false;
    const int first = e.Field(QStringLiteral("first")).toInt(&ok);
    if (ok)
        s.firstStart = first;
    s.latestStart = intOf(e, QStringLiteral("latest"), 0);
    s.clockRunning = flagOf(e, QStringLiteral("clock"));
    s.endAvailable = flagOf(e, QStringLiteral("ende"));
    s.interimAvailable = flagOf(e, QStringLiteral("fstopp"));
    s.resetAvailable = flagOf(e, QStringLiteral("reset"));
    s.settingsAvailable = flagOf(e, QStringLiteral("settings"));
    s.halted = flagOf(e, QStringLiteral("halted"));
    s.startFree = flagOf(e, QStringLiteral("startfree"));
    s.startLockoutRunning = flagOf(e, QStringLiteral("startlockoutrunning"));
    s.stopFree = flagOf(e, QStringLiteral("stopfree"));
    s.stopLockoutRunning = flagOf(e, QStringLiteral("stoplockoutrunning"));
    for (const auto& [key, value] : e.fields) {
        if (key != QLatin1String("interim"))
            continue;
        const QStringList parts = RowCells(value);
        Interim i;
        i.stamp.tick = parts.value(0).toInt();
        i.stamp.timeOfDay = QTime::fromString(parts.value(1), QStringLiteral("HH:mm:ss.zzz"));
        i.used = parts.value(2) == QLatin1String("1");
        i.text = parts.value(3);
        s.interims.push_back(i);
    }
    return s;
}

QString RowText(const QStringList& cells)
{
    return CommaText(cells);
}

QStringList RowCells(const QString& text)
{
    if (text.isEmpty())
        return {};
    return SplitCommaText(text);
}

void AddRows(JournalEntry& e, const TCellTable& table, int colCount)
{
    const int rows = table.TableRowCount();
    e.Add(QStringLiteral("rows"), rows);
    QStringList cells;
    for (int r = 1; r < rows; ++r) {
        cells.clear();
        for (int c = 0; c < colCount; ++c)
            cells << table.TableCell(c, r);
        e.Add(QStringLiteral("r"), RowText(cells));
    }
}

QList<QStringList> RowsOf(const JournalEntry& e)
{
    QList<QStringList> rows;
    for (const auto& [key, value] : e.fields)
        if (key == QLatin1String("r"))
            rows << RowCells(value);
    return rows;
}

std::optional<RaceView> ReplayCommand(RaceRules& rules, const JournalEntry& e, bool* agrees)
{
    const platform::Stamp stamp { e.tick, e.time };
    const int row = intOf(e, QStringLiteral("row"), 1);
    const Barrier barrier
        = e.Field(QStringLiteral("barrier")) == QLatin1String("start") ? Barrier::Start : Barrier::Stop;
    const std::optional<Outcome> recorded = outcomeNamed(e.Field(QStringLiteral("result")));
    RaceResult r;
    if (e.kind == kind::Start)
        r = rules.Start(row, stamp);
    else if (e.kind == kind::Stop)
        r = rules.Stop(row, stamp);
    else if (e.kind == kind::Interim)
        r = rules.InterimStop(row, stamp);
    else if (e.kind == kind::InsertInterim)
        r = rules.InsertInterim(row, intOf(e, QStringLiteral("interim"), -1));
    else if (e.kind == kind::End)
        r = rules.End(row);
    else if (e.kind == kind::Reset)
        r = rules.Reset();
    else if (e.kind == kind::Lock)
        r = rules.ToggleLock(barrier, row);
    else if (e.kind == kind::LockoutEnded)
        r = rules.LockoutEnded(barrier, row);
    else if (e.kind == kind::RowState)
        r = rules.RowStateRefresh(row);
    else if (e.kind == kind::Rank)
        r = rules.RankRefresh(row);
    else if (e.kind == kind::Loaded)
        r = rules.Loaded(row);
    else if (e.kind == kind::Settings) {
        const RaceSettings s = SettingsOf(e, rules.Settings());
        rules.SetSettings(s);
        r = rules.SettingsChanged(s, row);
    } else if (e.kind == kind::Barrier) {
        const bool stop = flagOf(e, QStringLiteral("stop"));
        const bool start = flagOf(e, QStringLiteral("start"));
        const BarrierResult b = rules.BarrierImpulse(stop, start, row, stamp);
        if (agrees) {
            const auto same = [&](const QString& key, bool requested, Outcome got) {
                return !requested || outcomeNamed(e.Field(key)) == got;
            };
            *agrees = same(QStringLiteral("stopresult"), stop, b.stop)
                && same(QStringLiteral("startresult"), start, b.start);
        }
        return b.view;
    } else {
        return std::nullopt;
    }
    if (agrees)
        *agrees = !recorded || *recorded == r.outcome;
    return r.view;
}

bool CutTornEnd(const QString& fileName, QString* reason)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite)) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    if (size == 0)
        return true;
    // Only the tail is read: a line is far shorter than this.
    const qint64 from = std::max<qint64>(0, size - (1 << 20));
    file.seek(from);
    const QByteArray tail = file.readAll();
    if (tail.endsWith('\n'))
        return true;
    const qsizetype lastEnd = tail.lastIndexOf('\n');
    const qint64 keep = lastEnd < 0 ? (from == 0 ? 0 : size) : from + lastEnd + 1;
    if (keep == size)
        return true;
    if (!file.resize(keep) || !file.flush()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace race
