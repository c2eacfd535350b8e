// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

// The program's help viewer: a small window that shows the contents page of
// an HTML help file. A missing or unreadable file is reported in the window.
class THelpViewer final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THelpViewer)
public:
    explicit THelpViewer(QWidget* parent = nullptr);

    // Loads the file and brings the window to the front.
    void ShowContents(const QString& helpFile);

    QString ShownText() const;
    QString ShownFile() const { return m_file; }

private:
    QTextBrowser* m_browser;
    QString m_file;
};
