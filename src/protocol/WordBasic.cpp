// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/WordBasic.h"

#include "protocol/DocxWordBasic.h"

EWordBasic::EWordBasic(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

EWordBasic::EWordBasic(const QString& message, const QString& fileName, const QString& reason)
    : std::runtime_error(message.toStdString())
    , m_fileName(fileName)
    , m_reason(reason)
{
}

std::unique_ptr<TWordBasic> CreateDocxWordBasic()
{
    return std::make_unique<TDocxWordBasic>();
}
