// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/StationsAtFinish.h"

#include "gridstore/CellStore.h"
#include "gridstore/CellTable.h"
#include "gridstore/GridCommaText.h"
#include "platform/AtomicFile.h"
#include "platform/WallClock.h"
#include "protocol/Columns.h"
#include "race/JournalEvents.h"
#include "race/JournalLine.h"
#include "race/JournalRecorder.h"
#include "race/Race.h"
#include "race/RaceText.h"
#include "stations/StationFile.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <set>

using stations::Role;

namespace {

// The merge is asked this often: a finish impulse that waited for nothing
// reaches the race within about this.
constexpr int kReleaseMs = 100;

platform::Stamp stampOf(const stations::FinishTime& at)
{
    return { at.tick, QDateTime::fromMSecsSinceEpoch(at.wallNs / 1'000'000).time() };
}

QString whyNotStarted(race::Outcome outcome)
{
    switch (outcome) {
    case race::Outcome::Locked:
        return QStringLiteral("Startlichtschranke gesperrt (F11 gibt sie frei)");
    case race::Outcome::LockoutRunning:
        return QStringLiteral("Start-Sperrzeit lief noch");
    case race::Outcome::NotRequested:
        return QStringLiteral("Algorithmus der Lichtschranke fragt keinen Start");
    default:
        return QStringLiteral("kein Eintrag konnte starten");
    }
}

// What the stations' times are kept by: the entry's number and its start's
// time of day, which neither STOPP nor a sort changes (run 2 writes a new
// start). Two starts within a hundredth have different numbers.
QString entryKey(const QString& number, const QString& start)
{
    return TrimBlanks(number) + QLatin1Char('|') + TrimBlanks(start);
}

std::int64_t wallOf(const platform::LineEvent& change)
{
    return change.wallClockMs != 0 ? change.wallClockMs * 1'000'000 : platform::WallClockNs();
}

} // namespace

StationsAtFinish::StationsAtFinish(
    race::Race& race, race::LightBarriers& barriers, race::JournalRecorder* journal, QString stateFile, QObject* parent)
    : QObject(parent)
    , m_race(race)
    , m_barriers(barriers)
    , m_journal(journal)
    , m_stateFile(std::move(stateFile))
{
    m_release.setInterval(kReleaseMs);
    connect(&m_release, &QTimer::timeout, this, [this] { release(); });
    readState();
}

StationsAtFinish::~StationsAtFinish() = default;

void StationsAtFinish::SetWaitLimitNs(std::int64_t limitNs)
{
    if (!m_merge.Waiting())
        m_merge = stations::Merge(limitNs);
}

void StationsAtFinish::Configure(const settings::Stations& settings, stations::LinkOptions options)
{
    for (int i = 0; i < settings::kStationPeers; ++i) {
        const Role role = static_cast<Role>(i + 1);
        const settings::StationPeer& peer = settings.peers[i];
        const auto existing = m_links.find(int(role));
        if (existing != m_links.end() && existing->second.setting == peer)
            continue;
        if (existing != m_links.end())
            m_links.erase(existing);
        const auto config = settings.role == 0 && !peer.address.isEmpty()
            ? stations::ParseStationAddress(role, peer.address, peer.code)
            : std::nullopt;
        if (!config) {
            m_merge.SetHolding(role, false);
            continue;
        }
        Peer& added = m_links[int(role)];
        added.setting = peer;
        added.link = std::make_unique<stations::StationLink>(*config, m_applied[int(role)], options, this);
        auto* link = added.link.get();
        link->SetAcknowledged(m_applied[int(role)]);
        connect(link, &stations::StationLink::ImpulseArrived, this,
            [this](const stations::Impulse& impulse) { arrived(impulse, false); });
        connect(link, &stations::StationLink::Confirmed, this, [this, link](Role r, qint64 stationNs) {
            // Before the first clock exchange the station's time means
            // nothing here: confirming with it could release too much.
            if (link->Offset().Known())
                m_merge.Confirm(r, link->Offset().ToFinish(stationNs, platform::WallClockNs()));
        });
        connect(link, &stations::StationLink::StateChanged, this, [this] {
            if (OnStateChanged)
                OnStateChanged();
        });
        connect(link, &stations::StationLink::OffsetChanged, this, [this] {
            if (OnStateChanged)
                OnStateChanged();
        });
        connect(link, &stations::StationLink::Refused, this, [this](Role, const QString& reason) {
            if (Notice)
                Notice(reason, true);
        });
        connect(link, &stations::StationLink::ClockStepped, this, [this](Role r, qint64 fromNs, qint64 toNs) {
            if (m_journal)
                m_journal->NoteClockStep(stations::RoleKey(r), fromNs, toNs);
            if (Notice)
                Notice(QStringLiteral("Uhr der Station %1 ist gesprungen: %2 → %3")
                           .arg(stations::RoleCaption(r), stations::FormatMilliseconds(fromNs, true),
                               stations::FormatMilliseconds(toNs, true)),
                    true);
        });
        link->Start();
    }
    if (m_links.empty())
        m_release.stop();
    else
        m_release.start();
}

bool StationsAtFinish::Holds() const
{
    return m_links.count(int(Role::Start)) > 0;
}

void StationsAtFinish::AddFinishLine(const platform::LineEvent& change)
{
    const std::uint64_t id = m_nextFinishId++;
    m_finishLines.emplace(id, change);
    const stations::TickWallPair pair = stations::TickWallPair::Now();
    const std::int64_t wall = wallOf(change);
    m_merge.AddFinish(id, { wall, change.stamp.tick }, pair.wallNs);
    release();
}

std::int64_t StationsAtFinish::offsetOf(Role role) const
{
    const auto found = m_links.find(int(role));
    if (found == m_links.end() || !found->second.link->Offset().Known())
        return 0;
    return found->second.link->Offset().OffsetNs(platform::WallClockNs());
}

void StationsAtFinish::arrived(const stations::Impulse& impulse, bool fromFile)
{
    const auto link = m_links.find(int(impulse.role));
    // The stream can bring impulses before the first clock exchange has
    // answered: they wait for the offset rather than being mapped without it.
    if (!fromFile && link != m_links.end() && !link->second.link->Offset().Known()) {
        m_early.push_back(impulse);
        return;
    }
    const stations::TickWallPair pair = stations::TickWallPair::Now();
    // A file read without a link knows no offset: the clocks are taken as
    // agreeing, as the official set them.
    const std::int64_t offset = fromFile && !m_links.count(int(impulse.role)) ? 0 : offsetOf(impulse.role);
    m_merge.AddStation(impulse, stations::MapToFinish(impulse.wallNs, offset, pair), pair.wallNs);
    // It counts as applied when the race has it; until then a restart
    // fetches it again.
    release();
}

void StationsAtFinish::release()
{
    while (!m_early.empty()) {
        const auto link = m_links.find(int(m_early.front().role));
        if (link != m_links.end() && !link->second.link->Offset().Known())
            break;
        const stations::Impulse impulse = m_early.front();
        m_early.pop_front();
        if (link != m_links.end())
            arrived(impulse, false);
    }
    for (const stations::MergedImpulse& merged : m_merge.Release(platform::WallClockNs()))
        apply(merged);
    for (const stations::MergedImpulse& merged : m_merge.TakeLate())
        late(merged);
    const QString wait = m_merge.WaitText(platform::WallClockNs());
    if (wait != m_lastWait) {
        m_lastWait = wait;
        if (OnStateChanged)
            OnStateChanged();
    }
}

void StationsAtFinish::apply(const stations::MergedImpulse& merged)
{
    if (!merged.fromStation) {
        const auto found = m_finishLines.find(merged.finishId);
        if (found == m_finishLines.end())
            return;
        const platform::LineEvent change = found->second;
        m_finishLines.erase(found);
        if (ApplyFinishLine)
            ApplyFinishLine(change);
        return;
    }
    const stations::Impulse& impulse = merged.station;
    if (impulse.sequence <= m_applied[int(impulse.role)])
        return; // the file and the link brought the same one
    const platform::Stamp stamp = stampOf(merged.at);
    if (impulse.role == Role::Start) {
        if (m_journal)
            m_journal->NoteStationImpulse(stations::RoleKey(impulse.role), impulse.sequence);
        const race::BarrierStep step = m_barriers.Impulse(race::Barrier::Start, stamp, CurrentRow ? CurrentRow() : 1);
        if (Mirror)
            Mirror(step);
        if (step.result.start == race::Outcome::Started) {
            markStart(impulse, stamp);
        } else {
            // The start is not lost: the official sees it with its time.
            const QString text
                = QStringLiteral("Start von Station Start um %1 nicht übernommen: %2")
                      .arg(stamp.timeOfDay.toString(QStringLiteral("HH:mm:ss,zzz")), whyNotStarted(step.result.start));
            m_unassigned.append(text);
            if (Notice)
                Notice(text, true);
        }
    } else {
        interim(impulse, stamp);
    }
    noteApplied(impulse.role, impulse.sequence);
}

void StationsAtFinish::interim(const stations::Impulse& impulse, const platform::Stamp& stamp)
{
    // The earliest running entry that started before the impulse and has no
    // time from this station yet: runners pass an interim station in the
    // order they started, as far as the timer can know.
    const size_t station = size_t(impulse.role) - size_t(Role::Split1);
    const TCellStore& cells = m_race.Table().TableStore();
    int best = -1;
    platform::Tick bestStart = 0;
    for (int row = 1; row < cells.RowCount(); ++row) {
        if (m_race.StateOf(row) != race::Race::RowState::Running)
            continue;
        const auto found
            = m_marks.find(entryKey(cells.Cell(protocol::kColNr, row), cells.Cell(protocol::kColStart, row)));
        if (found != m_marks.end() && found->second.interimMs[station])
            continue;
        const platform::Tick start = cells.Cell(protocol::kColRaw, row).toInt();
        if (platform::TickDiff(stamp.tick, start) < 0)
            continue;
        if (best < 0 || platform::TickDiff(start, bestStart) < 0) {
            best = row;
            bestStart = start;
        }
    }
    const QString who = stations::RoleCaption(impulse.role);
    const QString time = stamp.timeOfDay.toString(QStringLiteral("HH:mm:ss,zzz"));
    if (best < 0) {
        // Nobody on course could have passed: the official decides.
        const QString text = QStringLiteral("%1 um %2 (Nr. %3): kein laufender Teilnehmer ohne Zeit dieser Station")
                                 .arg(who, time)
                                 .arg(impulse.sequence);
        m_unassigned.append(text);
        if (Notice)
            Notice(text, true);
        return;
    }
    const QString number = TrimBlanks(cells.Cell(protocol::kColNr, best));
    const QString start = TrimBlanks(cells.Cell(protocol::kColStart, best));
    const std::int32_t ms = platform::TickDiff(stamp.tick, bestStart);
    m_marks[entryKey(number, start)].interimMs[station] = ms;
    if (m_journal)
        m_journal->NoteStationTime(stations::RoleKey(impulse.role), impulse.sequence, stamp, number, start, ms);
    m_interims.append(
        QStringLiteral("%1: Nr. %2 %3 (%4)").arg(who, number, RunTimeText(ms, m_race.Settings().accuracy), time));
    if (OnMarksChanged)
        OnMarksChanged();
    if (OnStateChanged)
        OnStateChanged();
}

void StationsAtFinish::markStart(const stations::Impulse& impulse, const platform::Stamp& stamp)
{
    // The entry the start went to holds its tick while it runs.
    const TCellStore& cells = m_race.Table().TableStore();
    const QString tick = QString::number(stamp.tick);
    for (int row = 1; row < cells.RowCount(); ++row) {
        if (m_race.StateOf(row) != race::Race::RowState::Running
            || TrimBlanks(cells.Cell(protocol::kColRaw, row)) != tick)
            continue;
        const QString number = TrimBlanks(cells.Cell(protocol::kColNr, row));
        const QString start = TrimBlanks(cells.Cell(protocol::kColStart, row));
        m_marks[entryKey(number, start)].startAtStation = true;
        if (m_journal)
            m_journal->NoteStationTime(
                stations::RoleKey(impulse.role), impulse.sequence, stamp, number, start, std::nullopt);
        if (OnMarksChanged)
            OnMarksChanged();
        return;
    }
}

void StationsAtFinish::Decorate(race::Snapshot& snapshot) const
{
    if (m_links.empty())
        return;
    for (const auto& [role, peer] : m_links)
        snapshot.stations.append(stations::RoleKey(static_cast<Role>(role)));
    for (race::SnapshotEntry& e : snapshot.entries) {
        if (TrimBlanks(e.start).isEmpty() || e.state == race::Race::RowState::Free)
            continue;
        const auto found = m_marks.find(entryKey(e.number, e.start));
        const bool atStation = found != m_marks.end() && found->second.startAtStation;
        e.startFrom = stations::RoleKey(atStation ? Role::Start : Role::Finish);
        if (found == m_marks.end())
            continue;
        for (size_t i = 0; i < e.interimMs.size(); ++i) {
            if (const auto ms = found->second.interimMs[i]) {
                e.interimMs[i] = *ms;
                e.interim[i] = RunTimeText(*ms, snapshot.accuracy);
            }
        }
    }
}

void StationsAtFinish::late(const stations::MergedImpulse& merged)
{
    const stations::Impulse& impulse = merged.station;
    if (impulse.sequence <= m_applied[int(impulse.role)])
        return;
    // A later impulse is in the race already: which runner this start was
    // is the official's to say.
    const QString text = QStringLiteral("Verspäteter Impuls von Station %1 (Nr. %2, %3) nicht zugeordnet – bitte "
                                        "von Hand eintragen")
                             .arg(stations::RoleCaption(impulse.role))
                             .arg(impulse.sequence)
                             .arg(stampOf(merged.at).timeOfDay.toString(QStringLiteral("HH:mm:ss,zzz")));
    m_unassigned.append(text);
    if (Notice)
        Notice(text, true);
    noteApplied(impulse.role, impulse.sequence);
}

void StationsAtFinish::noteApplied(Role role, std::uint64_t sequence)
{
    m_applied[int(role)] = std::max(m_applied[int(role)], sequence);
    if (const auto found = m_links.find(int(role)); found != m_links.end())
        found->second.link->SetAcknowledged(m_applied[int(role)]);
    writeState();
}

std::uint64_t StationsAtFinish::Applied(Role role) const
{
    return m_applied[int(role)];
}

void StationsAtFinish::ResumeFromJournal(const QString& journalFile)
{
    const std::optional<race::JournalContents> contents = race::ReadJournal(journalFile);
    if (!contents)
        return;
    std::array<std::optional<std::uint64_t>, stations::kRoleCount> found;
    std::map<QString, QString> starts; // station starts without a line of whose they were: by number
    const QString started = QString::fromLatin1(race::OutcomeName(race::Outcome::Started));
    for (const race::JournalEntry& entry : contents->entries) {
        if (!entry.HasField(QStringLiteral("station")) || !entry.HasField(QStringLiteral("nr")))
            continue;
        const QString station = entry.Field(QStringLiteral("station"));
        std::optional<Role> role;
        for (int r = 1; r < stations::kRoleCount; ++r)
            if (station == stations::RoleKey(static_cast<Role>(r)))
                role = static_cast<Role>(r);
        if (!role)
            continue;
        found[int(*role)]
            = std::max<std::uint64_t>(found[int(*role)].value_or(0), entry.Field(QStringLiteral("nr")).toULongLong());
        // Whose start and interim time each was: lines of their own after
        // the impulse's.
        if (entry.kind == race::kind::StationStart || entry.kind == race::kind::StationInterim) {
            Marks& marks
                = m_marks[entryKey(entry.Field(QStringLiteral("startnr")), entry.Field(QStringLiteral("startzeit")))];
            bool ok = false;
            const int ms = entry.Field(QStringLiteral("ms")).toInt(&ok);
            if (entry.kind == race::kind::StationStart)
                marks.startAtStation = true;
            else if (stations::IsSplit(*role) && ok)
                marks.interimMs[size_t(*role) - size_t(Role::Split1)] = ms;
            starts.erase(entry.Field(QStringLiteral("nr")));
        } else if (*role == Role::Start && entry.Field(QStringLiteral("startresult")) == started) {
            starts[entry.Field(QStringLiteral("nr"))] = TimeOfDayText(entry.time);
        }
    }
    // A start whose own line did not reach the disk before the crash: the
    // entry is the one that started then, when only one did.
    const TCellStore& cells = m_race.Table().TableStore();
    for (const auto& [sequence, start] : starts) {
        int only = -1;
        for (int row = 1; row < cells.RowCount(); ++row) {
            if (TrimBlanks(cells.Cell(protocol::kColStart, row)) == start)
                only = only < 0 ? row : 0;
        }
        if (only > 0)
            m_marks[entryKey(cells.Cell(protocol::kColNr, only), start)].startAtStation = true;
    }
    // The race is what the journal holds: impulses after its last one are
    // fetched again, even where the file beside it counted them.
    for (int r = 1; r < stations::kRoleCount; ++r)
        if (found[r])
            m_applied[r] = *found[r];
    writeState();
}

QString StationsAtFinish::LoadFile(const QString& fileName)
{
    // Which station's file it is shows only after reading: try each code.
    for (const auto& [role, peer] : m_links) {
        const stations::StationFileContent content = stations::LoadStationFile(fileName, peer.setting.code);
        if (!content.ok || int(content.role) != role)
            continue;
        stations::SequenceGate gate(m_applied[role]);
        QStringList problems = content.problems;
        const std::vector<stations::Impulse> fresh = stations::TakeNew(content, gate, &problems);
        peer.link->SetApplied(gate.Applied());
        for (const stations::Impulse& impulse : fresh)
            arrived(impulse, true);
        QString report = QStringLiteral("Stationsdatei %1: %2 neue Impulse übernommen, %3 waren schon da")
                             .arg(stations::RoleCaption(content.role))
                             .arg(fresh.size())
                             .arg(content.impulses.size() - fresh.size());
        if (!problems.isEmpty())
            report += QLatin1Char('\n') + problems.join(QLatin1Char('\n'));
        return report;
    }
    return QStringLiteral("Die Datei ist keine Stationsdatei einer eingetragenen Station (Code und Station prüfen): %1")
        .arg(fileName);
}

QStringList StationsAtFinish::HeaderLines() const
{
    QStringList lines;
    const std::int64_t now = platform::WallClockNs();
    for (const auto& [role, peer] : m_links) {
        const stations::StationLink& link = *peer.link;
        QString line = link.Offset().Text(static_cast<Role>(role), now);
        if (link.GetState() != stations::StationLink::State::Connected)
            line += QStringLiteral(" · ") + link.StateText().section(QStringLiteral(": "), 1);
        if (link.Offset().Known())
            line += QStringLiteral(" · Station ") + platform::DescribeKernelClock(link.Offset().StationClock());
        lines.append(line);
    }
    if (!lines.isEmpty())
        lines.append(QStringLiteral("Ziel: ") + platform::DescribeKernelClock(platform::ReadKernelClock()));
    return lines;
}

bool StationsAtFinish::Alarming(int accuracy) const
{
    std::int64_t resolution = 1'000'000'000;
    for (int i = 0; i < accuracy; ++i)
        resolution /= 10;
    const std::int64_t now = platform::WallClockNs();
    return std::any_of(m_links.begin(), m_links.end(),
        [&](const auto& entry) { return entry.second.link->Offset().Alarming(now, resolution); });
}

QString StationsAtFinish::WaitText() const
{
    return m_lastWait;
}

void StationsAtFinish::readState()
{
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() == 2 && parts[0] == "startstation") {
            m_marks[QString::fromUtf8(QByteArray::fromPercentEncoding(parts[1]))].startAtStation = true;
            continue;
        }
        if (parts.size() == 4 && parts[0] == "zwischenzeit") {
            const int station = parts[1].toInt() - 1;
            bool ok = false;
            const int ms = parts[2].toInt(&ok);
            if (ok && station >= 0 && station < race::kInterimStations)
                m_marks[QString::fromUtf8(QByteArray::fromPercentEncoding(parts[3]))].interimMs[size_t(station)] = ms;
            continue;
        }
        if (parts.size() != 2)
            continue;
        for (int r = 1; r < stations::kRoleCount; ++r)
            if (QString::fromLatin1(parts[0]) == stations::RoleKey(static_cast<Role>(r)))
                m_applied[r] = parts[1].toULongLong();
    }
}

void StationsAtFinish::writeState()
{
    QByteArray bytes;
    for (int r = 1; r < stations::kRoleCount; ++r)
        if (m_applied[r] > 0)
            bytes += stations::RoleKey(static_cast<Role>(r)).toLatin1() + ' ' + QByteArray::number(m_applied[r]) + '\n';
    // What the stations gave the entries of the table, so a restart, or a
    // second recovery whose journal began after them, still knows it.
    const TCellStore& cells = m_race.Table().TableStore();
    std::set<QString> entries;
    for (int row = 1; row < cells.RowCount(); ++row)
        entries.insert(entryKey(cells.Cell(protocol::kColNr, row), cells.Cell(protocol::kColStart, row)));
    for (const auto& [key, marks] : m_marks) {
        if (!entries.count(key))
            continue;
        const QByteArray written = key.toUtf8().toPercentEncoding();
        if (marks.startAtStation)
            bytes += "startstation " + written + '\n';
        for (size_t i = 0; i < marks.interimMs.size(); ++i)
            if (marks.interimMs[i])
                bytes += "zwischenzeit " + QByteArray::number(i + 1) + ' ' + QByteArray::number(*marks.interimMs[i])
                    + ' ' + written + '\n';
    }
    QString reason;
    if (!platform::WriteFileAtomically(m_stateFile, bytes, &reason) && Notice)
        Notice(QStringLiteral("Stand der Stationen nicht gespeichert: %1\n%2").arg(m_stateFile, reason), true);
}
