#include "BoxDrawing.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>

namespace terminal {
namespace {

enum Weight : std::uint8_t { none, light, heavy, twin };
enum Side : std::uint8_t { left, up, right, down };
using Arms = std::array<Weight, 4>;

// Each line character as the weights of its arms, left, up, right and down (0 none, 1 light,
// 2 heavy, 3 double), then what draws it besides: 2, 3 or 4 for a line of so many dashes, 'a'
// for a rounded corner joining its two arms, '/', '\\' and 'x' for the diagonals.
constexpr const char* lineTable[128] = {
    "1010",  "2020",  "0101",   "0202",  "10103", "20203", "01013", "02023", // 2500
    "10104", "20204", "01014",  "02024", "0011",  "0021",  "0012",  "0022",  // 2508
    "1001",  "2001",  "1002",   "2002",  "0110",  "0120",  "0210",  "0220",  // 2510
    "1100",  "2100",  "1200",   "2200",  "0111",  "0121",  "0211",  "0112",  // 2518
    "0212",  "0221",  "0122",   "0222",  "1101",  "2101",  "1201",  "1102",  // 2520
    "1202",  "2201",  "2102",   "2202",  "1011",  "2011",  "1021",  "2021",  // 2528
    "1012",  "2012",  "1022",   "2022",  "1110",  "2110",  "1120",  "2120",  // 2530
    "1210",  "2210",  "1220",   "2220",  "1111",  "2111",  "1121",  "2121",  // 2538
    "1211",  "1112",  "1212",   "2211",  "1221",  "2112",  "1122",  "2221",  // 2540
    "2122",  "2212",  "1222",   "2222",  "10102", "20202", "01012", "02022", // 2548
    "3030",  "0303",  "0031",   "0013",  "0033",  "3001",  "1003",  "3003",  // 2550
    "0130",  "0310",  "0330",   "3100",  "1300",  "3300",  "0131",  "0313",  // 2558
    "0333",  "3101",  "1303",   "3303",  "3031",  "1013",  "3033",  "3130",  // 2560
    "1310",  "3330",  "3131",   "1313",  "3333",  "0011a", "1001a", "1100a", // 2568
    "0110a", "0000/", "0000\\", "0000x", "1000",  "0100",  "0010",  "0001",  // 2570
    "2000",  "0200",  "0020",   "0002",  "1020",  "0102",  "2010",  "0201",  // 2578
};

// The quadrants of U+2596 to U+259F: upper left 1, upper right 2, lower left 4, lower right 8.
constexpr std::uint8_t quadrantTable[10] = {4, 8, 1, 1 | 4 | 8, 1 | 8, 1 | 2 | 4, 1 | 2 | 8, 2, 2 | 4, 2 | 4 | 8};

int thickness(Weight weight, int lightWidth)
{
    return weight == twin ? 3 * lightWidth : weight * lightWidth;
}

Weight heavier(Weight a, Weight b)
{
    return thickness(a, 1) >= thickness(b, 1) ? a : b;
}

struct Span {
    int from = 0;
    int to = 0;
};

// A line `width` thick in the middle of [from, to).
Span centred(int from, int to, int width)
{
    const int start = from + (to - from - width) / 2;
    return {start, start + width};
}

// A cell in device pixels, and the thickness of a light line running up and down (lightX) and
// across (lightY) in it.
struct Geometry {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int lightX = 1;
    int lightY = 1;

    Geometry transposed() const { return {top, left, bottom, right, lightY, lightX}; }
};

// Collects rectangles inside a cell, of a geometry that may be the cell's transposed: the lines
// that run up and down are drawn as those that run across, with x and y swapped.
struct Sink {
    std::vector<QRect>& rects;
    const Geometry& cell; // not transposed
    bool transposed = false;

    void add(int x0, int y0, int x1, int y1) const
    {
        if (transposed) {
            std::swap(x0, y0);
            std::swap(x1, y1);
        }
        x0 = std::max(x0, cell.left);
        y0 = std::max(y0, cell.top);
        x1 = std::min(x1, cell.right);
        y1 = std::min(y1, cell.bottom);
        if (x1 <= x0 || y1 <= y0)
            return;
        const QRect rect(x0, y0, x1 - x0, y1 - y0);
        // A rectangle that goes on from the last one (the arms of a line, a line through cells,
        // a row of blocks) lengthens it: a frame is a few long rectangles.
        if (!rects.empty()) {
            QRect& last = rects.back();
            if ((last.top() == rect.top() && last.bottom() == rect.bottom() && rect.left() <= last.right() + 1 &&
                 rect.right() >= last.left() - 1) ||
                (last.left() == rect.left() && last.right() == rect.right() && rect.top() <= last.bottom() + 1 &&
                 rect.bottom() >= last.top() - 1)) {
                last = last.united(rect);
                return;
            }
        }
        rects.push_back(rect);
    }
};

// The left and right arms of a line character. Each arm runs from its edge into the middle,
// over the lines that cross it there. A double arm's two strokes stop at the near stroke of a
// double line they meet on their side, and go on to the far one otherwise, which makes the
// inner and outer corners of double frames; a single arm stops at a double line that goes
// straight through, and crosses it to meet the opposite arm.
void horizontalArms(const Geometry& g, const Arms& arms, const Sink& sink)
{
    const Weight vertical = heavier(arms[up], arms[down]);
    const Span middle = centred(g.left, g.right,
                                thickness(vertical != none ? vertical : heavier(arms[left], arms[right]), g.lightX));
    for (const Side side : {left, right}) {
        const Weight weight = arms[side];
        if (weight == none)
            continue;
        const Span across = centred(g.top, g.bottom, thickness(weight, g.lightY));
        auto stroke = [&](int y0, int y1, bool near) {
            if (side == left)
                sink.add(g.left, y0, near ? middle.from + g.lightX : middle.to, y1);
            else
                sink.add(near ? middle.to - g.lightX : middle.from, y0, g.right, y1);
        };
        if (weight == twin) {
            stroke(across.from, across.from + g.lightY, arms[up] == twin);
            stroke(across.to - g.lightY, across.to, arms[down] == twin);
        } else {
            const Weight opposite = arms[side == left ? right : left];
            stroke(across.from, across.to, arms[up] == twin && arms[down] == twin && opposite == none);
        }
    }
}

// A line across the cell in `count` dashes, or as many as a cell that narrow holds with a pixel
// between them; the gaps are split between both ends so that the dashes of neighbours are as
// far apart as those within a cell.
void horizontalDashes(const Geometry& g, Weight weight, int count, const Sink& sink)
{
    const Span across = centred(g.top, g.bottom, thickness(weight, g.lightY));
    const int width = g.right - g.left;
    count = std::clamp(width / 2, 1, count);
    const int gap = std::max(1, static_cast<int>(std::lround(width / (3.0 * count))));
    for (int i = 0; i < count; ++i) {
        const int from = g.left + (width * i + count / 2) / count;
        const int to = g.left + (width * (i + 1) + count / 2) / count;
        sink.add(from + gap / 2, across.from, to - (gap - gap / 2), across.to);
    }
}

// The outline of a path stroked by a line lightX wide where it runs up and down and lightY wide
// where it runs across (a doubled row's cells are twice as wide).
QPainterPath strokeOutline(const QPainterPath& path, const Geometry& g)
{
    const qreal stretch = qreal(g.lightX) / g.lightY;
    QPainterPathStroker stroker;
    stroker.setWidth(g.lightY);
    stroker.setCapStyle(Qt::FlatCap);
    return QTransform::fromScale(stretch, 1).map(stroker.createStroke(QTransform::fromScale(1 / stretch, 1).map(path)));
}

// A light rounded corner between the middles of two edges, on the lines of the straight ones.
QPainterPath arc(const Geometry& g, const Arms& arms)
{
    const Span vertical = centred(g.left, g.right, g.lightX);
    const Span horizontal = centred(g.top, g.bottom, g.lightY);
    const qreal x = (vertical.from + vertical.to) / 2.0;
    const qreal y = (horizontal.from + horizontal.to) / 2.0;
    const qreal radius = std::max<qreal>(0, std::min({x - g.left, g.right - x, y - g.top, g.bottom - y}));
    const int h = arms[right] != none ? 1 : -1;
    const int v = arms[down] != none ? 1 : -1;
    QPainterPath path(QPointF(h > 0 ? g.right : g.left, y));
    const QPointF centre(x + h * radius, y + v * radius);
    path.lineTo(centre.x(), y);
    path.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), v > 0 ? 90 : -90,
               h * v * 90);
    path.lineTo(x, v > 0 ? g.bottom : g.top);
    return strokeOutline(path, g);
}

// Light lines from corner to corner, cut at the cell's edges so that neighbours' meet.
QPainterPath diagonals(const Geometry& g, char which)
{
    const QRectF cell(g.left, g.top, g.right - g.left, g.bottom - g.top);
    const QPointF past(cell.width() / 2, cell.height() / 2);
    QPainterPath path;
    if (which != '\\') {
        path.moveTo(cell.bottomLeft() + QPointF(-past.x(), past.y()));
        path.lineTo(cell.topRight() + QPointF(past.x(), -past.y()));
    }
    if (which != '/') {
        path.moveTo(cell.topLeft() - past);
        path.lineTo(cell.bottomRight() + past);
    }
    QPainterPath bounds;
    bounds.addRect(cell);
    return strokeOutline(path, g).intersected(bounds);
}

// Where `eighths` of the way from `from` to `to` falls, on a whole pixel.
int eighth(int from, int to, int eighths)
{
    return from + ((to - from) * eighths + 4) / 8;
}

// A block element's rectangle in eighths of the cell (left, top, right, bottom); none for the
// quadrants and shades.
std::array<int, 4> blockEighths(char32_t code)
{
    if (code == 0x2580)
        return {0, 0, 8, 4};
    if (code <= 0x2588)
        return {0, 8 - static_cast<int>(code - 0x2580), 8, 8};
    if (code <= 0x258F)
        return {0, 0, 8 - static_cast<int>(code - 0x2588), 8};
    if (code == 0x2590)
        return {4, 0, 8, 8};
    if (code == 0x2594)
        return {0, 0, 8, 1};
    if (code == 0x2595)
        return {7, 0, 8, 8};
    return {0, 0, 0, 0};
}

void block(const Geometry& g, char32_t code, const Sink& sink)
{
    auto add = [&](int x0, int y0, int x1, int y1) {
        sink.add(eighth(g.left, g.right, x0), eighth(g.top, g.bottom, y0), eighth(g.left, g.right, x1),
                 eighth(g.top, g.bottom, y1));
    };
    if (code >= 0x2596) {
        const std::uint8_t quadrants = quadrantTable[code - 0x2596];
        for (int q = 0; q < 4; ++q)
            if (quadrants & (1 << q))
                add(q % 2 * 4, q / 2 * 4, q % 2 * 4 + 4, q / 2 * 4 + 4);
        return;
    }
    const auto [x0, y0, x1, y1] = blockEighths(code);
    add(x0, y0, x1, y1);
}

} // namespace

BoxDrawing::Batch& BoxDrawing::batchFor(QRgb color)
{
    // Neighbouring cells mostly share their colour; a screen of many colours has many batches.
    if (lastBatch_ < used_ && batches_[lastBatch_].color == color)
        return batches_[lastBatch_];
    const auto [it, added] = batchIndex_.try_emplace(color, used_);
    if (added) {
        if (used_ == batches_.size())
            batches_.emplace_back();
        batches_[used_++].color = color;
    }
    lastBatch_ = it->second;
    return batches_[lastBatch_];
}

bool BoxDrawing::add(const QPainter& painter, std::int32_t code, QPointF topLeft, QPointF bottomRight, QRgb color)
{
    if (!draws(code))
        return false;
    const QTransform& device = painter.deviceTransform();
    const QPointF from = device.map(topLeft);
    const QPointF to = device.map(bottomRight);
    Geometry g;
    g.left = static_cast<int>(std::lround(from.x()));
    g.top = static_cast<int>(std::lround(from.y()));
    g.right = static_cast<int>(std::lround(to.x()));
    g.bottom = static_cast<int>(std::lround(to.y()));
    g.lightX = std::max(1, static_cast<int>(std::lround(lineWidth_ * device.m11())));
    g.lightY = std::max(1, static_cast<int>(std::lround(lineWidth_ * device.m22())));
    if (g.right <= g.left || g.bottom <= g.top)
        return true;

    if (code >= 0x2591 && code <= 0x2593) {
        // The shades: the colour a quarter, half and three quarters over the background.
        QColor shade = QColor::fromRgba(color);
        shade.setAlphaF(shade.alphaF() * static_cast<float>(code - 0x2590) / 4);
        batchFor(shade.rgba()).fills.emplace_back(g.left, g.top, g.right - g.left, g.bottom - g.top);
        return true;
    }
    Batch& batch = batchFor(color);
    if (code >= 0x2580) {
        block(g, static_cast<char32_t>(code), Sink{batch.fills, g});
        return true;
    }
    const char* entry = lineTable[code - 0x2500];
    const Arms arms{Weight(entry[0] - '0'), Weight(entry[1] - '0'), Weight(entry[2] - '0'), Weight(entry[3] - '0')};
    const char special = entry[4];
    if (special >= '2' && special <= '4') {
        if (arms[left] != none)
            horizontalDashes(g, arms[left], special - '0', Sink{batch.fills, g});
        else
            horizontalDashes(g.transposed(), arms[up], special - '0', Sink{batch.fills, g, true});
    } else if (special != 0) {
        const int width = g.right - g.left;
        const int height = g.bottom - g.top;
        const std::uint64_t key = std::uint64_t(code - 0x2500) | std::uint64_t(width & 0xFFFF) << 8 |
                                  std::uint64_t(height & 0xFFFF) << 24 | std::uint64_t(g.lightX & 0xFF) << 40 |
                                  std::uint64_t(g.lightY & 0xFF) << 48;
        auto it = outlines_.find(key);
        if (it == outlines_.end()) {
            if (outlines_.size() >= 256)
                outlines_.clear();
            const Geometry origin{0, 0, width, height, g.lightX, g.lightY};
            it = outlines_.emplace(key, special == 'a' ? arc(origin, arms) : diagonals(origin, special)).first;
        }
        batch.smooth.addPath(it->second.translated(g.left, g.top));
    } else {
        horizontalArms(g, arms, Sink{batch.lines, g});
        horizontalArms(g.transposed(), {arms[up], arms[left], arms[down], arms[right]}, Sink{batch.lines, g, true});
    }
    return true;
}

void BoxDrawing::flush(QPainter& painter)
{
    if (used_ == 0)
        return;
    painter.save();
    // Device pixels: the painter's transform undone, the device's pixel ratio with it.
    painter.setWorldTransform(painter.deviceTransform().inverted() * painter.worldTransform());
    painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < used_; ++i) {
        Batch& batch = batches_[i];
        const QColor color = QColor::fromRgba(batch.color);
        painter.setBrush(color);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.drawRects(batch.fills.data(), static_cast<int>(batch.fills.size()));
        if (color.alpha() == 255) {
            painter.drawRects(batch.lines.data(), static_cast<int>(batch.lines.size()));
        } else if (!batch.lines.empty()) {
            // Arms overlap where they meet: one path covers each pixel once.
            QPainterPath path;
            path.setFillRule(Qt::WindingFill);
            for (const QRect& rect : batch.lines)
                path.addRect(rect);
            painter.drawPath(path);
        }
        if (!batch.smooth.isEmpty()) {
            painter.setRenderHint(QPainter::Antialiasing, true);
            batch.smooth.setFillRule(Qt::WindingFill);
            painter.drawPath(batch.smooth);
        }
        batch.lines.clear();
        batch.fills.clear();
        batch.smooth.clear();
    }
    batchIndex_.clear();
    lastBatch_ = 0;
    used_ = 0;
    painter.restore();
}

} // namespace terminal
