#pragma once

#include "platform/Shell.h"

#include <QString>

// Printing on the default printer without a dialog, and whether any printer
// is installed. Qt's printing needs the widget layer, so it lives here and is
// installed into the platform's shell when the application starts.
//
// The results page is printed as a readable list (see ResultsPrint.h); any
// other page as it reads. False with the reason when the file cannot be
// read, no printer is set up or the printer refuses the job.
bool PrintHtmlFile(const QString& file, QString* reason = nullptr);

// The system's printer list, asked through Qt. Asking means a round trip to
// the CUPS server, so the answer is kept for a few seconds.
platform::PrinterPresence& SystemPrinterPresence();

// Makes the desktop shell print through PrintHtmlFile and the printer
// question go to the system.
void InstallPrinting();
