// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <map>
#include <set>

class QKeyEvent;

// Keeps a held key from repeating a command. The toolkit marks most of the
// keyboard's repeats, but on X11 a repeat arrives as a release and a press,
// and when both do not reach the program together the press looks like a new
// one. Such a pair carries one server time stamp; a person needs far longer
// to release a key and press it again. Installed on the application, the
// filter swallows every repeated press of its keys before a shortcut sees it.
class THeldKeyFilter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(THeldKeyFilter)
public:
    THeldKeyFilter(std::set<int> keys, QObject* parent = nullptr);

    // A press of key at time stamp (ms; 0 when the source gives none) is a
    // repeat when marked so, or when it follows the key's last release within
    // a few milliseconds.
    bool IsRepeat(int key, bool markedRepeat, unsigned long time) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::set<int> m_keys;
    std::map<int, unsigned long> m_lastRelease;
};
