// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>

// The two pages the server hands out. Each is one self-contained document:
// its style and script are inline, the results travel as JSON in a data
// block (a script element the browser never runs), and the page's own script
// draws them and keeps them fresh from the event stream, or by polling when
// the stream is not available. Nothing is loaded from elsewhere.
namespace live {

// Static: the results page as a file for a web host, beside a copy of
// results.json that it reads every few seconds; no server code needed.
enum class Page { Results, Display, Static };

// The page with the given results JSON; the title is the application title.
QByteArray PageHtml(Page page, const QString& title, const QByteArray& resultsJson);
// The page around the JSON: what comes before it and what follows it.
QByteArray PageHead(Page page, const QString& title);
QByteArray PageTail(Page page);

// The Content-Security-Policy of a page: nothing but its own inline script
// and style (by hash) and requests to the server itself.
QByteArray PagePolicy(Page page);

// Text for an HTML element or a quoted attribute value.
QString HtmlEscaped(const QString& text);

// Where the pages get their data: the results and their event stream, the
// display's data and its stream.
constexpr char kResultsPath[] = "/results.json";
constexpr char kEventsPath[] = "/events";
constexpr char kDisplayDataPath[] = "/display.json";
constexpr char kDisplayEventsPath[] = "/display/events";

// Milliseconds between two polls of the results when the event stream is
// not available; the page says "alle 2 s".
constexpr int kPollMs = 2000;
// The copy on a web host: every reader polls, and a web host serves a file
// that changes at most every two seconds.
constexpr int kStaticPollMs = 5000;

} // namespace live
