#include "support/TestSupport.h"

#include <QFile>

ScopedFakeTick::ScopedFakeTick(platform::Tick start)
    : m_tick(start)
{
    platform::SetTickSource(&m_tick);
}

ScopedFakeTick::~ScopedFakeTick()
{
    platform::SetTickSource(nullptr);
}

QByteArray ReadFileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QString TestDataPath(const QString& name)
{
#ifdef RENNZEIT_TEST_DATA
    return QStringLiteral(RENNZEIT_TEST_DATA "/") + name;
#else
    return name;
#endif
}
