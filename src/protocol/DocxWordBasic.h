// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/DocxPackage.h"
#include "protocol/DocxXml.h"
#include "protocol/WordBasic.h"

#include <QString>

#include <optional>

// The document engine on DOCX files. There is no application window: the
// window calls only note the requested state. The document is held in
// memory; text inserted at the start of its body stays editable text (with
// insertion point and selection) until TextToTable turns it into a table,
// and FileSaveAs writes the template's parts with the new body content in
// front of the template's own.
class TDocxWordBasic final : public TWordBasic {
public:
    enum class WindowState { Normal, Maximized, Minimized, Closed };

    void AppMaximize() override;
    void AppMinimize() override;
    void FileOpen(const QString& name) override;
    void Insert(const QString& text) override;
    void LineUp(int count, int extend) override;
    void TextToTable(int ConvertFrom, int NumColumns) override;
    void FileSummaryInfo(const QString& Title) override;
    void FileSaveAs(const QString& name) override;
    void AppClose() override;

    WindowState Window() const { return m_window; }
    bool HasDocument() const { return m_open; }
    // The inserted text not yet converted, with paragraph marks as CR, and
    // the selection in it (anchor and insertion point as offsets).
    QString PendingText() const { return m_text; }
    qsizetype SelectionStart() const;
    qsizetype SelectionEnd() const;

private:
    void requireDocument(const char* call) const;
    QString documentXml() const;
    QByteArray contentTypes() const;
    void applyTitle(TDocxPackage& package) const;

    WindowState m_window = WindowState::Normal;
    bool m_open = false;
    TDocxPackage m_package;
    QString m_mainName;
    QString m_xml;
    docx::BodyInfo m_body;
    QString m_blocks; // converted tables and the paragraphs before them
    bool m_blocksEndWithTable = false;
    QString m_text;
    std::optional<QString> m_title;
    qsizetype m_anchor = 0;
    qsizetype m_caret = 0;
};
