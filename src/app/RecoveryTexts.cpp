// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/RecoveryTexts.h"

#include <QLocale>
#include <QStringList>

#include <cstdlib>

namespace recoverytexts {

namespace {

bool clockUntrusted(const race::JournalRecovery& r)
{
    return r.mapping == race::TickMapping::ClockBackwards || r.mapping == race::TickMapping::ClockJumped;
}

QString count(qsizetype n, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// "1 h 02 min", "5 min": to the minute, as the official reads a clock.
QString clockSetSize(std::int64_t ms)
{
    const std::int64_t minutes = (std::abs(ms) + 30000) / 60000;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// What the official is told of the boot and the clock.
QString clockNote(const race::JournalRecovery& r)
{
    switch (r.mapping) {
    case race::TickMapping::SameBoot:
        // The run times hold (the tick counter ran on), but the start times
        // written from now on follow the clock as it was set.
        if (r.clockSetMs == 0)
            return {};
        return QStringLiteral("Die Uhr des Rechners wurde seit dem letzten Ereignis um %1 %2.")
            .arg(clockSetSize(r.clockSetMs),
                r.clockSetMs < 0 ? QStringLiteral("zurückgestellt") : QStringLiteral("vorgestellt"));
    case race::TickMapping::WallClock:
        return QStringLiteral("Der Rechner wurde neu gestartet; laufende Zeiten werden über die Uhrzeit fortgeführt.");
    case race::TickMapping::ClockBackwards:
        return QStringLiteral("Der Rechner wurde neu gestartet, und seine Uhr geht hinter das Journal zurück: wie "
                              "lange er aus war, ist unbekannt.");
    case race::TickMapping::ClockJumped:
        return QStringLiteral("Der Rechner wurde neu gestartet, und seine Uhr ist mehr als einen Tag weiter als das "
                              "Journal: wie lange er aus war, ist unbekannt.");
    }
    return {};
}

QString runnersNote(const race::JournalRecovery& r)
{
    if (!clockUntrusted(r) || r.runners.isEmpty())
        return {};
    return QStringLiteral("Die Zeiten der Läufer auf der Strecke laufen ab dem letzten Ereignis des Journals weiter, "
                          "ohne die Zeit dazwischen; bitte entscheiden Sie über sie: %1.")
        .arg(r.runners.join(QStringLiteral("; ")));
}

QString unusedNote(const race::JournalRecovery& r)
{
    if (r.unused.isEmpty() && r.stop.isEmpty())
        return {};
    const QString upTo = r.used > 0
        ? QStringLiteral("bis Ereignis %1 (%2)").arg(r.lastSeq).arg(r.lastTime.toString(QStringLiteral("HH:mm:ss")))
        : QStringLiteral("von keinem Ereignis an");
    return QStringLiteral("Das Journal ist nur %1 lesbar (%2); %3 danach lassen sich nicht verwenden.")
        .arg(upTo, r.stop, count(r.unused.size(), QStringLiteral("Ereignis"), QStringLiteral("Ereignisse")));
}

} // namespace

// The list below the text: what cannot be used and, when the clock cannot
// be trusted, who is on course.
QString DetailsText(const race::JournalRecovery& r)
{
    QStringList lines;
    if (!r.unused.isEmpty()) {
        lines << QStringLiteral("Nicht verwendete Ereignisse:");
        for (const race::UnusedLine& u : r.unused)
            lines << u.Text();
    }
    if (clockUntrusted(r) && !r.runners.isEmpty()) {
        if (!lines.isEmpty())
            lines << QString();
        lines << QStringLiteral("Auf der Strecke:") << r.runners;
    }
    return lines.join(QLatin1Char('\n'));
}

QString QuestionText(const race::JournalRecovery& r, int number, int sessions)
{
    QStringList parts { QStringLiteral("Letztes Rennen wiederherstellen?") };
    QString race = QStringLiteral("Rennen vom %1, Start %2, %3")
                       .arg(QLocale().toString(r.day, QLocale::ShortFormat), r.startTime,
                           count(r.entries, QStringLiteral("Eintrag"), QStringLiteral("Einträge")));
    if (!r.runners.isEmpty())
        race += QStringLiteral(", %1 auf der Strecke").arg(r.runners.size());
    parts << race + QLatin1Char('.');
    if (sessions > 1)
        parts << QStringLiteral("Abgebrochenes Rennen %1 von %2 (das neueste zuerst).").arg(number).arg(sessions);
    for (const QString& note : { clockNote(r), runnersNote(r), unusedNote(r) })
        if (!note.isEmpty())
            parts << note;
    if (!r.stop.isEmpty())
        parts << (r.used > 0 ? QStringLiteral("Ja stellt das Rennen bis dahin wieder her.")
                             : QStringLiteral("Ja stellt nichts davon wieder her."));
    return parts.join(QStringLiteral("\n\n"));
}

QString ReportText(const race::JournalRecovery& r, const QString& fileName)
{
    QStringList notes;
    for (const QString& note : { unusedNote(r), clockUntrusted(r) ? clockNote(r) : QString(), runnersNote(r) })
        if (!note.isEmpty())
            notes << note;
    if (r.disagreeing > 0)
        notes << QStringLiteral("%1 ließen sich nicht wie aufgezeichnet wiederholen; bitte prüfen Sie das Protokoll.")
                     .arg(count(r.disagreeing, QStringLiteral("Ereignis"), QStringLiteral("Ereignisse")));
    if (notes.isEmpty())
        return {};
    return QStringLiteral("Das Rennen wurde aus %1 wiederhergestellt.\n\n").arg(fileName)
        + notes.join(QStringLiteral("\n\n"));
}

} // namespace recoverytexts
