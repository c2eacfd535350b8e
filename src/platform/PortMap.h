// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/SerialDevice.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

namespace platform {

// Which device file stands behind "COM" + n. An entry COMn in the settings
// group "Ports" names it directly (a stable path such as /dev/serial/by-id/...);
// every other number follows the usual Linux order: ttyS0, ttyS1, ... then
// ttyUSB0, ... then ttyACM0, ..., every existing node of each family in the
// order of its number (a gap does not end a family), numbered COM1, COM2, ...
// and skipping the numbers that "Ports" claims. The folders are parameters so
// tests can script them: a fake /dev (the stable names are looked up in its
// serial/by-id folder) and a fake /sys (empty: SysfsRoot()).
//
// Nothing here opens a device: opening a serial port raises DTR and RTS on
// whatever is attached (an Arduino resets, a barrier powered from the lines
// flickers). Which ports exist is read from sysfs alone.
class PortMap {
public:
    PortMap(QString devFolder, QMap<int, QString> overrides, QString sysfsRoot = {});

    // Reads the "Ports" group of the application's settings store.
    static PortMap FromSettings(const QString& devFolder = QStringLiteral("/dev"), const QString& sysfsRoot = {});
    // Port numbers from keys "COMn" of the group; other keys are ignored.
    static QMap<int, QString> OverridesFromSettings();

    // Empty when the number has no device.
    QString DevicePath(int number) const;
    // The found devices of the numbers 1..maxNumber.
    QMap<int, QString> Devices(int maxNumber) const;
    // The numbered ports that are real ports (SerialNodeIsPort: a ttyS node
    // without a UART is left out, and keeps its number), each with its stable
    // by-id path where there is one.
    std::vector<SerialPortInfo> List() const;
    // The by-id path that leads to the node (by-id paths lead to themselves);
    // empty when there is none.
    QString StablePath(const QString& node) const;

    static int NumberFromName(const QString& name); // "COM12" -> 12, else 0

private:
    QStringList FamilyNodes(int maxCount) const;

    QString m_devFolder;
    QMap<int, QString> m_overrides;
    QString m_sysfsRoot;
};

} // namespace platform
