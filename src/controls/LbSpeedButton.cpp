// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "controls/LbSpeedButton.h"

#include "controls/AssignChanged.h"
#include "controls/ButtonGlyphs.h"

#include <QAction>
#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

namespace {

constexpr QSize kNewButtonSize(100, 23);
constexpr int kPaletteDepth = 8;

} // namespace

TLbSpeedButton::TLbSpeedButton(QWidget* parent)
    : QWidget(parent)
    , m_hotTrackFont(parent ? parent->window()->font() : QApplication::font())
    , m_fade([this](int level) { HotLevelStepped(level); })
{
    resize(kNewButtonSize);
    setAttribute(Qt::WA_Hover, false);
    UpdateOpaque();
}

TLbSpeedButton::~TLbSpeedButton()
{
    // Stop the fade before the button goes away.
    m_fade.Suspend();
}

TLbSpeedButtonStyle TLbSpeedButton::EffectiveStyle() const
{
    if (m_style == bsModern && depth() <= kPaletteDepth)
        return bsNormal;
    return m_style;
}

void TLbSpeedButton::SetStyle(TLbSpeedButtonStyle style)
{
    if (style == m_style)
        return;
    m_style = style;
    UpdateOpaque();
    Changed();
}

void TLbSpeedButton::SetGlyph(const QImage& glyph)
{
    m_glyph = glyph;
    m_keyedGlyph = ApplyGlyphKey(glyph);
    m_numGlyphs = glyph.height() > 0 ? glyph.width() / glyph.height() : 0;
    Changed();
}

void TLbSpeedButton::SetNumGlyphs(int count)
{
    count = qMax(count, 0);
    if (AssignChanged(m_numGlyphs, count))
        Changed();
}

void TLbSpeedButton::SetFlat(bool flat)
{
    if (AssignChanged(m_flat, flat))
        Changed();
}

void TLbSpeedButton::SetTransparent(bool transparent)
{
    if (transparent == m_transparent)
        return;
    m_transparent = transparent;
    UpdateOpaque();
    // Invalidate even when turning it off: the parent must repaint what shows through.
    update();
}

TColor TLbSpeedButton::Color() const
{
    // The palette's window colour is inherited from the parent unless the
    // parent's palette was never set, so it follows the parent.
    return m_parentColor ? FromQColor(palette().color(QPalette::Window)) : m_color;
}

void TLbSpeedButton::SetColor(TColor color)
{
    if (color == m_color && !m_parentColor)
        return;
    m_color = color;
    m_parentColor = false;
    Changed();
}

void TLbSpeedButton::SetParentColor(bool on)
{
    if (AssignChanged(m_parentColor, on))
        Changed();
}

void TLbSpeedButton::SetLightColor(TColor color)
{
    if (AssignChanged(m_lightColor, color))
        Changed();
}

void TLbSpeedButton::SetShadowColor(TColor color)
{
    if (AssignChanged(m_shadowColor, color))
        Changed();
}

void TLbSpeedButton::SetColorWhenDown(TColor color)
{
    if (AssignChanged(m_colorWhenDown, color))
        Changed();
}

void TLbSpeedButton::SetHotTrackColor(TColor color)
{
    if (AssignChanged(m_hotTrackColor, color))
        Changed();
}

void TLbSpeedButton::SetFontColor(TColor color)
{
    if (AssignChanged(m_fontColor, color))
        Changed();
}

void TLbSpeedButton::SetHotTrackFontColor(TColor color)
{
    if (AssignChanged(m_hotTrackFontColor, color))
        Changed();
}

void TLbSpeedButton::SetHotTrackFont(const QFont& font)
{
    if (AssignChanged(m_hotTrackFont, font))
        Changed();
}

void TLbSpeedButton::SetUseHotTrackFont(bool on)
{
    if (AssignChanged(m_useHotTrackFont, on))
        Changed();
}

void TLbSpeedButton::SetSlowDecease(bool on)
{
    if (on == m_slowDecease)
        return;
    m_slowDecease = on;
    if (!on) {
        m_fade.Suspend();
        m_hotLevel = 0;
        m_fade.SetLevel(0);
        Changed();
    }
}

void TLbSpeedButton::SetColorStyle(TLbColorStyle style)
{
    const std::optional<TLbColorPreset> preset = LbColorPreset(style);
    if (!preset)
        return;
    SetColor(preset->color);
    SetLightColor(preset->lightColor);
    SetShadowColor(preset->shadowColor);
    SetColorWhenDown(preset->colorWhenDown);
    SetHotTrackColor(preset->hotTrackColor);
    SetFontColor(preset->fontColor);
    SetFlat(preset->flat);
    SetStyle(preset->style);
}

void TLbSpeedButton::SetDown(bool down)
{
    // Only a grouped button stays down; one that is down stays so unless
    // the group may be all up.
    if (m_groupIndex == 0)
        down = false;
    if (down == m_down)
        return;
    if (m_down && !m_allowAllUp)
        return;
    m_down = down;
    if (down)
        ReleaseGroup();
    Changed();
}

void TLbSpeedButton::SetGroupIndex(int index)
{
    if (index == m_groupIndex)
        return;
    m_groupIndex = index;
    if (m_down && index != 0)
        ReleaseGroup();
    if (index == 0 && m_down) {
        m_down = false;
        Changed();
    }
}

void TLbSpeedButton::SetAllowAllUp(bool on)
{
    if (on == m_allowAllUp)
        return;
    m_allowAllUp = on;
    // The whole group shares the setting.
    if (m_groupIndex == 0 || !parentWidget())
        return;
    for (TLbSpeedButton* other : parentWidget()->findChildren<TLbSpeedButton*>(Qt::FindDirectChildrenOnly))
        if (other != this && other->m_groupIndex == m_groupIndex)
            other->m_allowAllUp = on;
}

void TLbSpeedButton::ReleaseGroup()
{
    if (m_groupIndex == 0 || !parentWidget())
        return;
    for (TLbSpeedButton* other : parentWidget()->findChildren<TLbSpeedButton*>(Qt::FindDirectChildrenOnly)) {
        if (other != this && other->m_groupIndex == m_groupIndex && other->m_down) {
            other->m_down = false;
            other->Changed();
        }
    }
}

void TLbSpeedButton::SetAlignment(TAlignment alignment)
{
    if (AssignChanged(m_alignment, alignment))
        Changed();
}

void TLbSpeedButton::SetLayout(TLbSpeedButtonLayout layout)
{
    if (AssignChanged(m_layout, layout))
        Changed();
}

void TLbSpeedButton::SetWordWrap(bool on)
{
    if (AssignChanged(m_wordWrap, on))
        Changed();
}

void TLbSpeedButton::SetCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
    m_shortcutId = 0;
    const QKeySequence accelerator = QKeySequence::mnemonic(caption);
    if (!accelerator.isEmpty())
        m_shortcutId = grabShortcut(accelerator);
    Changed();
}

void TLbSpeedButton::SetPopupMenu(QMenu* menu)
{
    if (AssignChanged(m_popupMenu, menu))
        Changed();
}

void TLbSpeedButton::SetAction(QAction* action)
{
    if (action == m_action)
        return;
    disconnect(m_actionConnection);
    m_action = action;
    if (action) {
        m_actionConnection = connect(action, &QAction::changed, this, [this] { ActionChanged(); });
        ActionChanged();
    }
}

void TLbSpeedButton::ActionChanged()
{
    if (!m_action)
        return;
    SetCaption(m_action->text());
    setEnabled(m_action->isEnabled());
    setToolTip(m_action->toolTip());
    setVisible(m_action->isVisible());
}

void TLbSpeedButton::Click()
{
    if (m_popupMenu)
        m_popupMenu->exec(mapToGlobal(QPoint(0, height())));
    if (OnClick)
        OnClick(this);
    else if (m_action)
        m_action->trigger();
    emit clicked();
}

bool TLbSpeedButton::Reacts() const
{
    const QWidget* parent = parentWidget();
    return isEnabled() && isVisible() && (!parent || parent->isVisible());
}

void TLbSpeedButton::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    if (!Reacts())
        return;
    // A fade still running would otherwise go on dimming the face while the
    // mouse is back over the button.
    m_fade.Suspend();
    m_hot = true;
    m_hotLevel = kLbHotLevelMax;
    m_fade.SetLevel(m_hotLevel);
    Changed();
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TLbSpeedButton::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    const bool wasHot = m_hot;
    m_hot = false;
    if (wasHot) {
        if (m_slowDecease && m_hotLevel > 0) {
            m_fade.SetLevel(m_hotLevel);
            m_fade.Resume();
        } else {
            m_hotLevel = 0;
        }
        Changed();
    }
    if (Reacts() && OnMouseExit)
        OnMouseExit(this);
}

void TLbSpeedButton::HotLevelStepped(int level)
{
    m_hotLevel = level;
    Changed();
}

void TLbSpeedButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    if (m_groupIndex == 0) {
        m_down = true;
        Changed();
    } else if (!m_down) {
        m_down = true;
        ReleaseGroup();
        Changed();
    } else if (m_allowAllUp) {
        m_down = false;
        Changed();
    }
}

void TLbSpeedButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_dragging) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    if (m_groupIndex == 0 && m_down) {
        m_down = false;
        Changed();
    }
    if (rect().contains(event->position().toPoint()))
        Click();
}

bool TLbSpeedButton::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        auto* shortcut = static_cast<QShortcutEvent*>(event);
        if (shortcut->shortcutId() == m_shortcutId && isEnabled()) {
            m_keyDown = true;
            Changed();
            Click();
            m_keyDown = false;
            Changed();
            return true;
        }
    }
    return QWidget::event(event);
}

void TLbSpeedButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            m_dragging = false;
        Changed();
        break;
    case QEvent::PaletteChange:
    case QEvent::FontChange:
        Changed();
        break;
    default:
        break;
    }
}

void TLbSpeedButton::UpdateOpaque()
{
    setAttribute(Qt::WA_OpaquePaintEvent, !LbPaintsKeyed(EffectiveStyle(), m_transparent));
}

void TLbSpeedButton::Changed()
{
    // A see-through button must let the parent repaint first.
    if (LbPaintsKeyed(EffectiveStyle(), m_transparent))
        update();
    else
        repaint();
}

TLbDrawParams TLbSpeedButton::DrawParams() const
{
    TLbDrawParams p;
    p.size = size();
    p.style = EffectiveStyle();
    p.enabled = isEnabled();
    p.down = m_down || m_keyDown;
    p.hot = m_hot;
    p.hotLevel = m_hotLevel;
    p.flat = m_flat;
    p.transparent = m_transparent;
    p.color = ColorToRGB(Color());
    p.lightColor = ColorToRGB(m_lightColor);
    p.shadowColor = ColorToRGB(m_shadowColor);
    p.darkShadowColor = ColorToRGB(cl3DDkShadow);
    p.colorWhenDown = m_colorWhenDown == clNone ? clNone : ColorToRGB(m_colorWhenDown);
    p.hotTrackColor = m_hotTrackColor == clNone ? clNone : ColorToRGB(m_hotTrackColor);
    p.font = font();
    p.fontColor = ColorToRGB(m_fontColor);
    p.hotTrackFont = m_hotTrackFont;
    p.hotTrackFontColor = ColorToRGB(m_hotTrackFontColor);
    p.useHotTrackFont = m_useHotTrackFont;
    p.caption = m_caption;
    p.alignment = m_alignment;
    p.layout = m_layout;
    p.wordWrap = m_wordWrap;
    p.glyph = m_keyedGlyph;
    p.numGlyphs = m_numGlyphs;
    p.popupArrow = !m_popupMenu.isNull();
    return p;
}

void TLbSpeedButton::paintEvent(QPaintEvent*)
{
    // Drawn off-screen first, so a repaint at once never flickers.
    const QImage image = RenderLbButton(DrawParams());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}
