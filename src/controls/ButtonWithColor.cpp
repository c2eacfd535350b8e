// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/ButtonWithColor.h"

#include "controls/AssignChanged.h"
#include "controls/ButtonGlyphs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QShortcut>

namespace {

struct KindPreset {
    QDialogButtonBox::StandardButton button;
    int modalResult;
    bool isDefault;
    bool cancel;
    const char* resource;
};

KindPreset PresetOf(TBitBtnWithColorKind kind)
{
    switch (kind) {
    case bkOK:
        return { QDialogButtonBox::Ok, mrOk, true, false, "BBCOK" };
    case bkCancel:
        return { QDialogButtonBox::Cancel, mrCancel, false, true, "BBCCANCEL" };
    case bkHelp:
        return { QDialogButtonBox::Help, mrNone, false, false, "BBCHELP" };
    case bkYes:
        return { QDialogButtonBox::Yes, mrYes, true, false, "BBCYES" };
    case bkNo:
        return { QDialogButtonBox::No, mrNo, false, true, "BBCNO" };
    case bkClose:
        return { QDialogButtonBox::Close, mrNone, false, false, "BBCCLOSE" };
    case bkAbort:
        return { QDialogButtonBox::Abort, mrAbort, false, false, "BBCABORT" };
    case bkRetry:
        return { QDialogButtonBox::Retry, mrRetry, false, false, "BBCRETRY" };
    case bkIgnore:
        return { QDialogButtonBox::Ignore, mrIgnore, false, false, "BBCIGNORE" };
    case bkAll:
        return { QDialogButtonBox::YesToAll, mrAll, false, false, "BBCALL" };
    case bkCustom:
        break;
    }
    return { QDialogButtonBox::NoButton, mrNone, false, false, nullptr };
}

// The toolkit's own (translated) text of a standard button.
QString StandardButtonText(QDialogButtonBox::StandardButton button)
{
    QDialogButtonBox box;
    const QPushButton* made = box.addButton(button);
    return made ? made->text() : QString();
}

std::function<void(int)>& HelpHandler()
{
    static std::function<void(int)> handler;
    return handler;
}

int NearestHelpContext(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const int context = widget->property("HelpContext").toInt();
        if (context != 0)
            return context;
    }
    return 0;
}

} // namespace

TBitBtnWithColor::TBitBtnWithColor(QWidget* parent)
    : QPushButton(parent)
{
    connect(this, &QAbstractButton::clicked, this, [this] { Clicked(); });
    // The default button loses its frame while another button has the focus.
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this, [this] {
        if (isDefault())
            update();
    });
}

TBitBtnWithColor::~TBitBtnWithColor()
{
    // The widget destructor moves the focus away, after this part of the
    // object is gone.
    disconnect(m_focusConnection);
}

void TBitBtnWithColor::SetHelpHandler(std::function<void(int)> handler)
{
    HelpHandler() = std::move(handler);
}

void TBitBtnWithColor::RepaintNow()
{
    repaint();
}

void TBitBtnWithColor::SetColor(TColor color)
{
    if (AssignChanged(m_color, color))
        RepaintNow();
}

void TBitBtnWithColor::SetFontColor(TColor color)
{
    if (AssignChanged(m_fontColor, color))
        RepaintNow();
}

void TBitBtnWithColor::SetGlyph(const QImage& glyph)
{
    m_glyph = glyph;
    m_keyedGlyph = ApplyGlyphKey(glyph);
    m_glyphIsUsers = true;
    RepaintNow();
}

void TBitBtnWithColor::SetNumGlyphs(int count)
{
    count = qBound(1, count, 4);
    if (AssignChanged(m_numGlyphs, count))
        RepaintNow();
}

void TBitBtnWithColor::SetKind(TBitBtnWithColorKind kind)
{
    m_kind = kind;
    if (kind == bkCustom)
        return;
    const KindPreset preset = PresetOf(kind);
    setText(StandardButtonText(preset.button));
    m_modalResult = preset.modalResult;
    setDefault(preset.isDefault);
    SetCancel(preset.cancel);
    m_glyph = ButtonResource(QString::fromLatin1(preset.resource));
    m_keyedGlyph = ApplyGlyphKey(m_glyph);
    m_numGlyphs = 2;
    m_glyphIsUsers = false;
    RepaintNow();
}

bool TBitBtnWithColor::KindPresetHolds() const
{
    const KindPreset preset = PresetOf(m_kind);
    return !m_glyphIsUsers && text() == StandardButtonText(preset.button) && m_modalResult == preset.modalResult
        && isDefault() == preset.isDefault && m_cancel == preset.cancel;
}

TBitBtnWithColorKind TBitBtnWithColor::Kind() const
{
    if (m_kind == bkCustom || !KindPresetHolds())
        return bkCustom;
    return m_kind;
}

void TBitBtnWithColor::SetLayout(TButtonLayout layout)
{
    if (AssignChanged(m_layout, layout))
        RepaintNow();
}

void TBitBtnWithColor::SetMargin(int margin)
{
    if (margin < -1 || margin == m_margin)
        return;
    m_margin = margin;
    RepaintNow();
}

void TBitBtnWithColor::SetSpacing(int spacing)
{
    if (AssignChanged(m_spacing, spacing))
        RepaintNow();
}

void TBitBtnWithColor::SetCancel(bool on)
{
    m_cancel = on;
    if (!on) {
        m_cancelShortcut.reset();
        return;
    }
    if (m_cancelShortcut)
        return;
    m_cancelShortcut = std::make_unique<QShortcut>(QKeySequence(Qt::Key_Escape), this);
    m_cancelShortcut->setContext(Qt::WindowShortcut);
    connect(m_cancelShortcut.get(), &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible())
            click();
    });
}

bool TBitBtnWithColor::IsActiveButton() const
{
    if (hasFocus())
        return true;
    if (!isDefault())
        return false;
    const auto* focused = qobject_cast<const QAbstractButton*>(QApplication::focusWidget());
    return !focused || focused->window() != window();
}

void TBitBtnWithColor::Clicked()
{
    if (m_kind == bkHelp) {
        const int context = NearestHelpContext(this);
        if (context != 0 && HelpHandler()) {
            HelpHandler()(context);
            return;
        }
    } else if (m_kind == bkClose) {
        QWidget* form = window();
        if (form != this) {
            form->close();
            return;
        }
    }
    if (OnClick)
        OnClick(this);
    if (m_modalResult != mrNone)
        if (auto* dialog = qobject_cast<QDialog*>(window()))
            dialog->done(m_modalResult);
}

void TBitBtnWithColor::mousePressEvent(QMouseEvent* event)
{
    QPushButton::mousePressEvent(event);
    // Every mouse button counts here, not only the one that clicks.
    event->accept();
    if (!OnMouseDown)
        return;
    const QPoint at = event->position().toPoint();
    m_inMouseDown = true;
    m_deactivatedInMouseDown = false;
    OnMouseDown(this, event->button(), event->modifiers(), at.x(), at.y());
    m_inMouseDown = false;
    // A modal dialog opened by the handler took the mouse release; the
    // button would otherwise stay pressed until the next click on it.
    if (m_deactivatedInMouseDown && isDown())
        setDown(false);
}

namespace {

bool isEnterKey(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

void TBitBtnWithColor::keyPressEvent(QKeyEvent* event)
{
    // In a dialog the default-button rules of the toolkit answer Return.
    if (!isEnterKey(event) || autoDefault()) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // Like Space: down on the press, the click on the release, so a held
    // key clicks once and its repeats do not reach a question the click
    // opens.
    if (!event->isAutoRepeat())
        setDown(true);
    event->accept();
}

void TBitBtnWithColor::keyReleaseEvent(QKeyEvent* event)
{
    if (!isEnterKey(event) || autoDefault()) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat() || !isDown())
        return;
    setDown(false);
    click();
}

bool TBitBtnWithColor::event(QEvent* event)
{
    if (m_inMouseDown && event->type() == QEvent::WindowDeactivate)
        m_deactivatedInMouseDown = true;
    return QPushButton::event(event);
}
