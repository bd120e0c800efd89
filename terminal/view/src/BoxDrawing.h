#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRect>

#include <cstdint>
#include <unordered_map>
#include <vector>

class QPainter;

namespace terminal {

// Box-drawing lines (U+2500 to U+257F) and block elements (U+2580 to U+259F) drawn from the
// cell's geometry instead of the font, whose outlines stop short of the cell: a frame's lines
// meet their neighbours' across columns and rows, and a meter's blocks fill their cells. The
// shapes are placed on device pixels, so that at any scale the pixel a cell ends on is the one
// the next cell begins after.
class BoxDrawing {
public:
    static constexpr bool draws(std::int32_t code) { return code >= 0x2500 && code <= 0x259F; }

    // The width of a light line, in the painter's logical pixels.
    void setLineWidth(qreal width) { lineWidth_ = width; }

    // Adds the shapes of a character in the cell from `topLeft` to `bottomRight`, in the painter's
    // coordinates now (a doubled row's too), in a colour; false for any other character. Each
    // edge is given rather than a size, so that cells that share one round it alike.
    bool add(const QPainter& painter, std::int32_t code, QPointF topLeft, QPointF bottomRight, QRgb color);
    // Draws what was added since the last flush.
    void flush(QPainter& painter);

private:
    // What one colour draws: rectangles on whole pixels, those of lines apart since their arms
    // overlap where they meet, and arcs and diagonals smoothed.
    struct Batch {
        QRgb color = 0;
        std::vector<QRect> lines;
        std::vector<QRect> fills;
        QPainterPath smooth;
    };

    Batch& batchFor(QRgb color);

    qreal lineWidth_ = 1;
    std::vector<Batch> batches_;
    std::size_t used_ = 0; // batches in use; the others keep their storage for the next paint
    std::size_t lastBatch_ = 0;
    std::unordered_map<QRgb, std::size_t> batchIndex_;
    // The outlines of arcs and diagonals in a cell at the origin, by character and geometry: the
    // stroking is slow, and a font gives a few geometries.
    std::unordered_map<std::uint64_t, QPainterPath> outlines_;
};

} // namespace terminal
