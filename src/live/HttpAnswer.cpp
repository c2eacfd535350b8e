// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "live/HttpAnswer.h"

#include <QTimeZone>

#include <cstdio>

namespace live {

QByteArray ReasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 417:
        return "Expectation Failed";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

QByteArray ErrorText(int status)
{
    switch (status) {
    case 400:
        return "Fehlerhafte Anfrage.\n";
    case 408:
        return "Die Anfrage kam nicht rechtzeitig vollständig an.\n";
    case 413:
    case 431:
        return "Anfrage zu gross.\n";
    case 417:
        return "Nur die Erwartung \"100-continue\" wird erfüllt.\n";
    case 501:
        return "Diese Übertragungsart wird nicht unterstützt.\n";
    case 505:
        return "Nur HTTP/1.0 und HTTP/1.1.\n";
    default:
        return "Fehler.\n";
    }
}

QByteArray HttpDate(const QDateTime& moment)
{
    static const char* const kDays[] = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
    static const char* const kMonths[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    const QDateTime utc = moment.toTimeZone(QTimeZone::utc());
    const QDate d = utc.date();
    const QTime t = utc.time();
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[d.dayOfWeek() - 1], d.day(),
        kMonths[d.month() - 1], d.year(), t.hour(), t.minute(), t.second());
    return text;
}

QByteArray DateField()
{
    // Made once a second: a busy server answers many times within one.
    thread_local qint64 second = -1;
    thread_local QByteArray field;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const qint64 s = now.toSecsSinceEpoch();
    if (s != second) {
        second = s;
        field = "Date: " + HttpDate(now) + "\r\n";
    }
    return field;
}

} // namespace live
