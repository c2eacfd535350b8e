// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/ButtonLayout.h"
#include "controls/ColorValue.h"
#include "controls/ModalResult.h"

#include <QImage>
#include <QPushButton>

#include <functional>
#include <memory>

class QShortcut;

enum TBitBtnWithColorKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };

// The glyph images of a strip, in strip order.
enum class TBitBtnGlyphState { Up = 0, Disabled = 1, Down = 2, Exclusive = 3 };

// A push button with a glyph whose face is painted in a colour of its own.
// Qt's button does focus, keyboard activation, tooltips and the click; this
// class paints the face and adds the bitmap-button presets.
class TBitBtnWithColor : public QPushButton {
    Q_OBJECT

public:
    explicit TBitBtnWithColor(QWidget* parent = nullptr);
    ~TBitBtnWithColor() override;

    // Face colour (system colours allowed); repaints at once.
    TColor Color() const { return m_color; }
    void SetColor(TColor color);
    // Caption colour.
    TColor FontColor() const { return m_fontColor; }
    void SetFontColor(TColor color);

    const QImage& Glyph() const { return m_glyph; }
    void SetGlyph(const QImage& glyph); // marks the glyph as the user's
    int NumGlyphs() const { return m_numGlyphs; }
    void SetNumGlyphs(int count); // 1 .. 4

    // bkCustom once caption, glyph, modal result, Default or Cancel differ
    // from the kind's preset.
    TBitBtnWithColorKind Kind() const;
    void SetKind(TBitBtnWithColorKind kind);

    TButtonLayout Layout() const { return m_layout; }
    void SetLayout(TButtonLayout layout);
    int Margin() const { return m_margin; }
    void SetMargin(int margin); // below -1 is ignored
    int Spacing() const { return m_spacing; }
    void SetSpacing(int spacing);
    // Stored only; the face always looks the same.
    TButtonStyle Style() const { return m_style; }
    void SetStyle(TButtonStyle style) { m_style = style; }

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption) { setText(caption); }
    bool Default() const { return isDefault(); }
    void SetDefault(bool on) { setDefault(on); }
    // Escape in the window clicks a Cancel button.
    bool Cancel() const { return m_cancel; }
    void SetCancel(bool on);
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int result) { m_modalResult = result; }

    // The focused button, or the default one while no other button has the
    // focus: it gets the dark frame and the focus rectangle.
    bool IsActiveButton() const;

    // The image drawn for a state, composed on the face colour; null without
    // a glyph.
    QImage GlyphFor(TBitBtnGlyphState state) const;

    // bkHelp asks this handler to show the help context of the nearest
    // widget (itself or a parent) whose dynamic property "HelpContext" is
    // non-zero. Without handler or context the click is an ordinary one.
    static void SetHelpHandler(std::function<void(int helpContext)> handler);

    // After the kind's own action (help, close) or in its place.
    std::function<void(TBitBtnWithColor* sender)> OnClick;
    // Any mouse button going down on the button (a double click counts as a
    // second press); x and y in button coordinates.
    std::function<void(TBitBtnWithColor* sender, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y)>
        OnMouseDown;
    int Tag = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Return and Enter press the focused button as Space does, also outside
    // a dialog (where the toolkit leaves them to the window).
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Clicked();
    void RepaintNow();
    bool KindPresetHolds() const;

    TColor m_color = clBtnFace;
    TColor m_fontColor = clBtnText;
    QImage m_glyph;
    QImage m_keyedGlyph;
    int m_numGlyphs = 1;
    bool m_glyphIsUsers = false;
    TBitBtnWithColorKind m_kind = bkCustom;
    TButtonLayout m_layout = blGlyphLeft;
    int m_margin = -1;
    int m_spacing = 4;
    TButtonStyle m_style = bsAutoDetect;
    bool m_cancel = false;
    int m_modalResult = mrNone;
    std::unique_ptr<QShortcut> m_cancelShortcut;
    QMetaObject::Connection m_focusConnection;
    bool m_inMouseDown = false;
    bool m_deactivatedInMouseDown = false;
};
