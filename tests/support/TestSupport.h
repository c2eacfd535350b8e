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

// Path of a file in tests/data.
QString TestDataPath(const QString& name);
