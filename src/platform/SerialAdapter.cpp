// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SerialAdapter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <mutex>

#include <sys/stat.h>

namespace platform {

namespace {

std::mutex g_rootMutex;
QString g_root;

struct DriverFacts {
    const char* driver;
    const char* family;
    LineReports reports;
    bool counts; // the counters of the modem lines move
};

// The drivers of the adapters clubs own, by the name the kernel gives them,
// and how each learns of a line change. ftdi_sio, pl2303, ch341 and cdc_acm
// compare each status report with the one before; cp210x answers TIOCMIWAIT
// with ENOTTY and keeps counters that never move for the modem lines.
constexpr DriverFacts kDrivers[] = {
    { "ftdi_sio", "FTDI", LineReports::StatusReports, true },
    { "cp210x", "CP210x", LineReports::Polled, false },
    { "pl2303", "PL2303", LineReports::StatusReports, false },
    { "ch341-uart", "CH340", LineReports::StatusReports, false },
    { "ch341", "CH340", LineReports::StatusReports, false },
    { "cdc_acm", "USB-CDC", LineReports::StatusReports, true },
    // 8250-type UARTs: the port on the main board (PnP or platform) or a PCI card.
    { "serial", "Eingebaute Schnittstelle", LineReports::EveryChange, true },
    { "serial8250", "Eingebaute Schnittstelle", LineReports::EveryChange, true },
    { "exar_serial", "Eingebaute Schnittstelle", LineReports::EveryChange, true },
};

const DriverFacts* FactsOf(const QString& driver)
{
    for (const DriverFacts& facts : kDrivers) {
        if (driver == QLatin1String(facts.driver))
            return &facts;
    }
    return nullptr;
}

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

QByteArray ReadAttribute(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64).trimmed() : QByteArray();
}

// The interval of the interrupt endpoint that carries the line status, from
// the USB interface (the tty's device for cdc_acm, its parent for a
// usb-serial port): "1ms", "125us".
int StatusIntervalUs(const QString& device)
{
    const QString port = QFileInfo(device).canonicalFilePath();
    if (port.isEmpty())
        return -1;
    for (const QString& folder : { port, QFileInfo(port).absolutePath() }) {
        const QDir dir(folder);
        for (const QString& ep : dir.entryList({ QStringLiteral("ep_*") }, QDir::Dirs)) {
            const QString endpoint = dir.filePath(ep) + QLatin1Char('/');
            if (ReadAttribute(endpoint + QStringLiteral("type")) != "Interrupt"
                || ReadAttribute(endpoint + QStringLiteral("direction")) != "in")
                continue;
            const QByteArray interval = ReadAttribute(endpoint + QStringLiteral("interval"));
            const int scale = interval.endsWith("ms") ? 1000 : interval.endsWith("us") ? 1 : 0;
            bool ok = false;
            const int value = interval.left(interval.size() - 2).toInt(&ok);
            if (scale && ok && value >= 0)
                return value * scale;
        }
    }
    return -1;
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
    else
        adapter.statusIntervalUs = StatusIntervalUs(TtyFolder(root, adapter.tty) + QStringLiteral("/device"));
    return adapter;
}

bool SerialNodeIsPort(const QString& node, const QString& sysfsRoot)
{
    if (node.isEmpty() || !QFileInfo::exists(node))
        return false;
    const QString folder = TtyFolder(sysfsRoot.isEmpty() ? SysfsRoot() : sysfsRoot, TtyName(node));
    if (!QFileInfo::exists(folder)) {
        struct stat st { };
        return ::stat(QFile::encodeName(node).constData(), &st) == 0 && S_ISCHR(st.st_mode);
    }
    if (!QFileInfo::exists(folder + QStringLiteral("/device")))
        return false;
    const QString typeFile = folder + QStringLiteral("/type");
    if (!QFileInfo::exists(typeFile))
        return true; // not a UART of the serial core: its device is the port
    bool ok = false;
    const int type = ReadAttribute(typeFile).toInt(&ok);
    return ok && type != 0;
}

LineReports HowLinesAreReported(const SerialAdapter& adapter)
{
    if (adapter.opened && !adapter.waits)
        return LineReports::Polled;
    const DriverFacts* facts = FactsOf(adapter.driver);
    return facts ? facts->reports : LineReports::Unknown;
}

int ShortestPulseUs(const SerialAdapter& adapter)
{
    switch (HowLinesAreReported(adapter)) {
    case LineReports::EveryChange:
        return 0;
    case LineReports::StatusReports:
        if (adapter.driver == QLatin1String("ftdi_sio"))
            return adapter.latencyMs >= 0 ? adapter.latencyMs * 1000 : -1;
        return adapter.statusIntervalUs;
    case LineReports::Polled:
        return std::max(kLinePollUs, adapter.statusIntervalUs);
    case LineReports::Unknown:
        break;
    }
    return -1;
}

bool CountsLineChanges(const SerialAdapter& adapter)
{
    const DriverFacts* facts = FactsOf(adapter.driver);
    if (adapter.opened)
        return adapter.counts && (!facts || facts->counts);
    return facts ? facts->counts : adapter.counts;
}

QString AdapterFamily(const QString& driver)
{
    const DriverFacts* facts = FactsOf(driver);
    return facts ? QString::fromUtf8(facts->family) : driver;
}

} // namespace platform
