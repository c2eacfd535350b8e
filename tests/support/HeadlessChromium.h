// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// The page at `url` as headless Chromium renders it: its DOM after the
// scripts ran, empty (with the reason as a warning) when the browser failed
// or took longer than three minutes. A fresh profile each time.
inline QString HeadlessChromiumDom(const QString& url)
{
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    QTemporaryDir profile;
    QProcess chromium;
    chromium.setProgram(browser);
    chromium.setArguments({ "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--user-data-dir=" + profile.path(), "--dump-dom", url });
    chromium.setProcessChannelMode(QProcess::SeparateChannels);
    chromium.start();
    if (!chromium.waitForStarted(30000)) {
        qWarning("%s", qPrintable(chromium.errorString()));
        return {};
    }
    if (!chromium.waitForFinished(180000)) {
        chromium.kill();
        chromium.waitForFinished();
        qWarning("chromium did not finish within three minutes");
        return {};
    }
    if (chromium.exitStatus() != QProcess::NormalExit || chromium.exitCode() != 0) {
        qWarning("%s", chromium.readAllStandardError().right(2000).constData());
        return {};
    }
    return QString::fromUtf8(chromium.readAllStandardOutput());
}
