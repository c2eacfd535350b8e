// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <functional>

namespace platform {

// The shell's verbs on a file: "open" shows it with the default application,
// "print" prints it. Behind an interface so tests record the calls (the
// offscreen platform cannot open files). A failed print gives false and, when
// asked, the reason.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const QString& fileOrUrl) = 0;
    virtual bool print(const QString& file, QString* reason) = 0;
};

// The shell in use; the desktop shell unless a test installed another.
Shell& CurrentShell();
void SetShell(Shell* shell); // nullptr restores the desktop shell

// Printing needs the widget layer, which sits above this one: the program
// installs its printer at start-up. Without one, "print" fails.
using PrintFunction = std::function<bool(const QString& file, QString* reason)>;
void SetPrintFunction(PrintFunction print);

// Opens with QDesktopServices; prints through the installed print function.
class DesktopShell final : public Shell {
public:
    bool open(const QString& fileOrUrl) override;
    bool print(const QString& file, QString* reason) override;
};

// Whether at least one printer is installed. The answer comes from the
// presence the program installs (tests install a fixed one); none installed
// means no printer.
class PrinterPresence {
public:
    virtual ~PrinterPresence() = default;
    virtual bool HasPrinter() = 0;
};

bool HasPrinter();
void SetPrinterPresence(PrinterPresence* presence); // the caller keeps ownership
PrinterPresence* CurrentPrinterPresence();

} // namespace platform
