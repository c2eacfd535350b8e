// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "gridstore/SortTypes.h"

#include <QLocale>
#include <QString>
#include <QStringList>

// Number, date-and-time and time conversions in a locale's formats (its
// decimal separator, its short date order and separators, its time
// separator). A text that does not convert gives false and leaves value alone.
class TSortConversions {
public:
    explicit TSortConversions(const QLocale& locale = QLocale::system());

    bool ToNumber(const QString& text, double& value) const;
    // Milliseconds on one time line (day number * 86400000 + time of day).
    bool ToDateTime(const QString& text, double& value) const;
    // Milliseconds since midnight.
    bool ToTime(const QString& text, double& value) const;

private:
    enum class DateOrder { DMY, MDY, YMD };

    QLocale m_locale;
    QChar m_dateSeparator;
    QChar m_timeSeparator;
    QChar m_decimalPoint;
    DateOrder m_dateOrder = DateOrder::DMY;
};

// Lower case for the ASCII letters A-Z only; every other character stays.
QString FoldAscii(const QString& text);

// Byte order of the texts' UTF-8 form (code point order); a prefix is smaller.
int CompareNormal(const QString& a, const QString& b);

// The reduction of ssNumericExtended: equal non-digit characters dropped,
// then common trailing separators stripped ("Lap 9"/"Lap 10" -> "9"/"10").
void ReduceNumericExtended(const QString& a, const QString& b, QString& reducedA, QString& reducedB);
int CompareNumericExtended(const QString& a, const QString& b);

// Start numbers as clubs write them: digit runs compare by their value, so 2
// comes before 10 and "12" before "12a" before "12b"; letters compare without
// regard to ASCII case; a number before a letter ("7" before "A7"). Blanks
// around a text do not count, and an empty text comes after every other, as
// the free row after the entries does. Texts of equal value ("007", "7")
// compare by their bytes, so the order is total.
int NaturalNumberOrder(const QString& a, const QString& b);

// One comparison by a style; failed conversions compare as ssNormal,
// ssAutomatic compares as ssNormal, ssCustom without a function as ssNormal.
int CompareTexts(TSortStyle style, const QString& a, const QString& b, const TSortConversions& conversions,
    const TSortCompare& custom = {});

// ssNumeric when every text is a number, else ssDateTime when every text is a
// date-and-time, else ssTime when every text is a time, else ssNormal; an
// empty list gives ssNumeric.
TSortStyle DetectSortStyle(const QStringList& texts, const TSortConversions& conversions);
