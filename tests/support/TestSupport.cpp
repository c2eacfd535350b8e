// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

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

bool UseDocumentsFolder(const QString& folder)
{
    // Only a configuration folder of the test's own: the user's real
    // user-dirs.dirs is never touched.
    if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) {
        qWarning("UseDocumentsFolder: XDG_CONFIG_HOME is not set (run the test through ctest)");
        return false;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString file = config + QStringLiteral("/user-dirs.dirs");
    if (folder.isEmpty())
        return !QFile::exists(file) || QFile::remove(file);
    return QDir().mkpath(config) && WriteFileBytes(file, "XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(folder) + "\"\n");
}
