// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SerialAdapter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>

namespace platform {

namespace {

std::mutex g_rootMutex;
QString g_root;

struct DriverFacts {
    const char* driver;
    const char* family;
};

// The drivers of the adapters clubs own, by the name the kernel gives them.
constexpr DriverFacts kDrivers[] = {
    { "ftdi_sio", "FTDI" },
    { "cp210x", "CP210x" },
    { "pl2303", "PL2303" },
    { "ch341-uart", "CH340" },
    { "ch341", "CH340" },
    { "cdc_acm", "USB-CDC" },
    // 8250-type UARTs: the port on the main board (PnP or platform) or a PCI card.
    { "serial", "Eingebaute Schnittstelle" },
    { "serial8250", "Eingebaute Schnittstelle" },
    { "exar_serial", "Eingebaute Schnittstelle" },
};

QString TtyFolder(const QString& sysfsRoot, const QString& tty)
{
    return sysfsRoot + QStringLiteral("/class/tty/") + tty;
}

// A device's driver link leads into its bus's driver folder, named after the
// driver. The serial core puts a port and a controller device of its own
// (bus serial-base) between a UART's tty and the hardware: the driver that
// counts is the first one above them.
QString DriverOfDevice(const QString& device)
{
    QString folder = QFileInfo(device).canonicalFilePath();
    for (int depth = 0; depth < 4 && !folder.isEmpty(); ++depth) {
        const QFileInfo link(folder + QStringLiteral("/driver"));
        if (!link.isSymLink())
            return {};
        const QString target = link.symLinkTarget();
        if (!target.contains(QLatin1String("/bus/serial-base/")))
            return QFileInfo(target).fileName();
        folder = QFileInfo(folder).absolutePath();
    }
    return {};
}

} // namespace

QString SysfsRoot()
{
    std::lock_guard lock(g_rootMutex);
    return g_root.isEmpty() ? QStringLiteral("/sys") : g_root;
}

void SetSysfsRoot(const QString& root)
{
    std::lock_guard lock(g_rootMutex);
    g_root = root;
}

QString TtyName(const QString& node)
{
    const QString target = QFileInfo(node).canonicalFilePath();
    return QFileInfo(target.isEmpty() ? node : target).fileName();
}

QString LatencyTimerPath(const QString& sysfsRoot, const QString& tty)
{
    return TtyFolder(sysfsRoot, tty) + QStringLiteral("/device/latency_timer");
}

int ReadLatencyTimer(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const int value = file.read(16).trimmed().toInt(&ok);
    return ok && value >= 0 ? value : -1;
}

SerialAdapter DescribeSerialNode(const QString& node)
{
    SerialAdapter adapter;
    if (node.isEmpty())
        return adapter;
    const QString root = SysfsRoot();
    adapter.tty = TtyName(node);
    adapter.driver = DriverOfDevice(TtyFolder(root, adapter.tty) + QStringLiteral("/device"));
    adapter.carriesCts = adapter.driver != QLatin1String("cdc_acm");
    if (adapter.driver == QLatin1String("ftdi_sio"))
        adapter.latencyMs = ReadLatencyTimer(LatencyTimerPath(root, adapter.tty));
    return adapter;
}

QString AdapterFamily(const QString& driver)
{
    for (const DriverFacts& facts : kDrivers) {
        if (driver == QLatin1String(facts.driver))
            return QString::fromUtf8(facts.family);
    }
    return driver;
}

} // namespace platform
