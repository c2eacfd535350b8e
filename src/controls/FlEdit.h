// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/FloatText.h"

#include <QLineEdit>

#include <functional>
#include <stdexcept>

class QAbstractButton;
class TMessageTimer;

// Raised for a Min above Max or a Max below Min; the bounds stay unchanged.
class EFloatEditError : public std::runtime_error {
public:
    explicit EFloatEditError(const QString& message);
    QString Message() const { return QString::fromUtf8(what()); }
};

using TKeyPressEvent = std::function<void(QObject* Sender, QChar& Key)>;
using TComputedIncrementEvent = std::function<void(QObject* Sender, bool bIncrement)>;

// A one-line edit for a real number in Min..Max with Digits decimals. The
// number lives only in the text: reading Value parses it, writing Value
// formats it, so repeated steps never gather floating-point error. Typed
// characters are filtered so the text stays a number in range.
class TCustomFloatEdit : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TCustomFloatEdit)

public:
    explicit TCustomFloatEdit(QWidget* owner = nullptr);

    long double Value() const;
    void SetValue(long double value);
    long double Min() const { return m_rules.min; }
    void SetMin(long double min);
    long double Max() const { return m_rules.max; }
    void SetMax(long double max);
    int Digits() const { return m_rules.digits; }
    void SetDigits(int digits);
    QString ErrorMessage() const { return m_errorMessage; }
    void SetErrorMessage(const QString& message) { m_errorMessage = message; }
    Qt::Alignment Alignment() const { return m_alignment; }
    void SetAlignment(Qt::Alignment alignment);
    bool AutoSelect() const { return m_autoSelect; }
    void SetAutoSelect(bool on) { m_autoSelect = on; }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool on) { setReadOnly(on); }
    QChar DecimalSeparator() const { return m_rules.separator; }
    long double ValueAtEntry() const { return m_valueAtEntry; }

    // While the owner builds the control, Value is only remembered and
    // written once at EndLoading, after the final Min, Max and Digits.
    void BeginLoading();
    void EndLoading();

    TKeyPressEvent OnEnterPress;
    int Tag = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Typing, cut and paste are allowed only while this is true.
    virtual bool CanEdit() const { return true; }
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void showError();
    bool acceptExit();

    floattext::Rules m_rules;
    QString m_errorMessage;
    Qt::Alignment m_alignment = Qt::AlignRight;
    bool m_autoSelect = true;
    long double m_valueAtEntry = 0.0L;
    bool m_loading = false;
    bool m_hasPendingValue = false;
    long double m_pendingValue = 0.0L;
};

// The float edit with two arrow buttons at its right edge that step the value
// by Increment, as do the Up and Down keys.
class TSpinFloatEdit : public TCustomFloatEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSpinFloatEdit)

public:
    explicit TSpinFloatEdit(QWidget* owner = nullptr);

    long double Increment() const { return m_increment; }
    void SetIncrement(long double increment) { m_increment = increment; }
    bool EditorEnabled() const { return m_editorEnabled; }
    void SetEditorEnabled(bool on) { m_editorEnabled = on; }

    void StepUp();
    void StepDown();

    QAbstractButton* UpButton() const { return m_up; }
    QAbstractButton* DownButton() const { return m_down; }
    // Repeats the step of an arrow button held down: first after 400 ms,
    // then every 100 ms (tests fire it themselves).
    TMessageTimer* RepeatTimer() const { return m_repeat; }
    // The lowest height the font allows; a lower height is raised to it.
    int MinHeight() const;

    TComputedIncrementEvent OnComputedIncrement;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool CanEdit() const override { return m_editorEnabled; }

private:
    void step(bool up);
    void placeButtons();
    void buttonPressed();
    void startRepeat();
    void repeatTick();

    long double m_increment = 1.0L;
    bool m_editorEnabled = true;
    QAbstractButton* m_up = nullptr;
    QAbstractButton* m_down = nullptr;
    TMessageTimer* m_repeat = nullptr;
    int m_wheelDelta = 0; // eighths of a degree not yet stepped
};
