// Box-drawing and block characters fill their cells as their Unicode names describe them, so
// that neighbours join across columns and rows at any cell size and scale: each character is
// drawn between the straight lines its arms meet, and the pixels on both sides of each shared
// edge are compared.
#include "ViewTestSupport.h"

#include "../src/CellPainter.h"
#include "terminal/UnicodeUtil.h"

#include <QPainter>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace terminal {
namespace {

constexpr char32_t first = 0x2500;

// The names of U+2500 to U+259F, without "BOX DRAWINGS ".
const char* const names[] = {
    "LIGHT HORIZONTAL", // 2500
    "HEAVY HORIZONTAL", // 2501
    "LIGHT VERTICAL", // 2502
    "HEAVY VERTICAL", // 2503
    "LIGHT TRIPLE DASH HORIZONTAL", // 2504
    "HEAVY TRIPLE DASH HORIZONTAL", // 2505
    "LIGHT TRIPLE DASH VERTICAL", // 2506
    "HEAVY TRIPLE DASH VERTICAL", // 2507
    "LIGHT QUADRUPLE DASH HORIZONTAL", // 2508
    "HEAVY QUADRUPLE DASH HORIZONTAL", // 2509
    "LIGHT QUADRUPLE DASH VERTICAL", // 250A
    "HEAVY QUADRUPLE DASH VERTICAL", // 250B
    "LIGHT DOWN AND RIGHT", // 250C
    "DOWN LIGHT AND RIGHT HEAVY", // 250D
    "DOWN HEAVY AND RIGHT LIGHT", // 250E
    "HEAVY DOWN AND RIGHT", // 250F
    "LIGHT DOWN AND LEFT", // 2510
    "DOWN LIGHT AND LEFT HEAVY", // 2511
    "DOWN HEAVY AND LEFT LIGHT", // 2512
    "HEAVY DOWN AND LEFT", // 2513
    "LIGHT UP AND RIGHT", // 2514
    "UP LIGHT AND RIGHT HEAVY", // 2515
    "UP HEAVY AND RIGHT LIGHT", // 2516
    "HEAVY UP AND RIGHT", // 2517
    "LIGHT UP AND LEFT", // 2518
    "UP LIGHT AND LEFT HEAVY", // 2519
    "UP HEAVY AND LEFT LIGHT", // 251A
    "HEAVY UP AND LEFT", // 251B
    "LIGHT VERTICAL AND RIGHT", // 251C
    "VERTICAL LIGHT AND RIGHT HEAVY", // 251D
    "UP HEAVY AND RIGHT DOWN LIGHT", // 251E
    "DOWN HEAVY AND RIGHT UP LIGHT", // 251F
    "VERTICAL HEAVY AND RIGHT LIGHT", // 2520
    "DOWN LIGHT AND RIGHT UP HEAVY", // 2521
    "UP LIGHT AND RIGHT DOWN HEAVY", // 2522
    "HEAVY VERTICAL AND RIGHT", // 2523
    "LIGHT VERTICAL AND LEFT", // 2524
    "VERTICAL LIGHT AND LEFT HEAVY", // 2525
    "UP HEAVY AND LEFT DOWN LIGHT", // 2526
    "DOWN HEAVY AND LEFT UP LIGHT", // 2527
    "VERTICAL HEAVY AND LEFT LIGHT", // 2528
    "DOWN LIGHT AND LEFT UP HEAVY", // 2529
    "UP LIGHT AND LEFT DOWN HEAVY", // 252A
    "HEAVY VERTICAL AND LEFT", // 252B
    "LIGHT DOWN AND HORIZONTAL", // 252C
    "LEFT HEAVY AND RIGHT DOWN LIGHT", // 252D
    "RIGHT HEAVY AND LEFT DOWN LIGHT", // 252E
    "DOWN LIGHT AND HORIZONTAL HEAVY", // 252F
    "DOWN HEAVY AND HORIZONTAL LIGHT", // 2530
    "RIGHT LIGHT AND LEFT DOWN HEAVY", // 2531
    "LEFT LIGHT AND RIGHT DOWN HEAVY", // 2532
    "HEAVY DOWN AND HORIZONTAL", // 2533
    "LIGHT UP AND HORIZONTAL", // 2534
    "LEFT HEAVY AND RIGHT UP LIGHT", // 2535
    "RIGHT HEAVY AND LEFT UP LIGHT", // 2536
    "UP LIGHT AND HORIZONTAL HEAVY", // 2537
    "UP HEAVY AND HORIZONTAL LIGHT", // 2538
    "RIGHT LIGHT AND LEFT UP HEAVY", // 2539
    "LEFT LIGHT AND RIGHT UP HEAVY", // 253A
    "HEAVY UP AND HORIZONTAL", // 253B
    "LIGHT VERTICAL AND HORIZONTAL", // 253C
    "LEFT HEAVY AND RIGHT VERTICAL LIGHT", // 253D
    "RIGHT HEAVY AND LEFT VERTICAL LIGHT", // 253E
    "VERTICAL LIGHT AND HORIZONTAL HEAVY", // 253F
    "UP HEAVY AND DOWN HORIZONTAL LIGHT", // 2540
    "DOWN HEAVY AND UP HORIZONTAL LIGHT", // 2541
    "VERTICAL HEAVY AND HORIZONTAL LIGHT", // 2542
    "LEFT UP HEAVY AND RIGHT DOWN LIGHT", // 2543
    "RIGHT UP HEAVY AND LEFT DOWN LIGHT", // 2544
    "LEFT DOWN HEAVY AND RIGHT UP LIGHT", // 2545
    "RIGHT DOWN HEAVY AND LEFT UP LIGHT", // 2546
    "DOWN LIGHT AND UP HORIZONTAL HEAVY", // 2547
    "UP LIGHT AND DOWN HORIZONTAL HEAVY", // 2548
    "RIGHT LIGHT AND LEFT VERTICAL HEAVY", // 2549
    "LEFT LIGHT AND RIGHT VERTICAL HEAVY", // 254A
    "HEAVY VERTICAL AND HORIZONTAL", // 254B
    "LIGHT DOUBLE DASH HORIZONTAL", // 254C
    "HEAVY DOUBLE DASH HORIZONTAL", // 254D
    "LIGHT DOUBLE DASH VERTICAL", // 254E
    "HEAVY DOUBLE DASH VERTICAL", // 254F
    "DOUBLE HORIZONTAL", // 2550
    "DOUBLE VERTICAL", // 2551
    "DOWN SINGLE AND RIGHT DOUBLE", // 2552
    "DOWN DOUBLE AND RIGHT SINGLE", // 2553
    "DOUBLE DOWN AND RIGHT", // 2554
    "DOWN SINGLE AND LEFT DOUBLE", // 2555
    "DOWN DOUBLE AND LEFT SINGLE", // 2556
    "DOUBLE DOWN AND LEFT", // 2557
    "UP SINGLE AND RIGHT DOUBLE", // 2558
    "UP DOUBLE AND RIGHT SINGLE", // 2559
    "DOUBLE UP AND RIGHT", // 255A
    "UP SINGLE AND LEFT DOUBLE", // 255B
    "UP DOUBLE AND LEFT SINGLE", // 255C
    "DOUBLE UP AND LEFT", // 255D
    "VERTICAL SINGLE AND RIGHT DOUBLE", // 255E
    "VERTICAL DOUBLE AND RIGHT SINGLE", // 255F
    "DOUBLE VERTICAL AND RIGHT", // 2560
    "VERTICAL SINGLE AND LEFT DOUBLE", // 2561
    "VERTICAL DOUBLE AND LEFT SINGLE", // 2562
    "DOUBLE VERTICAL AND LEFT", // 2563
    "DOWN SINGLE AND HORIZONTAL DOUBLE", // 2564
    "DOWN DOUBLE AND HORIZONTAL SINGLE", // 2565
    "DOUBLE DOWN AND HORIZONTAL", // 2566
    "UP SINGLE AND HORIZONTAL DOUBLE", // 2567
    "UP DOUBLE AND HORIZONTAL SINGLE", // 2568
    "DOUBLE UP AND HORIZONTAL", // 2569
    "VERTICAL SINGLE AND HORIZONTAL DOUBLE", // 256A
    "VERTICAL DOUBLE AND HORIZONTAL SINGLE", // 256B
    "DOUBLE VERTICAL AND HORIZONTAL", // 256C
    "LIGHT ARC DOWN AND RIGHT", // 256D
    "LIGHT ARC DOWN AND LEFT", // 256E
    "LIGHT ARC UP AND LEFT", // 256F
    "LIGHT ARC UP AND RIGHT", // 2570
    "LIGHT DIAGONAL UPPER RIGHT TO LOWER LEFT", // 2571
    "LIGHT DIAGONAL UPPER LEFT TO LOWER RIGHT", // 2572
    "LIGHT DIAGONAL CROSS", // 2573
    "LIGHT LEFT", // 2574
    "LIGHT UP", // 2575
    "LIGHT RIGHT", // 2576
    "LIGHT DOWN", // 2577
    "HEAVY LEFT", // 2578
    "HEAVY UP", // 2579
    "HEAVY RIGHT", // 257A
    "HEAVY DOWN", // 257B
    "LIGHT LEFT AND HEAVY RIGHT", // 257C
    "LIGHT UP AND HEAVY DOWN", // 257D
    "HEAVY LEFT AND LIGHT RIGHT", // 257E
    "HEAVY UP AND LIGHT DOWN", // 257F
    "UPPER HALF BLOCK", // 2580
    "LOWER ONE EIGHTH BLOCK", // 2581
    "LOWER ONE QUARTER BLOCK", // 2582
    "LOWER THREE EIGHTHS BLOCK", // 2583
    "LOWER HALF BLOCK", // 2584
    "LOWER FIVE EIGHTHS BLOCK", // 2585
    "LOWER THREE QUARTERS BLOCK", // 2586
    "LOWER SEVEN EIGHTHS BLOCK", // 2587
    "FULL BLOCK", // 2588
    "LEFT SEVEN EIGHTHS BLOCK", // 2589
    "LEFT THREE QUARTERS BLOCK", // 258A
    "LEFT FIVE EIGHTHS BLOCK", // 258B
    "LEFT HALF BLOCK", // 258C
    "LEFT THREE EIGHTHS BLOCK", // 258D
    "LEFT ONE QUARTER BLOCK", // 258E
    "LEFT ONE EIGHTH BLOCK", // 258F
    "RIGHT HALF BLOCK", // 2590
    "LIGHT SHADE", // 2591
    "MEDIUM SHADE", // 2592
    "DARK SHADE", // 2593
    "UPPER ONE EIGHTH BLOCK", // 2594
    "RIGHT ONE EIGHTH BLOCK", // 2595
    "QUADRANT LOWER LEFT", // 2596
    "QUADRANT LOWER RIGHT", // 2597
    "QUADRANT UPPER LEFT", // 2598
    "QUADRANT UPPER LEFT AND LOWER LEFT AND LOWER RIGHT", // 2599
    "QUADRANT UPPER LEFT AND LOWER RIGHT", // 259A
    "QUADRANT UPPER LEFT AND UPPER RIGHT AND LOWER LEFT", // 259B
    "QUADRANT UPPER LEFT AND UPPER RIGHT AND LOWER RIGHT", // 259C
    "QUADRANT UPPER RIGHT", // 259D
    "QUADRANT UPPER RIGHT AND LOWER LEFT", // 259E
    "QUADRANT UPPER RIGHT AND LOWER LEFT AND LOWER RIGHT", // 259F
};

enum Weight { none, light, heavy, twin };
enum Edge { left, top, right, bottom };

// What a line character's name says it draws.
struct Line {
    std::array<Weight, 4> arms{}; // the weight of the line that meets each edge in its middle
    int dashes = 0;
    bool diagonal = false;
    std::array<bool, 4> corners{}; // reached by a diagonal: top left, top right, bottom left, bottom right
};

// "DOWN LIGHT AND RIGHT HEAVY", "LIGHT VERTICAL AND HORIZONTAL", "HEAVY TRIPLE DASH VERTICAL",
// "LIGHT ARC UP AND LEFT", "LIGHT DIAGONAL UPPER RIGHT TO LOWER LEFT": directions and the
// weight of their part of the name, or of the other part when theirs names none.
Line lineOf(const QString& name)
{
    Line line;
    QStringList words = name.split(' ');
    if (words.contains("DIAGONAL")) {
        line.diagonal = true;
        const bool cross = words.contains("CROSS");
        const bool rising = name.contains("UPPER RIGHT TO LOWER LEFT");
        line.corners = {cross || !rising, cross || rising, cross || rising, cross || !rising};
        return line;
    }
    if (const qsizetype dash = words.indexOf("DASH"); dash > 0) {
        const QString count = words[dash - 1];
        line.dashes = count == "DOUBLE" ? 2 : count == "TRIPLE" ? 3 : 4;
        words.remove(dash - 1, 2);
    }
    words.removeAll("ARC");
    const std::map<QString, Weight> weights{{"LIGHT", light}, {"SINGLE", light}, {"HEAVY", heavy}, {"DOUBLE", twin}};
    const std::map<QString, std::vector<Edge>> directions{{"LEFT", {left}},   {"UP", {top}},
                                                          {"RIGHT", {right}}, {"DOWN", {bottom}},
                                                          {"HORIZONTAL", {left, right}}, {"VERTICAL", {top, bottom}}};
    struct Part {
        Weight weight = none;
        std::vector<Edge> edges;
    };
    std::vector<Part> parts(1);
    for (const QString& word : words) {
        if (word == "AND")
            parts.emplace_back();
        else if (weights.contains(word))
            parts.back().weight = weights.at(word);
        else
            for (Edge edge : directions.at(word))
                parts.back().edges.push_back(edge);
    }
    for (const Part& part : parts) {
        const Weight shared = parts.front().weight != none ? parts.front().weight : parts.back().weight;
        for (Edge edge : part.edges)
            line.arms[edge] = part.weight != none ? part.weight : shared;
    }
    return line;
}

// What a block element's name says it fills, in eighths of the cell (left, top, right, bottom),
// its quadrants (upper left, upper right, lower left, lower right) or its shade in quarters.
struct Block {
    std::array<int, 4> eighths{};
    std::array<bool, 4> quadrants{};
    bool quadrant = false;
    int shade = 0;
};

Block blockOf(const QString& name)
{
    Block block;
    if (name.endsWith("SHADE")) {
        block.shade = name.startsWith("LIGHT") ? 1 : name.startsWith("MEDIUM") ? 2 : 3;
        return block;
    }
    if (name.startsWith("QUADRANT")) {
        block.quadrant = true;
        for (const QString& part : name.mid(9).split(" AND "))
            block.quadrants[(part.startsWith("LOWER") ? 2 : 0) + (part.endsWith("RIGHT") ? 1 : 0)] = true;
        return block;
    }
    if (name == "FULL BLOCK") {
        block.eighths = {0, 0, 8, 8};
        return block;
    }
    const QStringList words = name.split(' ');
    const std::map<QString, int> numerators{{"ONE", 1}, {"THREE", 3}, {"FIVE", 5}, {"SEVEN", 7}};
    const int numerator = numerators.contains(words[1]) ? numerators.at(words[1]) : 1;
    const QString of = words[1] == "HALF" ? words[1] : words[2];
    const int k = numerator * (of.startsWith("HALF") ? 4 : of.startsWith("QUARTER") ? 2 : 1);
    const QString side = words[0];
    block.eighths = side == "UPPER" ? std::array{0, 0, 8, k}
                  : side == "LOWER" ? std::array{0, 8 - k, 8, 8}
                  : side == "LEFT"  ? std::array{0, 0, k, 8}
                                    : std::array{8 - k, 0, 8, 8};
    return block;
}

// A terminal's screen painted by a painter of its own into an image of a pixel ratio, and where
// each cell lies in it, found from full blocks in a checkerboard (neighbouring blocks would
// touch).
class Screen {
public:
    Screen(int cols, int rows, int pixelSize, qreal ratio)
        : view_(testing::makeView(cols, rows))
        , ratio_(ratio)
    {
        QFont font = testing::testFont();
        font.setPixelSize(pixelSize);
        painter_.setFont(font);
        frame_.terminal = &view_->terminal();
        frame_.foreground = Qt::white;
        frame_.background = Qt::black;
        frame_.selectionBackground = Qt::blue;
        const QSizeF cell = painter_.cellSize();
        logical_ = QSize(static_cast<int>(std::ceil(cell.width() * cols)),
                         static_cast<int>(std::ceil(cell.height() * rows)));
        frame_.width = logical_.width();

        std::string board = "\x1b[H";
        for (int row = 0; row < rows; ++row)
            for (int col = 0; col < cols; ++col)
                board += (row + col) % 2 ? " " : "█";
        show(board);
        // The run of the block in each column, on a row where it stands, and in each row.
        for (int col = 0; col < cols; ++col) {
            const auto [from, to] = run(col, col % 2, true);
            if (col == 0)
                xs_.push_back(from);
            EXPECT_EQ(from, xs_.back()) << "column " << col << " begins where the one before ends";
            xs_.push_back(to);
        }
        for (int row = 0; row < rows; ++row) {
            const auto [from, to] = run(row % 2, row, false);
            if (row == 0)
                ys_.push_back(from);
            EXPECT_EQ(from, ys_.back()) << "row " << row << " begins where the one before ends";
            ys_.push_back(to);
        }
    }

    TerminalView& view() { return *view_; }
    const QImage& image() const { return image_; }

    // The screen after `text`, painted.
    void show(const std::string& text)
    {
        view_->feed(text);
        image_ = QImage((QSizeF(logical_) * ratio_).toSize(), QImage::Format_RGB32);
        image_.setDevicePixelRatio(ratio_);
        image_.fill(Qt::black);
        QPainter p(&image_);
        painter_.paint(p, QRect(QPoint(0, 0), logical_), frame_);
    }

    // A cell's pixels: left, top, right and bottom (one past the last).
    QRect cell(int col, int row) const
    {
        return QRect(QPoint(xs_[col], ys_[row]), QPoint(xs_[col + 1] - 1, ys_[row + 1] - 1));
    }

    bool ink(int x, int y) const { return qGreen(image_.pixel(x, y)) > 127; }

    // The runs of ink along one line of pixels: a column (from y0 to y1) or a row.
    std::vector<std::pair<int, int>> runs(int at, int from, int to, bool column) const
    {
        std::vector<std::pair<int, int>> found;
        for (int i = from; i < to; ++i)
            if (column ? ink(at, i) : ink(i, at)) {
                if (!found.empty() && found.back().second == i)
                    found.back().second = i + 1;
                else
                    found.emplace_back(i, i + 1);
            }
        return found;
    }

private:
    // The run of ink through the middle of a cell, across it (or down it).
    std::pair<int, int> run(int col, int row, bool across) const
    {
        const QSizeF cell = painter_.cellSize() * ratio_;
        const int x = static_cast<int>((col + 0.5) * cell.width());
        const int y = static_cast<int>((row + 0.5) * cell.height());
        int from = across ? x : y;
        int to = from;
        while (from > 0 && ink(across ? from - 1 : x, across ? y : from - 1))
            --from;
        while (to < (across ? image_.width() : image_.height()) && ink(across ? to : x, across ? y : to))
            ++to;
        return {from, to};
    }

    std::unique_ptr<TerminalView> view_;
    qreal ratio_;
    CellPainter painter_;
    CellPainter::Frame frame_;
    QSize logical_;
    QImage image_;
    std::vector<int> xs_;
    std::vector<int> ys_;
};

// One run of ink from `from` to `to`.
std::vector<std::pair<int, int>> whole(int from, int to)
{
    return {{from, to}};
}

std::string at(int col, int row, char32_t c)
{
    std::string text = "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(col + 1) + "H";
    appendUtf8(text, c);
    return text;
}

struct Scale {
    int pixelSize;
    qreal ratio;
};
const Scale scales[] = {{12, 1}, {12, 1.5}, {12, 2}, {25, 1}, {17, 1.25}};

std::string describe(const Scale& scale)
{
    return std::to_string(scale.pixelSize) + " px at " + std::to_string(scale.ratio);
}

// Neighbouring full blocks leave no pixel between them, along a row or down a column.
TEST(BoxDrawing, FullBlocksTileTheScreen)
{
    for (const Scale& scale : scales) {
        Screen screen(20, 6, scale.pixelSize, scale.ratio);
        std::string blocks = "\x1b[H";
        for (int i = 0; i < 20 * 6; ++i)
            blocks += "█";
        screen.show(blocks);
        const QRect all = screen.cell(0, 0) | screen.cell(19, 5);
        int gaps = 0;
        for (int y = all.top(); y <= all.bottom(); ++y)
            for (int x = all.left(); x <= all.right(); ++x)
                gaps += screen.image().pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_EQ(gaps, 0) << describe(scale);
    }
}

// Every line character, drawn between the straight lines its arms meet (a light arm's
// neighbour is ─ or │, a heavy one's ━ or ┃, a double one's ═ or ║): at each shared edge the
// pixels on both sides are the same runs, one for a single line and two for a double; an edge
// without an arm has no ink. Heavy lines are thicker than light ones; a double line's strokes
// are light ones on either side of where the light line runs.
TEST(BoxDrawing, EveryLineCharacterMeetsItsNeighboursAtTheEdgesItsArmsReach)
{
    constexpr int perRow = 16;
    const char32_t across[] = {0, 0x2500, 0x2501, 0x2550};
    const char32_t down[] = {0, 0x2502, 0x2503, 0x2551};
    for (const Scale& scale : scales) {
        Screen screen(perRow * 4, 8 * 4, scale.pixelSize, scale.ratio);
        std::string text = "\x1b[H\x1b[2J";
        std::vector<Line> lines;
        for (char32_t c = first; c < 0x2580; ++c) {
            const Line line = lineOf(QString::fromLatin1(names[c - first]));
            const int i = static_cast<int>(c - first);
            const int col = i % perRow * 4 + 1;
            const int row = i / perRow * 4 + 1;
            text += at(col, row, c);
            if (line.dashes) {
                const bool horizontal = line.arms[left] != none;
                text += at(col + (horizontal ? -1 : 0), row + (horizontal ? 0 : -1), c);
            }
            if (!line.dashes && !line.diagonal) {
                if (line.arms[left])
                    text += at(col - 1, row, across[line.arms[left]]);
                if (line.arms[right])
                    text += at(col + 1, row, across[line.arms[right]]);
                if (line.arms[top])
                    text += at(col, row - 1, down[line.arms[top]]);
                if (line.arms[bottom])
                    text += at(col, row + 1, down[line.arms[bottom]]);
            }
            lines.push_back(line);
        }
        screen.show(text);

        std::map<Weight, std::set<int>> thickness; // the run lengths at the edges, by weight
        for (char32_t c = first; c < 0x2580; ++c) {
            const int i = static_cast<int>(c - first);
            const Line& line = lines[static_cast<std::size_t>(i)];
            const int col = i % perRow * 4 + 1;
            const int row = i / perRow * 4 + 1;
            const QRect cell = screen.cell(col, row);
            const std::string what = describe(scale) + ", U+" + QString::number(c, 16).toUpper().toStdString() + " " +
                                     names[i];
            if (line.diagonal) {
                const QPoint corners[] = {cell.topLeft(), cell.topRight(), cell.bottomLeft(), cell.bottomRight()};
                for (int k = 0; k < 4; ++k)
                    EXPECT_EQ(screen.ink(corners[k].x(), corners[k].y()), line.corners[k]) << what << ", corner " << k;
                EXPECT_TRUE(screen.ink(cell.center().x(), cell.center().y())) << what;
                continue;
            }
            if (line.dashes) {
                // As many dashes as named inside the cell (or as fit with a pixel between them),
                // as thick as the solid line, and the gap from the neighbour's last dash about as
                // wide as those between its own.
                const bool horizontal = line.arms[left] != none;
                const Weight weight = line.arms[horizontal ? left : top];
                // The pixel line along the dashes: the one with the most ink.
                int through = -1;
                std::size_t most = 0;
                for (int k = horizontal ? cell.top() : cell.left(); k <= (horizontal ? cell.bottom() : cell.right()); ++k) {
                    std::size_t inked = 0;
                    for (const auto& [from, to] : horizontal ? screen.runs(k, cell.left(), cell.right() + 1, false)
                                                             : screen.runs(k, cell.top(), cell.bottom() + 1, true))
                        inked += static_cast<std::size_t>(to - from);
                    if (inked > most) {
                        most = inked;
                        through = k;
                    }
                }
                ASSERT_GE(through, 0) << what;
                const QRect before = horizontal ? screen.cell(col - 1, row) : screen.cell(col, row - 1);
                auto dashes = horizontal ? screen.runs(through, before.left(), cell.right() + 1, false)
                                         : screen.runs(through, before.top(), cell.bottom() + 1, true);
                const int count = std::min(line.dashes, (horizontal ? cell.width() : cell.height()) / 2);
                ASSERT_EQ(static_cast<int>(dashes.size()), 2 * count) << what << ": the neighbour's dashes and its own";
                dashes.erase(dashes.begin(), dashes.begin() + count - 1);
                EXPECT_GE(dashes[1].first, horizontal ? cell.left() : cell.top()) << what;
                const int gapBefore = dashes[1].first - dashes[0].second;
                for (std::size_t k = 2; k < dashes.size(); ++k)
                    EXPECT_LE(std::abs(dashes[k].first - dashes[k - 1].second - gapBefore), 1) << what;
                const auto solid = horizontal ? screen.runs(dashes[1].first, cell.top(), cell.bottom() + 1, true)
                                              : screen.runs(dashes[1].first, cell.left(), cell.right() + 1, false);
                ASSERT_EQ(solid.size(), 1u) << what;
                thickness[weight].insert(solid[0].second - solid[0].first);
                continue;
            }
            // The pixel lines on both sides of each edge.
            struct Side {
                Edge edge;
                int inside;
                int outside;
                bool column;
                int from;
                int to;
            };
            const Side sides[] = {
                {left, cell.left(), cell.left() - 1, true, cell.top(), cell.bottom() + 1},
                {right, cell.right(), cell.right() + 1, true, cell.top(), cell.bottom() + 1},
                {top, cell.top(), cell.top() - 1, false, cell.left(), cell.right() + 1},
                {bottom, cell.bottom(), cell.bottom() + 1, false, cell.left(), cell.right() + 1},
            };
            for (const Side& side : sides) {
                const auto inside = screen.runs(side.inside, side.from, side.to, side.column);
                const Weight weight = line.arms[side.edge];
                const std::string edge = what + ", edge " + std::to_string(side.edge);
                if (weight == none) {
                    EXPECT_TRUE(inside.empty()) << edge;
                    continue;
                }
                EXPECT_EQ(inside, screen.runs(side.outside, side.from, side.to, side.column)) << edge;
                ASSERT_EQ(inside.size(), weight == twin ? 2u : 1u) << edge;
                for (const auto& [from, to] : inside)
                    thickness[weight == twin ? light : weight].insert(to - from);
                if (weight != twin)
                    continue;
                // Between a double arm's strokes the way is open up to the middle of the cell,
                // unless a single line crosses it there: a single line stops at a double one
                // that goes on past it, and closes the end of one that turns or ends.
                const int channel = (inside[0].second + inside[1].first) / 2;
                const bool straight = line.arms[(side.edge + 2) % 4] == twin;
                const int singles = (line.arms[(side.edge + 1) % 4] == light) + (line.arms[(side.edge + 3) % 4] == light);
                const bool crossed = singles > 0 && !(straight && singles == 1);
                const int centre = side.column ? cell.center().x() : cell.center().y();
                const int from = side.edge == left || side.edge == top ? side.inside : centre;
                const int to = side.edge == left || side.edge == top ? centre + 1 : side.inside + 1;
                EXPECT_EQ(!screen.runs(channel, from, to, !side.column).empty(), crossed)
                    << edge << ", between the strokes";
            }
        }
        ASSERT_EQ(thickness[light].size(), 1u) << describe(scale);
        ASSERT_EQ(thickness[heavy].size(), 1u) << describe(scale);
        EXPECT_GT(*thickness[heavy].begin(), *thickness[light].begin()) << describe(scale);
    }
}

// Every block element fills what its name says: a rectangle from the named edge over its
// eighths, complementary blocks together fill the cell without overlapping, the quadrants are
// those of the halves, and the shades are the colour a quarter, half and three quarters over
// the background.
TEST(BoxDrawing, EveryBlockElementFillsItsPartOfTheCell)
{
    for (const Scale& scale : scales) {
        // Each block in the same cell, so that they can be laid over each other.
        Screen screen(3, 3, scale.pixelSize, scale.ratio);
        const QRect cell = screen.cell(1, 1);
        std::map<char32_t, std::set<std::pair<int, int>>> inks; // each block's pixels
        for (char32_t c = 0x2580; c < 0x25A0; ++c) {
            screen.show("\x1b[2J" + at(1, 1, c));
            const Block block = blockOf(QString::fromLatin1(names[c - first]));
            const std::string what = describe(scale) + ", U+" + QString::number(c, 16).toUpper().toStdString() + " " +
                                     names[c - first];
            std::set<QRgb> colors;
            QRect bounds;
            auto& ink = inks[c];
            for (int y = cell.top() - 1; y <= cell.bottom() + 1; ++y)
                for (int x = cell.left() - 1; x <= cell.right() + 1; ++x) {
                    if (cell.contains(x, y))
                        colors.insert(screen.image().pixel(x, y));
                    if (screen.ink(x, y) || (block.shade && qGreen(screen.image().pixel(x, y)) > 0)) {
                        ink.insert({x, y});
                        bounds |= QRect(x, y, 1, 1);
                    }
                }
            EXPECT_TRUE(cell.contains(bounds)) << what;
            if (block.shade) {
                ASSERT_EQ(colors.size(), 1u) << what;
                EXPECT_NEAR(qGreen(*colors.begin()), 255 * block.shade / 4.0, 2) << what;
                continue;
            }
            if (block.quadrant)
                continue;
            // A rectangle, filled, in white, on the named edges, its size within a pixel of
            // its eighths.
            EXPECT_EQ(static_cast<int>(ink.size()), bounds.width() * bounds.height()) << what;
            EXPECT_TRUE(colors.contains(qRgb(255, 255, 255))) << what;
            const auto [x0, y0, x1, y1] = block.eighths;
            EXPECT_EQ(x0 == 0, bounds.left() == cell.left()) << what;
            EXPECT_EQ(x1 == 8, bounds.right() == cell.right()) << what;
            EXPECT_EQ(y0 == 0, bounds.top() == cell.top()) << what;
            EXPECT_EQ(y1 == 8, bounds.bottom() == cell.bottom()) << what;
            EXPECT_LE(std::abs(bounds.width() - cell.width() * (x1 - x0) / 8.0), 1) << what;
            EXPECT_LE(std::abs(bounds.height() - cell.height() * (y1 - y0) / 8.0), 1) << what;
        }

        // A block and its complement tile the cell.
        const int area = cell.width() * cell.height();
        auto tile = [&](std::vector<char32_t> parts) {
            std::set<std::pair<int, int>> all;
            std::size_t sum = 0;
            for (char32_t c : parts) {
                all.insert(inks[c].begin(), inks[c].end());
                sum += inks[c].size();
            }
            return all.size() == sum && static_cast<int>(sum) == area;
        };
        for (char32_t a = 0x2580; a < 0x2596; ++a)
            for (char32_t b = a + 1; b < 0x2596; ++b) {
                const Block x = blockOf(QString::fromLatin1(names[a - first]));
                const Block y = blockOf(QString::fromLatin1(names[b - first]));
                if (x.shade || y.shade)
                    continue;
                // Both span the cell one way and share an edge the other way, together over eighths.
                auto along = [](const Block& a, const Block& b, int from, int to) {
                    return a.eighths[from] == 0 && a.eighths[to] == 8 && b.eighths[from] == 0 && b.eighths[to] == 8;
                };
                auto splits = [](const Block& a, const Block& b, int from, int to) {
                    return (a.eighths[to] == b.eighths[from] || b.eighths[to] == a.eighths[from]) &&
                           a.eighths[to] - a.eighths[from] + b.eighths[to] - b.eighths[from] == 8;
                };
                const bool complements = (along(x, y, 0, 2) && splits(x, y, 1, 3)) || (along(x, y, 1, 3) && splits(x, y, 0, 2));
                if (complements) {
                    EXPECT_TRUE(tile({a, b})) << describe(scale) << ": " << names[a - first] << " and " << names[b - first];
                }
            }
        // The single quadrants tile the cell; each named one is the union of its quadrants,
        // and the left ones make the left half.
        std::array<char32_t, 4> single{};
        for (char32_t c = 0x2596; c < 0x25A0; ++c) {
            const Block block = blockOf(QString::fromLatin1(names[c - first]));
            if (std::count(block.quadrants.begin(), block.quadrants.end(), true) == 1)
                single[static_cast<std::size_t>(std::find(block.quadrants.begin(), block.quadrants.end(), true) -
                                                block.quadrants.begin())] = c;
        }
        EXPECT_TRUE(tile({single.begin(), single.end()})) << describe(scale);
        for (char32_t c = 0x2596; c < 0x25A0; ++c) {
            const Block block = blockOf(QString::fromLatin1(names[c - first]));
            std::set<std::pair<int, int>> expected;
            for (int q = 0; q < 4; ++q)
                if (block.quadrants[q])
                    expected.insert(inks[single[q]].begin(), inks[single[q]].end());
            EXPECT_EQ(inks[c], expected) << describe(scale) << ": " << names[c - first];
        }
        std::set<std::pair<int, int>> leftQuadrants = inks[single[0]];
        leftQuadrants.insert(inks[single[2]].begin(), inks[single[2]].end());
        EXPECT_EQ(leftQuadrants, inks[0x258C]) << describe(scale);
    }
}

// The characters take their cell's colours and attributes as text does (inverse, bold's bright
// colour, faint), and rows of double width and height draw them at twice the size, joined.
TEST(BoxDrawing, CharactersTakeTheCellsColoursAndDoubledRowsJoin)
{
    for (const qreal ratio : {1.0, 1.5, 2.0}) {
        const std::string what = "ratio " + std::to_string(ratio);
        Screen screen(10, 7, 12, ratio);
        const auto& palette = screen.view().terminal().ansiColors();
        auto color = [&](int i) { return QColor::fromRgba64(palette[i].red, palette[i].green, palette[i].blue).rgb(); };
        screen.show("\x1b[H\x1b[2J\x1b#6────\r\n"
                    "\x1b#3██\r\n\x1b#4██\r\n"
                    "\x1b#6│\r\n\x1b#6│\r\n"
                    "──\r\n"
                    "\x1b[7m─\x1b[0m \x1b[1;34m━\x1b[0m \x1b[2m█\x1b[0m \x1b[31;44m▌\x1b[0m");
        const QImage& image = screen.image();
        auto pixel = [&](QPoint p) { return image.pixel(p) | 0xff000000; };

        // A double-width line: as thick as a single one, unbroken over its cells.
        const QRect single = screen.cell(0, 5) | screen.cell(1, 5);
        const auto thin = screen.runs(single.left() + 1, single.top(), single.bottom() + 1, true);
        ASSERT_EQ(thin.size(), 1u) << what;
        const QRect wide = screen.cell(0, 0) | screen.cell(7, 0);
        const int through = wide.top() + thin[0].first - single.top();
        EXPECT_EQ(screen.runs(through, wide.left(), wide.right() + 1, false), whole(wide.left(), wide.right() + 1)) << what;
        EXPECT_EQ(screen.runs(wide.left() + 1, wide.top(), wide.bottom() + 1, true).size(), 1u) << what;
        // Double-height blocks: both halves filled, each twice as wide.
        const QRect tall = screen.cell(0, 1) | screen.cell(3, 2);
        for (int y = tall.top(); y <= tall.bottom(); ++y)
            ASSERT_EQ(screen.runs(y, tall.left(), tall.right() + 2, false), whole(tall.left(), tall.right() + 1))
                << what << ", y " << y;
        // Vertical lines of double-width rows meet.
        const QRect column = screen.cell(0, 3) | screen.cell(1, 4);
        int x = -1;
        for (int i = column.left(); i <= column.right() && x < 0; ++i)
            if (screen.ink(i, column.top()))
                x = i;
        ASSERT_GE(x, 0) << what;
        EXPECT_EQ(screen.runs(x, column.top(), column.bottom() + 1, true), whole(column.top(), column.bottom() + 1)) << what;

        // Inverse: the background colour on the foreground; bold blue: bright blue; faint: at 0.6;
        // a half block in its colours.
        const QRect inverse = screen.cell(0, 6);
        const QPoint onLine(inverse.center().x(), through - wide.top() + inverse.top());
        EXPECT_EQ(pixel(onLine), qRgb(0, 0, 0)) << what;
        EXPECT_EQ(pixel(inverse.topLeft()), qRgb(255, 255, 255)) << what;
        EXPECT_EQ(pixel(QPoint(screen.cell(2, 6).center().x(), onLine.y())), color(12)) << what;
        EXPECT_NEAR(qGreen(pixel(screen.cell(4, 6).center())), 255 * 0.6, 2) << what;
        const QRect half = screen.cell(6, 6);
        EXPECT_EQ(pixel(half.topLeft()), color(1)) << what;
        EXPECT_EQ(pixel(half.bottomRight()), color(4)) << what;
    }
}

} // namespace
} // namespace terminal
