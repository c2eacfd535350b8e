// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/SheetName.h"

#include "protocol/XmlText.h"

#include <QTextBoundaryFinder>

namespace protocol {

namespace {

bool trimmedAway(QChar c)
{
    return c == QLatin1Char('\'') || c.isSpace();
}

// The writer refuses a name that starts or ends with an apostrophe; blanks
// there are invisible on the sheet's tab and only make two names look alike.
QString trimEnds(const QString& name)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && trimmedAway(name[begin]))
        ++begin;
    while (end > begin && trimmedAway(name[end - 1]))
        --end;
    return name.mid(begin, end - begin);
}

// The longest start of `name` of at most `limit` units that ends where a
// character as the reader sees it (a grapheme) ends.
QString cutAtCharacter(const QString& name, qsizetype limit)
{
    if (name.size() <= limit)
        return name;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
    graphemes.setPosition(limit);
    if (!graphemes.isAtBoundary())
        graphemes.toPreviousBoundary();
    return name.left(std::max<qsizetype>(graphemes.position(), 0));
}

} // namespace

QString SheetName(const QString& wanted, const QStringList& taken)
{
    QString name = XmlSafeText(wanted);
    for (QChar& c : name) {
        if (QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 32)
            c = QLatin1Char('_');
    }
    QString base = trimEnds(cutAtCharacter(trimEnds(name), kMaxSheetName));
    if (base.isEmpty())
        base = QStringLiteral("Tabelle");
    QString unique = base;
    for (int n = 2; taken.contains(unique, Qt::CaseInsensitive); ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        unique = trimEnds(cutAtCharacter(base, kMaxSheetName - suffix.size())) + suffix;
    }
    return unique;
}

} // namespace protocol
