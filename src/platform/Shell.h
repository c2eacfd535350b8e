#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The shell's verbs on a file: "open" shows it with the default application,
// "print" prints it. Behind an interface so tests record the calls (the
// offscreen platform cannot open files).
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const QString& fileOrUrl) = 0;
    virtual bool print(const QString& file) = 0;
};

// The shell in use; the desktop shell unless a test installed another.
Shell& CurrentShell();
void SetShell(Shell* shell); // nullptr restores the desktop shell

// Opens with QDesktopServices; prints an HTML file on the default printer
// through Qt PrintSupport, without a dialog.
class DesktopShell final : public Shell {
public:
    bool open(const QString& fileOrUrl) override;
    bool print(const QString& file) override;
};

// Remembers every call as "open <name>" or "print <name>".
class RecordingShell final : public Shell {
public:
    bool open(const QString& fileOrUrl) override;
    bool print(const QString& file) override;
    QStringList calls;
};

// True when at least one printer is installed. Tests may fix the answer.
bool HasPrinter();
void SetPrinterPresenceForTests(int present); // -1 asks the system again

// Prints an HTML file on the default printer; false when there is no printer
// or the file cannot be read.
bool PrintHtmlFile(const QString& file);

} // namespace platform
