// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/FlEdit.h"

#include "controls/Dialogs.h"
#include "controls/MessageTimer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QWheelEvent>

#include <cmath>

using floattext::KeyAction;

namespace {

constexpr int kButtonWidth = 15;
constexpr int kInitialButtonHeight = 17;
constexpr int kFirstRepeatMs = 400;
constexpr int kRepeatMs = 100;
constexpr int kBorder3D = 2;
constexpr int kBorderWidth = 1;

// Keys that only move the cursor or copy; everything else may change the text.
bool leavesTextAlone(QKeyEvent* e)
{
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll))
        return true;
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return true;
    default:
        return false;
    }
}

class SpinArrowButton final : public QAbstractButton {
public:
    SpinArrowButton(bool up, QWidget* parent)
        : QAbstractButton(parent)
        , m_up(up)
    {
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::ArrowCursor);
    }

    std::function<void()> onLeftPress;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && onLeftPress)
            onLeftPress();
        QAbstractButton::mousePressEvent(e);
    }

    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
        painter.drawPrimitive(QStyle::PE_PanelButtonBevel, option);
        QStyleOption arrow = option;
        const int side = std::max(4, std::min(width() - 6, height() - 2));
        arrow.rect = QRect(0, 0, side, side);
        arrow.rect.moveCenter(rect().center() + (isDown() ? QPoint(1, 1) : QPoint()));
        painter.drawPrimitive(m_up ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown, arrow);
    }

private:
    bool m_up;
};

} // namespace

EFloatEditError::EFloatEditError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

TCustomFloatEdit::TCustomFloatEdit(QWidget* owner)
    : QLineEdit(owner)
{
    m_rules.separator = floattext::SystemDecimalSeparator();
    QLineEdit::setAlignment(m_alignment | Qt::AlignVCenter);
    // Every character has to pass the keystroke filter; an input method or a
    // drop would put text in without it.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAcceptDrops(false);
    setText(floattext::Format(m_rules.min, m_rules.digits, m_rules.separator));
    m_valueAtEntry = Value();
}

long double TCustomFloatEdit::Value() const
{
    return floattext::ReadValue(m_rules, text());
}

void TCustomFloatEdit::SetValue(long double value)
{
    if (m_loading) {
        m_pendingValue = value;
        m_hasPendingValue = true;
        return;
    }
    if (std::isnan(value))
        value = m_rules.min;
    if (value > m_rules.max) {
        showError();
        value = m_rules.max;
    }
    if (value < m_rules.min) {
        showError();
        value = m_rules.min;
    }
    setText(floattext::Format(value, m_rules.digits, m_rules.separator));
}

void TCustomFloatEdit::SetMin(long double min)
{
    if (min == m_rules.min)
        return;
    if (min > m_rules.max)
        throw EFloatEditError(QStringLiteral("Minimum value must not be greater than maximum value !"));
    m_rules.min = min;
    if (!m_loading)
        SetValue(Value());
}

void TCustomFloatEdit::SetMax(long double max)
{
    if (max == m_rules.max)
        return;
    if (max < m_rules.min)
        throw EFloatEditError(QStringLiteral("Maximum value must not be less than minimum value !"));
    m_rules.max = max;
    if (!m_loading)
        SetValue(Value());
}

void TCustomFloatEdit::SetDigits(int digits)
{
    digits = std::clamp(digits, 0, floattext::kMaxDigits);
    if (digits == m_rules.digits)
        return;
    const long double value = Value();
    m_rules.digits = digits;
    if (!m_loading)
        SetValue(value);
}

void TCustomFloatEdit::SetAlignment(Qt::Alignment alignment)
{
    alignment &= Qt::AlignHorizontal_Mask;
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    QLineEdit::setAlignment(alignment | Qt::AlignVCenter);
}

void TCustomFloatEdit::BeginLoading()
{
    m_loading = true;
}

void TCustomFloatEdit::EndLoading()
{
    if (!m_loading)
        return;
    m_loading = false;
    const long double value = m_hasPendingValue ? m_pendingValue : Value();
    m_hasPendingValue = false;
    SetValue(value);
}

void TCustomFloatEdit::showError()
{
    if (!m_errorMessage.isEmpty())
        dialogs::ShowInfo(this, m_errorMessage);
}

void TCustomFloatEdit::keyPressEvent(QKeyEvent* e)
{
    if (!CanEdit() && !leavesTextAlone(e)) {
        e->accept();
        return;
    }
    QString typed = e->text();
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        typed = QStringLiteral("\r");
    else if (e->key() == Qt::Key_Escape)
        typed = QString(QChar(27));
    else if (typed.isEmpty() || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        || isReadOnly()) {
        QLineEdit::keyPressEvent(e);
        return;
    }

    e->accept();
    for (const QChar c : typed) {
        const int start = hasSelectedText() ? selectionStart() : cursorPosition();
        const int length = hasSelectedText() ? selectionLength() : 0;
        const floattext::KeyResult r = floattext::FilterKey(m_rules, text(), start, length, c);
        switch (r.action) {
        case KeyAction::EnterPress:
            if (OnEnterPress) {
                QChar key = c;
                OnEnterPress(this, key);
            }
            // Left to the window too, so a dialog's default button still answers Enter.
            e->ignore();
            return;
        case KeyAction::Escape:
            SetValue(m_valueAtEntry);
            selectAll();
            // Left to the window too, so a dialog still closes on Esc.
            e->ignore();
            return;
        case KeyAction::PassOn:
            QLineEdit::keyPressEvent(e);
            return;
        case KeyAction::Consume:
            break;
        case KeyAction::Insert:
            insert(QString(c));
            break;
        case KeyAction::Replace:
            setText(r.text);
            setSelection(r.selectionStart, r.selectionLength);
            break;
        }
    }
}

void TCustomFloatEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (m_autoSelect && e->reason() != Qt::MouseFocusReason)
        selectAll();
    m_valueAtEntry = Value();
}

void TCustomFloatEdit::focusOutEvent(QFocusEvent* e)
{
    // Switching windows or opening a menu is no leaving of the field.
    const bool leaving
        = e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason && isVisible();
    if (leaving && !acceptExit())
        return; // the focus was taken back; nobody hears of an exit
    QLineEdit::focusOutEvent(e);
}

bool TCustomFloatEdit::acceptExit()
{
    QString t = text();
    if (t.isEmpty())
        t = floattext::Format(m_rules.min, m_rules.digits, m_rules.separator);
    const auto number = floattext::Parse(t, m_rules.separator);
    if (!number || *number < m_rules.min || *number > m_rules.max) {
        showError();
        SetValue(m_valueAtEntry);
        selectAll();
        setFocus(Qt::OtherFocusReason);
        return false;
    }
    const QString formatted = floattext::Format(*number, m_rules.digits, m_rules.separator);
    setText(formatted);
    SetValue(floattext::Parse(formatted, m_rules.separator).value_or(m_rules.min));
    return true;
}

void TCustomFloatEdit::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = createStandardContextMenu();
    if (!CanEdit()) {
        for (QAction* action : menu->actions()) {
            const QString name = action->objectName();
            if (name == QLatin1String("edit-undo") || name == QLatin1String("edit-redo")
                || name == QLatin1String("edit-cut") || name == QLatin1String("edit-paste")
                || name == QLatin1String("edit-delete"))
                action->setEnabled(false);
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void TCustomFloatEdit::mouseReleaseEvent(QMouseEvent* e)
{
    // The middle button pastes the X11 selection.
    if (e->button() == Qt::MiddleButton && !CanEdit()) {
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}

TSpinFloatEdit::TSpinFloatEdit(QWidget* owner)
    : TCustomFloatEdit(owner)
{
    auto* up = new SpinArrowButton(true, this);
    auto* down = new SpinArrowButton(false, this);
    m_up = up;
    m_down = down;
    up->onLeftPress = [this] { buttonPressed(); };
    down->onLeftPress = [this] { buttonPressed(); };
    connect(up, &QAbstractButton::clicked, this, [this] { StepUp(); });
    connect(down, &QAbstractButton::clicked, this, [this] { StepDown(); });
    m_repeat = new TMessageTimer(this, kFirstRepeatMs, false);
    m_repeat->OnTimer = [this](TMessageTimer*) { repeatTick(); };
    for (QAbstractButton* button : { m_up, m_down }) {
        connect(button, &QAbstractButton::pressed, this, [this] { startRepeat(); });
        connect(button, &QAbstractButton::released, this, [this] { m_repeat->SetEnabled(false); });
    }
    up->setGeometry(0, 0, kButtonWidth, kInitialButtonHeight / 2);
    down->setGeometry(
        0, kInitialButtonHeight / 2 - 1, kButtonWidth, kInitialButtonHeight - kInitialButtonHeight / 2 + 1);
    setMinimumHeight(MinHeight());
    placeButtons();
}

void TSpinFloatEdit::StepUp()
{
    step(true);
}

void TSpinFloatEdit::StepDown()
{
    step(false);
}

void TSpinFloatEdit::step(bool up)
{
    if (isReadOnly()) {
        QApplication::beep();
        return;
    }
    if (OnComputedIncrement) {
        OnComputedIncrement(this, up);
        return;
    }
    SetValue(up ? Value() + m_increment : Value() - m_increment);
}

void TSpinFloatEdit::startRepeat()
{
    m_repeat->SetEnabled(false);
    m_repeat->SetInterval(kFirstRepeatMs);
    m_repeat->SetEnabled(true);
}

void TSpinFloatEdit::repeatTick()
{
    // The release's click makes the last step; the timer only adds steps
    // while a button is still held down under the mouse.
    if (m_up->isDown())
        StepUp();
    else if (m_down->isDown())
        StepDown();
    else
        return;
    m_repeat->SetInterval(kRepeatMs); // from the first repeat on
}

void TSpinFloatEdit::wheelEvent(QWheelEvent* e)
{
    if (isReadOnly() || !isEnabled()) {
        e->ignore();
        return;
    }
    // One step per notch (120 eighths of a degree); fine-grained wheels and
    // touchpads add up to a notch first.
    m_wheelDelta += e->angleDelta().y();
    while (m_wheelDelta >= 120) {
        m_wheelDelta -= 120;
        StepUp();
    }
    while (m_wheelDelta <= -120) {
        m_wheelDelta += 120;
        StepDown();
    }
    e->accept();
}

int TSpinFloatEdit::MinHeight() const
{
    const int fontHeight = QFontMetrics(font()).height();
    const int systemHeight = QFontMetrics(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).height();
    return fontHeight + std::min(fontHeight, systemHeight) / 4 + 4 * kBorderWidth + 2;
}

void TSpinFloatEdit::buttonPressed()
{
    if (!hasFocus() && isEnabled() && focusPolicy() != Qt::NoFocus && isVisible())
        setFocus(Qt::OtherFocusReason);
}

void TSpinFloatEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Up || e->key() == Qt::Key_Down) {
        if (!EditorEnabled()) {
            e->accept();
            return;
        }
        step(e->key() == Qt::Key_Up);
    }
    TCustomFloatEdit::keyPressEvent(e);
}

void TSpinFloatEdit::resizeEvent(QResizeEvent* e)
{
    TCustomFloatEdit::resizeEvent(e);
    placeButtons();
}

void TSpinFloatEdit::changeEvent(QEvent* e)
{
    TCustomFloatEdit::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        setMinimumHeight(MinHeight());
}

void TSpinFloatEdit::placeButtons()
{
    int x, y, h;
    if (hasFrame()) {
        x = width() - kButtonWidth - kBorder3D - 1;
        y = kBorder3D;
        h = height() - 2 * kBorder3D - 1;
    } else {
        x = width() - kButtonWidth;
        y = 1;
        h = height() - 3;
    }
    m_up->setGeometry(x, y, kButtonWidth, h / 2);
    m_down->setGeometry(x, y + h / 2 - 1, kButtonWidth, h - h / 2 + 1);
    // The text stops 2 pixels left of the buttons.
    const int frame = hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) : 0;
    setTextMargins(0, 0, std::max(0, width() - frame - (x - 2)), 0);
}
