// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/Shell.h"

#include <QStringList>

namespace platform {

// Remembers every call as "open <name>" or "print <name>". Printing fails
// with printFailure as its reason when that is set.
class RecordingShell final : public Shell {
public:
    bool open(const QString& fileOrUrl) override;
    bool print(const QString& file, QString* reason) override;
    QStringList calls;
    QString printFailure;
};

// Installs a fixed printer answer for the lifetime of the object.
class ScopedPrinterPresence final : public PrinterPresence {
public:
    explicit ScopedPrinterPresence(bool present)
        : m_present(present)
        , m_previous(CurrentPrinterPresence())
    {
        SetPrinterPresence(this);
    }
    ~ScopedPrinterPresence() override { SetPrinterPresence(m_previous); }
    Q_DISABLE_COPY_MOVE(ScopedPrinterPresence)
    bool HasPrinter() override { return m_present; }
    void set(bool present) { m_present = present; }

private:
    bool m_present;
    PrinterPresence* m_previous;
};

} // namespace platform
