// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The program's one yes/no question. Created once and reused: message,
// button captions and the focused button stay as the last caller left them.
// The answer never depends on the captions: OKBtn answers Yes (6), CancelBtn,
// Esc and the close box answer Cancel (2).
class TFDlgYesNo final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFDlgYesNo)

public:
    static constexpr int kResultYes = 6;
    static constexpr int kResultCancel = 2;

    explicit TFDlgYesNo(QWidget* owner = nullptr);

    void SetButtonCaptions(const QString& yesCaption, const QString& noCaption);
    // The control that has the focus when the dialog shows next.
    void SetActiveControl(QWidget* control);
    QWidget* ActiveControl() const;
    // Modal show through the dialog wrapper (so tests can answer); returns 6 or 2.
    int ShowModal();

    // Which button has the focus when a question shows: the one the last
    // question left, OK, or Cancel.
    enum class Focus { AsLeft, Ok, Cancel };
    // Asks the question and returns true when the operator answers with OK.
    // Captions given here hold for this question only; "Ja" and "Nein" are
    // back afterwards.
    bool Ask(const QString& text, Focus focus = Focus::AsLeft, const QString& yesCaption = QString(),
        const QString& noCaption = QString());

    QLabel* Label1 = nullptr;
    QLabel* Icon = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void reject() override;

private:
    void FormCreate();
};
