// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

// A failing call of the document engine. The message names the call and the
// cause, in English like the other engine errors. When a file could not be
// read or written, FileName names it and Reason gives the system's reason.
class EWordBasic : public std::runtime_error {
public:
    explicit EWordBasic(const QString& message);
    EWordBasic(const QString& message, const QString& fileName, const QString& reason);

    QString FileName() const { return m_fileName; }
    QString Reason() const { return m_reason; }

private:
    QString m_fileName;
    QString m_reason;
};

// The word processor's command interface as the Word export drives it: the
// calls of the old "Word.Basic" automation server under their own names and
// with their own arguments, so the export reads like the macro it replaces.
// Any call may throw EWordBasic.
class TWordBasic {
public:
    virtual ~TWordBasic() = default;

    virtual void AppMaximize() = 0;
    virtual void AppMinimize() = 0;
    // Opens a document or template; it becomes the active document with the
    // insertion point at the start of its body.
    virtual void FileOpen(const QString& name) = 0;
    // Inserts text at the insertion point, which moves to the text's end. A
    // CR or LF ends a paragraph, a TAB is a tab.
    virtual void Insert(const QString& text) = 0;
    // Moves the insertion point up by count lines; extend 1 extends the
    // selection instead of collapsing it.
    virtual void LineUp(int count, int extend) = 0;
    // Turns the selected paragraphs into a table. ConvertFrom: 0 paragraphs,
    // 1 tabs, 2 commas separate the cells; the cells fill numColumns columns
    // row by row (0: as many columns as the widest paragraph has cells).
    virtual void TextToTable(int ConvertFrom, int NumColumns) = 0;
    // Sets the active document's title (WordBasic's FileSummaryInfo .Title);
    // TITLE fields in its headers and footers show it.
    virtual void FileSummaryInfo(const QString& Title) = 0;
    // Saves the active document; a name without folder lands in the working
    // folder.
    virtual void FileSaveAs(const QString& name) = 0;
    virtual void AppClose() = 0;
};

using WordBasicFactory = std::function<std::unique_ptr<TWordBasic>()>;

// Creates the DOCX engine.
std::unique_ptr<TWordBasic> CreateDocxWordBasic();
