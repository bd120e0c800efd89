#include "mdview/TableStyle.h"

#include "mdview/Environment.h"

namespace mdview {

namespace {

QRectF rowBand(const TableBounds& bounds, std::size_t row)
{
    QRectF band;
    for (std::size_t c = 0; c < bounds.columns.size(); ++c)
        band = band.united(bounds.cell(row, c));
    return band;
}

QRectF columnBand(const TableBounds& bounds, std::size_t column)
{
    QRectF band;
    for (std::size_t r = 0; r < bounds.rows.size(); ++r)
        band = band.united(bounds.cell(r, column));
    return band;
}

// Below every row band but the last: the bottom strip of the band grown by w on all sides.
std::vector<QRectF> insideHorizontal(const TableBounds& bounds, double w)
{
    std::vector<QRectF> lines;
    for (std::size_t r = 0; r + 1 < bounds.rows.size(); ++r) {
        const QRectF band = rowBand(bounds, r);
        lines.emplace_back(band.left() - w, band.bottom(), band.width() + 2 * w, w);
    }
    return lines;
}

// Right of every column band but the last.
std::vector<QRectF> insideVertical(const TableBounds& bounds, double w)
{
    std::vector<QRectF> lines;
    for (std::size_t c = 0; c + 1 < bounds.columns.size(); ++c) {
        const QRectF band = columnBand(bounds, c);
        lines.emplace_back(band.right(), band.top() - w, w, band.height() + 2 * w);
    }
    return lines;
}

std::vector<QRectF> concat(std::vector<QRectF> a, const std::vector<QRectF>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TableBorderSelector TableBorderSelector::allBorders()
{
    return {[](const TableBounds& b, double w) {
        auto lines = concat(insideHorizontal(b, w), insideVertical(b, w));
        lines.push_back(b.bounds);
        return lines;
    }};
}

TableBorderSelector TableBorderSelector::horizontalBorders()
{
    return {[](const TableBounds& b, double w) {
        const QRectF& B = b.bounds;
        return concat({QRectF(B.left(), B.top(), B.width(), w), QRectF(B.left(), B.bottom() - w, B.width(), w)},
                      insideHorizontal(b, w));
    }};
}

TableBorderSelector TableBorderSelector::outsideBorders()
{
    return {[](const TableBounds& b, double) { return std::vector<QRectF>{b.bounds}; }};
}

TableBorderSelector TableBorderSelector::insideBorders()
{
    return {[](const TableBounds& b, double w) { return concat(insideHorizontal(b, w), insideVertical(b, w)); }};
}

TableBorderSelector TableBorderSelector::insideHorizontalBorders()
{
    return {insideHorizontal};
}

TableBorderSelector TableBorderSelector::insideVerticalBorders()
{
    return {insideVertical};
}

TableBorderStyle::TableBorderStyle(TableBorderSelector borders, Color c, StrokeStyle stroke)
    : visibleBorders(std::move(borders)), color(std::move(c)), strokeStyle(std::move(stroke))
{
}

TableBorderStyle::TableBorderStyle(TableBorderSelector borders, Color c, double width)
    : TableBorderStyle(std::move(borders), std::move(c), StrokeStyle{width})
{
}

TableBackgroundStyle TableBackgroundStyle::clear()
{
    return {[](int, int) { return Color::clear(); }};
}

TableBackgroundStyle TableBackgroundStyle::alternatingRows(Color even, Color odd, std::optional<Color> header)
{
    return {[even = std::move(even), odd = std::move(odd), header = std::move(header)](int row, int) {
        if (row <= 0)
            return header.value_or(even);
        return row % 2 == 1 ? even : odd;
    }};
}

View TableBackgroundView(const TableBounds& tableBounds)
{
    return EnvironmentReader([tableBounds](const Environment& environment) {
        std::vector<View> layers;
        for (std::size_t r = 0; r < tableBounds.rows.size(); ++r) {
            for (std::size_t c = 0; c < tableBounds.columns.size(); ++c) {
                const QRectF cell = tableBounds.cell(r, c);
                const int row = int(tableBounds.firstRow + r);
                layers.push_back(Rectangle(environment.tableBackgroundStyle.background(row, int(c)))
                                     .frame(cell.width(), cell.height())
                                     .offset(cell.x(), cell.y()));
            }
        }
        return ZStack(std::move(layers), Alignment::topLeading());
    });
}

} // namespace mdview
