#pragma once

#include "terminal/TerminalOptions.h"

#include <QColor>
#include <QObject>
#include <QRectF>

#include <functional>
#include <optional>

class QPainter;
class QVariantAnimation;

namespace terminal {

// The caret over the cursor cell: one of six shapes, the character under a block caret in the
// caret's text colour, a hollow outline while the view has no focus, and blinking by fading
// its opacity. It is drawn by the terminal view; it asks for a repaint of its cell as it fades.
class CaretView : public QObject {
    Q_OBJECT
public:
    CaretView(CursorStyle style, std::function<void()> repaint);
    ~CaretView() override;

    CursorStyle style() const { return style_; }
    void setStyle(CursorStyle style);
    static bool isBlinking(CursorStyle style);
    static bool isBlock(CursorStyle style);

    QColor defaultCaretColor;
    QColor caretColor;
    std::optional<QColor> defaultCaretTextColor;
    std::optional<QColor> caretTextColor;

    // Starts blinking for a blinking style, or shows the caret steady.
    void applyStyle();
    void setBlinking(bool on);
    bool blinking() const;
    qreal opacity() const { return opacity_; }

    // Draws the shape in `cell`; `drawCharacter` draws the character in a colour (for blocks).
    void paint(QPainter& painter, const QRectF& cell, bool focused,
               const std::function<void(QPainter&, QColor)>& drawCharacter) const;

private:
    CursorStyle style_;
    std::function<void()> repaint_;
    QVariantAnimation* blink_;
    qreal opacity_ = 1;
};

} // namespace terminal
