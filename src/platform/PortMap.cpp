#include "platform/PortMap.h"

#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

const char* const kFamilies[] = { "ttyS", "ttyUSB", "ttyACM" };
constexpr int kMaxNumber = 255; // port numbers are 8 bits

} // namespace

PortMap::PortMap(QString devFolder, QMap<int, QString> overrides)
    : m_devFolder(std::move(devFolder))
    , m_overrides(std::move(overrides))
{
}

PortMap PortMap::FromSettings(const QString& devFolder)
{
    return PortMap(devFolder, OverridesFromSettings());
}

QMap<int, QString> PortMap::OverridesFromSettings()
{
    QMap<int, QString> overrides;
    SettingsStore store(ApplicationTitle());
    for (const QString& key : store.childKeys(QStringLiteral("Ports"))) {
        const int n = NumberFromName(key);
        const QString path = store.readString(QStringLiteral("Ports/") + key).trimmed();
        if (n > 0 && !path.isEmpty())
            overrides.insert(n, path);
    }
    return overrides;
}

int PortMap::NumberFromName(const QString& name)
{
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    const QString digits = name.mid(3);
    if (digits.isEmpty() || digits.size() > 3)
        return 0;
    for (QChar c : digits) {
        if (!c.isDigit())
            return 0;
    }
    const int n = digits.toInt();
    return n >= 1 && n <= kMaxNumber ? n : 0;
}

QStringList PortMap::FamilyNodes(int maxCount) const
{
    QStringList nodes;
    const QDir dir(m_devFolder);
    for (const char* family : kFamilies) {
        for (int i = 0; nodes.size() < maxCount; ++i) {
            const QString path = dir.filePath(QLatin1String(family) + QString::number(i));
            // exists() follows symbolic links: a dangling link is a missing node.
            if (!QFileInfo::exists(path))
                break;
            nodes.append(path);
        }
    }
    return nodes;
}

QMap<int, QString> PortMap::Devices(int maxNumber) const
{
    QMap<int, QString> devices;
    const QStringList nodes = FamilyNodes(maxNumber);
    int next = 0;
    for (int n = 1; n <= maxNumber; ++n) {
        if (m_overrides.contains(n)) {
            devices.insert(n, m_overrides.value(n));
        } else if (next < nodes.size()) {
            devices.insert(n, nodes.at(next++));
        }
    }
    return devices;
}

QString PortMap::DevicePath(int number) const
{
    if (number < 1 || number > kMaxNumber)
        return {};
    return Devices(number).value(number);
}

} // namespace platform
