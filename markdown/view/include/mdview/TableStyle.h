#pragma once

#include "mdview/Color.h"
#include "mdview/View.h"

#include <QRectF>

#include <functional>
#include <optional>
#include <vector>

namespace mdview {

// Chooses which table lines are drawn: rectangles computed from the table's geometry and the
// line width, each stroked inside its outline.
struct TableBorderSelector {
    std::function<std::vector<QRectF>(const TableBounds&, double lineWidth)> rectangles;

    static TableBorderSelector allBorders();
    static TableBorderSelector horizontalBorders();
    static TableBorderSelector outsideBorders();
    static TableBorderSelector insideBorders();
    static TableBorderSelector insideHorizontalBorders();
    static TableBorderSelector insideVerticalBorders();
};

struct TableBorderStyle {
    TableBorderStyle(TableBorderSelector visibleBorders, Color color, StrokeStyle strokeStyle);
    // A plain stroke of the width: butt caps, miter joins, miter limit 10, no dash.
    TableBorderStyle(TableBorderSelector visibleBorders, Color color, double width);

    TableBorderSelector visibleBorders;
    Color color;
    StrokeStyle strokeStyle;
};

// The fill of each cell by (row, column); row 0 is the header.
struct TableBackgroundStyle {
    std::function<Color(int row, int column)> background;

    static TableBackgroundStyle clear();
    // Header fill for row 0 (the even fill when absent), then even and odd fills for the body
    // rows counted from 0 below the header.
    static TableBackgroundStyle alternatingRows(Color even, Color odd, std::optional<Color> header = {});
};

// One filled rectangle per cell of the geometry, in row-major order, from the environment's
// table background style.
View TableBackgroundView(const TableBounds& tableBounds);

} // namespace mdview
