// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/HeldKeys.h"

#include <QKeyEvent>

namespace {
// Far below any release and press by hand, far above a repeat's pair.
constexpr unsigned long kRepeatGapMs = 15;
} // namespace

THeldKeyFilter::THeldKeyFilter(std::set<int> keys, QObject* parent)
    : QObject(parent)
    , m_keys(std::move(keys))
{
}

bool THeldKeyFilter::IsRepeat(int key, bool markedRepeat, unsigned long time) const
{
    if (markedRepeat)
        return true;
    const auto release = m_lastRelease.find(key);
    return time != 0 && release != m_lastRelease.end() && time >= release->second
        && time - release->second < kRepeatGapMs;
}

bool THeldKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (!m_keys.count(key->key()))
        return QObject::eventFilter(watched, event);
    if (type == QEvent::KeyRelease) {
        if (!key->isAutoRepeat() && key->timestamp() != 0)
            m_lastRelease[key->key()] = key->timestamp();
        return QObject::eventFilter(watched, event);
    }
    if (IsRepeat(key->key(), key->isAutoRepeat(), key->timestamp())) {
        // An accepted override keeps the shortcut from firing.
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
