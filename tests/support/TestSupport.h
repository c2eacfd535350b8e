// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "support/FakeTick.h"

#include <QByteArray>
#include <QString>

// Installs a fake tick for the lifetime of the object.
class ScopedFakeTick {
public:
    explicit ScopedFakeTick(platform::Tick start = 1000);
    ~ScopedFakeTick();
    platform::FakeTickSource& tick() { return m_tick; }
    void set(platform::Tick t) { m_tick.set(t); }
    void advance(int ms) { m_tick.advance(ms); }

private:
    platform::FakeTickSource m_tick;
};

// Whole file as bytes; empty when it cannot be read.
QByteArray ReadFileBytes(const QString& path);
bool WriteFileBytes(const QString& path, const QByteArray& bytes);

// Makes `folder` the desktop's documents folder (XDG_DOCUMENTS_DIR in the
// test's own user-dirs.dirs) until the next call; an empty folder removes the
// setting again. False without a configuration folder of the test's own
// (XDG_CONFIG_HOME, which CTest sets).
bool UseDocumentsFolder(const QString& folder);

// Path of a file in tests/data.
QString TestDataPath(const QString& name);
