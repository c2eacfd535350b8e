// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// The ZIP container of an Office Open XML file, held in memory: the parts in
// their stored order with their bytes. Loading and saving throw EWordBasic.
class TDocxPackage {
public:
    void Load(const QString& path);
    // Writes all parts in their order; the target is replaced in one step
    // once the whole container is built, so a failure leaves an older file as
    // it was (EWordBasic with the file name and the system's reason).
    void Save(const QString& path) const;
    // The container as bytes, parts in their order.
    QByteArray Bytes() const;

    bool HasPart(const QString& name) const;
    QByteArray Part(const QString& name) const; // empty when missing
    void SetPart(const QString& name, const QByteArray& bytes);
    QStringList PartNames() const;

    // The main document part named by the package relationships, e.g.
    // "word/document.xml".
    QString MainDocumentName() const;

private:
    std::vector<std::pair<QString, QByteArray>> m_parts;
};
