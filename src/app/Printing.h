// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Shell.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

// Printing on the default printer without a dialog, and whether any printer
// is installed. Qt's printing needs the widget layer, so it lives here and is
// installed into the platform's shell when the application starts.
//
// The results page is printed as a readable list (see ResultsPrint.h); any
// other page as it reads. False with the reason when the file cannot be
// read, no printer is set up or the printer refuses the job.
bool PrintHtmlFile(const QString& file, QString* reason = nullptr);

// Whether a printer exists, asked on a thread of its own: asking means a round
// trip to the print server, and START asks. HasPrinter never waits: it answers
// with the last answer (no printer before the first one arrives) and asks
// again in the background when that answer is older than a few seconds. When
// an answer differs from the one before, the listener runs on the GUI thread.
class BackgroundPrinterPresence final : public QObject, public platform::PrinterPresence {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackgroundPrinterPresence)
public:
    using Query = std::function<bool()>;
    explicit BackgroundPrinterPresence(Query query, int maxAgeMs = 5000);
    // A question the print server has not answered yet is abandoned, not
    // waited for: the program does not wait for the print server at its end
    // either.
    ~BackgroundPrinterPresence() override;

    bool HasPrinter() override;
    bool Answered() const { return m_answered; }

private:
    void Ask();
    void Answer(bool present);

    struct Asking;

    Query m_query;
    int m_maxAgeMs;
    std::shared_ptr<Asking> m_asked; // shared with the thread that asks
    QElapsedTimer m_age;
    bool m_asking = false;
    bool m_answered = false;
    bool m_present = false;
    std::thread m_worker;
};

// The system's printer list through Qt, asked in the background.
platform::PrinterPresence& SystemPrinterPresence();

// Runs on the GUI thread whenever a background answer changes; empty: nobody.
void SetPrinterPresenceListener(std::function<void()> listener);

// Makes the desktop shell print through PrintHtmlFile and the printer
// question go to the system.
void InstallPrinting();
