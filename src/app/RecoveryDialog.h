// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Taking back a race that an unclean end left behind: the question, with
// what the journal holds and what of it cannot be used, and afterwards the
// report of what came back. The list below the text (unusable events,
// entries on course) can be selected and copied.
class TRecoveryDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TRecoveryDialog)

public:
    // The answers of the question. Only Ja and Nein answer it: Esc, the close
    // box or the end of the program close it without an answer (0), and the
    // race is offered again at the next start.
    static constexpr int kYes = 6;
    static constexpr int kNo = 2;

    enum class Kind { Question, Report };
    TRecoveryDialog(QWidget* owner, Kind kind, const QString& text, const QString& details);

    // Closes an open question without an answer.
    void Dismiss();

    QLabel* Text = nullptr;
    QPlainTextEdit* Details = nullptr;
    QPushButton* YesBtn = nullptr; // the question's
    QPushButton* NoBtn = nullptr;
    QPushButton* OkBtn = nullptr; // the report's
};
