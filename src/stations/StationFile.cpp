// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "stations/StationFile.h"

#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "stations/Signature.h"

#include <QFileInfo>

#include <map>

namespace stations {

namespace {

QByteArray HeaderText(Role role)
{
    return "rennzeit-stationsdatei 1 " + QByteArray::number(int(role));
}

} // namespace

bool SaveStationFile(
    const QString& fileName, Role role, const QString& code, const std::vector<Impulse>& impulses, QString* reason)
{
    QByteArray bytes = SignedLine(code, HeaderText(role)) + '\n';
    for (const Impulse& impulse : impulses)
        bytes += SignedLine(code, CanonicalText(impulse)) + '\n';
    return platform::WriteFileAtomically(fileName, bytes, reason);
}

StationFileContent LoadStationFile(const QString& fileName, const QString& code)
{
    StationFileContent content;
    // A station keeps a few thousand impulses at most; anything far larger
    // is not a station file.
    if (QFileInfo(fileName).size() > (64 << 20)) {
        content.problems << QStringLiteral("%1 ist keine Stationsdatei (zu groß)").arg(fileName);
        return content;
    }
    QByteArray bytes;
    QString why;
    if (!platform::ReadWholeFile(fileName, &bytes, &why)) {
        content.problems << QStringLiteral("%1: %2").arg(fileName, why);
        return content;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    const auto header = VerifiedText(code, lines.value(0).trimmed());
    if (!header) {
        content.problems << (lines.value(0).startsWith("rennzeit-stationsdatei")
                ? QStringLiteral("%1: Kopplungscode passt nicht zur Station").arg(fileName)
                : QStringLiteral("%1 ist keine Stationsdatei").arg(fileName));
        return content;
    }
    const QList<QByteArray> head = header->split(' ');
    const auto role
        = head.size() == 3 && head[1] == "1" ? RoleFromNumber(int(ParseInteger(head[2]).value_or(-1))) : std::nullopt;
    if (!role || *role == Role::Finish) {
        content.problems << QStringLiteral("%1: unbekannte Fassung der Stationsdatei").arg(fileName);
        return content;
    }
    content.ok = true;
    content.role = *role;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const auto text = VerifiedText(code, line);
        const auto impulse = text ? ParseCanonical(*text) : std::nullopt;
        if (!impulse || impulse->role != content.role) {
            content.problems << QStringLiteral("Zeile %1: %2 – nicht übernommen")
                                    .arg(i + 1)
                                    .arg(text ? QStringLiteral("unlesbar") : QStringLiteral("Signatur ungültig"));
            continue;
        }
        content.impulses.push_back(*impulse);
    }
    return content;
}

std::vector<Impulse> TakeNew(const StationFileContent& content, SequenceGate& gate, QStringList* problems)
{
    std::map<std::uint64_t, const Impulse*> bySequence;
    for (const Impulse& impulse : content.impulses)
        bySequence.emplace(impulse.sequence, &impulse);
    std::vector<Impulse> taken;
    for (auto it = bySequence.upper_bound(gate.Applied()); it != bySequence.end(); ++it) {
        if (gate.Take(it->first) != SequenceGate::Verdict::Next) {
            if (problems)
                *problems << QStringLiteral("Impuls %1 fehlt in der Datei; die Impulse ab %2 werden nicht übernommen")
                                 .arg(gate.Applied() + 1)
                                 .arg(it->first);
            break;
        }
        taken.push_back(*it->second);
    }
    return taken;
}

} // namespace stations
