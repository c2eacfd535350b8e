#pragma once

#include <QString>
#include <QStringList>

// The comma text of a string list as the grid's backup file carries it: the
// items joined by ","; an item holding a character of code 32 or less, a
// double quote or a comma is enclosed in double quotes with every inner
// double quote doubled. A list of exactly one empty item is written as "".
QString CommaText(const QStringList& items);

// Appends the comma text of items to out (no allocation per item).
void AppendCommaText(QString& out, const QStringList& items);

// Splits a comma text: quoted items lose their quotes, unquoted items end at
// a comma or a character of code 32 or less, blanks around separators are
// skipped.
QStringList SplitCommaText(const QString& text);
