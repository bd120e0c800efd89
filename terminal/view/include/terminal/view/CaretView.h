#pragma once

#include "terminal/TerminalOptions.h"

#include <QColor>
#include <QObject>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace platform {
class FrameLoop;
}

namespace terminal {

// The caret over the cursor cell: one of six shapes, the character under a block caret in the
// caret's text colour, a hollow outline while the view has no focus, and blinking by fading
// its opacity. It is drawn by the terminal view; it asks for a repaint of its cell as it fades,
// once for each step of opacity and at no other time.
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

    // The frames of one blink period: when each is due (ms into the period) and its opacity.
    // The last one, opaque again, ends the period.
    struct BlinkFrame {
        double atMs;
        qreal opacity;
    };
    static const std::vector<BlinkFrame>& blinkFrames();

    // Draws the shape in `cell`; `drawCharacter` draws the character in a colour (for blocks).
    void paint(QPainter& painter, const QRectF& cell, bool focused,
               const std::function<void(QPainter&, QColor)>& drawCharacter) const;

private:
    CursorStyle style_;
    std::function<void()> repaint_;
    std::unique_ptr<platform::FrameLoop> blink_;
    qreal opacity_ = 1;
};

} // namespace terminal
