// SPDX-FileCopyrightText: 2024-2026 Rennzeit developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "controls/ColorValue.h"

#include <QWidget>

#include <cstdint>
#include <functional>

// One seven-segment digit with a decimal point, scaled to its rectangle. It
// paints every pixel itself (opaque), and display setters redraw it at once,
// so a clock tick costs one paint per digit that actually changed.
class TDigit final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDigit)

public:
    explicit TDigit(QWidget* owner = nullptr);

    int Value() const { return m_value; }
    void SetValue(int value);
    std::uint8_t ValueBinary() const { return m_valueBinary; }
    void SetValueBinary(std::uint8_t pattern);
    TColor ColorOn() const { return m_colorOn; }
    void SetColorOn(TColor c);
    TColor ColorOff() const { return m_colorOff; }
    void SetColorOff(TColor c);
    // Background and segment outline colour.
    TColor Color() const { return m_color; }
    void SetColor(TColor c);
    int Thickness() const { return m_thickness; }
    void SetThickness(int thickness);
    int Separation() const { return m_separation; }
    void SetSeparation(int separation);

    // Segment mask of each digit 0..9.
    static std::uint8_t SegmentPattern(int digit);

    std::function<void(QObject* Sender)> OnOverflow;
    int Tag = 0;

    // Paints done so far, for benchmarks and tests that count redraws.
    int PaintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_value = 0;
    std::uint8_t m_valueBinary = 0;
    TColor m_colorOn = 0;
    TColor m_colorOff = 0;
    TColor m_color = 0;
    int m_thickness = 0;
    int m_separation = 0;
    int m_paintCount = 0;
};
