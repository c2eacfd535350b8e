// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/PortMap.h"

#include "platform/AppInfo.h"
#include "platform/SerialAdapter.h"
#include "platform/Settings.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace platform {

namespace {

const char* const kFamilies[] = { "ttyS", "ttyUSB", "ttyACM" };
constexpr int kMaxNumber = 255; // port numbers are 8 bits

// The unit number of a node named family + decimal digits, else -1.
int UnitNumber(const QString& name, const QString& family)
{
    if (!name.startsWith(family) || name.size() == family.size() || name.size() > family.size() + 4)
        return -1;
    const QString digits = name.mid(family.size());
    for (QChar c : digits) {
        if (!c.isDigit())
            return -1;
    }
    return digits.toInt();
}

} // namespace

PortMap::PortMap(QString devFolder, QMap<int, QString> overrides, QString sysfsRoot)
    : m_devFolder(std::move(devFolder))
    , m_overrides(std::move(overrides))
    , m_sysfsRoot(std::move(sysfsRoot))
{
}

PortMap PortMap::FromSettings(const QString& devFolder, const QString& sysfsRoot)
{
    return PortMap(devFolder, OverridesFromSettings(), sysfsRoot);
}

QMap<int, QString> PortMap::OverridesFromSettings()
{
    return settings::ReadPortPaths(SettingsStore(ApplicationTitle()));
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
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const char* family : kFamilies) {
        const QString prefix = QLatin1String(family);
        std::vector<std::pair<int, QString>> units;
        for (const QString& name : names) {
            const int unit = UnitNumber(name, prefix);
            // exists() follows symbolic links: a dangling link is a missing node.
            if (unit >= 0 && QFileInfo::exists(dir.filePath(name)))
                units.emplace_back(unit, dir.filePath(name));
        }
        std::sort(units.begin(), units.end());
        for (const auto& [unit, path] : units) {
            if (nodes.size() >= maxCount)
                return nodes;
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

QString PortMap::StablePath(const QString& node) const
{
    const QDir byId(QDir(m_devFolder).filePath(QStringLiteral("serial/by-id")));
    if (node.startsWith(byId.path() + QLatin1Char('/')))
        return node;
    const QString target = QFileInfo(node).canonicalFilePath();
    if (target.isEmpty())
        return {};
    for (const QString& name : byId.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        if (QFileInfo(byId.filePath(name)).canonicalFilePath() == target)
            return byId.filePath(name);
    }
    return {};
}

std::vector<SerialPortInfo> PortMap::List() const
{
    std::vector<SerialPortInfo> ports;
    const QMap<int, QString> devices = Devices(kMaxNumber);
    const QString sysfs = m_sysfsRoot.isEmpty() ? SysfsRoot() : m_sysfsRoot;
    for (auto it = devices.cbegin(); it != devices.cend(); ++it) {
        if (SerialNodeIsPort(it.value(), sysfs))
            ports.push_back(SerialPortInfo { it.key(), it.value(), StablePath(it.value()) });
    }
    return ports;
}

} // namespace platform
