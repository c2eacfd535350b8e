// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/LbButtons.h"

#include <QAction>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <functional>

// A flat-capable speed button with hot tracking, six drawing styles and an
// optional slow fade of the hot state. It has no native window; painting goes
// into the parent's backing store like any alien widget.
class TLbSpeedButton : public QWidget {
    Q_OBJECT

public:
    explicit TLbSpeedButton(QWidget* parent = nullptr);
    ~TLbSpeedButton() override;

    TLbSpeedButtonStyle Style() const { return m_style; }
    void SetStyle(TLbSpeedButtonStyle style);
    // The style as painted: bsModern needs more than 256 colours.
    TLbSpeedButtonStyle EffectiveStyle() const;

    const QImage& Glyph() const { return m_glyph; }
    // Also sets NumGlyphs to width div height.
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const { return m_numGlyphs; }
    void SetNumGlyphs(int count);

    bool Flat() const { return m_flat; }
    void SetFlat(bool flat);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool transparent);

    // The face colour; while ParentColor it is the parent's background.
    TColor Color() const;
    void SetColor(TColor color); // clears ParentColor
    bool ParentColor() const { return m_parentColor; }
    void SetParentColor(bool on);
    TColor LightColor() const { return m_lightColor; }
    void SetLightColor(TColor color);
    TColor ShadowColor() const { return m_shadowColor; }
    void SetShadowColor(TColor color);
    TColor ColorWhenDown() const { return m_colorWhenDown; }
    void SetColorWhenDown(TColor color);
    TColor HotTrackColor() const { return m_hotTrackColor; }
    void SetHotTrackColor(TColor color);

    // Caption colour; QWidget's font gives the rest of the caption font.
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);
    const QFont& HotTrackFont() const { return m_hotTrackFont; }
    void SetHotTrackFont(const QFont& font);
    TColor HotTrackFontColor() const { return m_hotTrackFontColor; }
    void SetHotTrackFontColor(TColor color);
    bool UseHotTrackFont() const { return m_useHotTrackFont; }
    void SetUseHotTrackFont(bool on);

    bool SlowDecease() const { return m_slowDecease; }
    void SetSlowDecease(bool on);

    // Applies a colour preset; always reads lcsCustom.
    TLbColorStyle ColorStyle() const { return lcsCustom; }
    void SetColorStyle(TLbColorStyle style);

    bool Down() const { return m_down; }
    void SetDown(bool down);
    int GroupIndex() const { return m_groupIndex; }
    void SetGroupIndex(int index);
    bool AllowAllUp() const { return m_allowAllUp; }
    void SetAllowAllUp(bool on);

    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment alignment);
    TLbSpeedButtonLayout Layout() const { return m_layout; }
    void SetLayout(TLbSpeedButtonLayout layout);
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool on);

    // "&" marks the accelerator key (Alt + letter).
    const QString& Caption() const { return m_caption; }
    void SetCaption(const QString& caption);

    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu);
    QAction* Action() const { return m_action; }
    // Takes caption, enabled state, visibility and hint from the action;
    // a click triggers it when OnClick is not assigned.
    void SetAction(QAction* action);

    // Run-time state: the mouse is over the button; 8 = fully hot.
    bool Hot() const { return m_hot; }
    int HotLevel() const { return m_hotLevel; }
    // The slow fade (tests drive it step by step).
    bool FadeRunning() const { return m_fade.Running(); }
    int FadeInterval() const { return m_fade.Interval(); }
    void FadeStep() { m_fade.Step(); }

    // Popup menu (if any), then OnClick or the action.
    void Click();

    std::function<void(TLbSpeedButton* sender)> OnClick;
    std::function<void(TLbSpeedButton* sender)> OnMouseEnter;
    std::function<void(TLbSpeedButton* sender)> OnMouseExit;
    int Tag = 0;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    TLbDrawParams DrawParams() const;
    bool Reacts() const;
    void Changed();
    void UpdateOpaque();
    void ReleaseGroup();
    void ActionChanged();
    void HotLevelStepped(int level);

    TLbSpeedButtonStyle m_style = bsNormal;
    QImage m_glyph;
    QImage m_keyedGlyph;
    int m_numGlyphs = 0;
    bool m_flat = false;
    bool m_transparent = false;
    TColor m_color = clWindow;
    bool m_parentColor = true;
    TColor m_lightColor = clWhite;
    TColor m_shadowColor = clBlack;
    TColor m_colorWhenDown = clNone;
    TColor m_hotTrackColor = clNone;
    TColor m_fontColor = clBtnText;
    QFont m_hotTrackFont;
    TColor m_hotTrackFontColor = clBtnText;
    bool m_useHotTrackFont = false;
    bool m_slowDecease = false;
    bool m_down = false;
    int m_groupIndex = 0;
    bool m_allowAllUp = false;
    TAlignment m_alignment = taLeftJustify;
    TLbSpeedButtonLayout m_layout = blGlyphLeft;
    bool m_wordWrap = false;
    QString m_caption;
    int m_shortcutId = 0;
    QPointer<QMenu> m_popupMenu;
    QPointer<QAction> m_action;
    QMetaObject::Connection m_actionConnection;

    bool m_hot = false;
    int m_hotLevel = 0;
    bool m_dragging = false;
    bool m_keyDown = false; // shown down while an accelerator clicks it
    TLbButtonFade m_fade;
};
