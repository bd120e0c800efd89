#include "terminal/Buffer.h"

#include "terminal/TerminalOptions.h"

#include <algorithm>
#include <climits>

namespace terminal {

namespace {

int clampCols(int cols)
{
    return std::clamp(cols, limits::minCols, limits::maxCols);
}

int clampRows(int rows)
{
    return std::clamp(rows, limits::minRows, limits::maxRows);
}

} // namespace

Buffer::Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback, std::shared_ptr<CellTables> tables)
    : tables_(tables ? std::move(tables) : std::make_shared<CellTables>())
    , lines_(1)
    , cols_(clampCols(cols))
    , rows_(clampRows(rows))
    , scrollback_(scrollback ? std::optional<int>(std::clamp(*scrollback, 0, limits::maxScrollback)) : std::nullopt)
    , tabStopWidth_(std::clamp(tabStopWidth, 0, limits::maxCols))
    , scrollBottom_(rows_ - 1)
    , marginRight_(cols_ - 1)
{
    savedAttr = CharData::Null.attribute;
    lines_.setMaxLength(capacityFor(rows_));
    setupTabStops();
    tables_->registerBuffer(this);
}

Buffer::~Buffer()
{
    tables_->unregisterBuffer(this);
}

int Buffer::capacityFor(int rows) const
{
    return rows + scrollback_.value_or(0);
}

void Buffer::setX(int x)
{
    if (x >= 0)
        x_ = std::min(x, cols_);
}

void Buffer::setY(int y)
{
    if (y >= 0)
        y_ = std::min(y, rows_ - 1);
}

void Buffer::setYBase(int yBase)
{
    if (yBase >= 0)
        yBase_ = std::min(yBase, std::max(lines_.count() - rows_, 0));
}

void Buffer::setYDisp(int yDisp)
{
    if (yDisp >= 0)
        yDisp_ = std::min(yDisp, yBase_);
}

void Buffer::setScrollTop(int row)
{
    if (row >= 0)
        scrollTop_ = std::min(row, rows_ - 1);
}

void Buffer::setScrollBottom(int row)
{
    if (row >= 0)
        scrollBottom_ = std::min(row, rows_ - 1);
}

void Buffer::setMarginLeft(int col)
{
    if (col >= 0)
        marginLeft_ = std::min(col, cols_ - 1);
}

void Buffer::setMarginRight(int col)
{
    if (col >= 0)
        marginRight_ = std::min(col, cols_ - 1);
}

const CharData& Buffer::cellAtScreen(Position position) const
{
    if (position.row < 0 || position.row >= rows_)
        return CharData::Null;
    return cellAtBuffer({position.col, position.row + yDisp_});
}

const CharData& Buffer::cellAtBuffer(Position position) const
{
    if (position.row < 0 || position.row >= lines_.count())
        return CharData::Null;
    const BufferLine& row = lines_[position.row];
    if (position.col < 0 || position.col >= row.count())
        return CharData::Null;
    return row[position.col];
}

BufferLine Buffer::getBlankLine(const Attribute& attribute, bool isWrapped) const
{
    return BufferLine(cols_, CharData::blank(attribute), isWrapped);
}

CharData Buffer::getNullCell(const Attribute& attribute)
{
    return {' ', 1, 0, {}, {attribute.fg, attribute.bg, CharacterStyle::none}};
}

void Buffer::fillViewportRows(const Attribute& attribute)
{
    if (!lines_.isEmpty())
        return;
    for (int i = 0; i < rows_; ++i)
        lines_.push(getBlankLine(attribute));
}

void Buffer::clear()
{
    yDisp_ = 0;
    x_ = 0;
    y_ = 0;
    yBase_ = 0;
    linesTop = 0;
    lines_ = CircularBufferLineList(capacityFor(rows_));
    scrollTop_ = 0;
    scrollBottom_ = rows_ - 1;
}

void Buffer::softReset()
{
    savedAttr = CharData::Null.attribute;
    savedX = 0;
    savedY = 0;
    marginLeft_ = 0;
    marginRight_ = cols_ - 1;
    savedOriginMode = false;
    savedMarginMode = false;
    savedWraparound = true;
    savedReverseWraparound = false;
}

void Buffer::setupTabStops(int index, std::optional<int> width)
{
    const int step = std::clamp(width.value_or(tabStopWidth_), 0, limits::maxCols);
    int start = 0;
    if (index < 0) {
        tabStops_.assign(static_cast<std::size_t>(cols_), false);
    } else {
        tabStops_.resize(static_cast<std::size_t>(cols_), false);
        start = std::min(index, cols_ - 1);
        if (!tabStops_[static_cast<std::size_t>(start)])
            start = previousTabStop(start);
    }
    if (step > 0) {
        for (int col = start; col < cols_; col += step)
            tabStops_[static_cast<std::size_t>(col)] = true;
    }
}

void Buffer::tabSet(int pos)
{
    if (pos >= 0 && pos < static_cast<int>(tabStops_.size()))
        tabStops_[static_cast<std::size_t>(pos)] = true;
}

void Buffer::clearTabStop(int pos)
{
    if (pos >= 0 && pos < static_cast<int>(tabStops_.size()))
        tabStops_[static_cast<std::size_t>(pos)] = false;
}

void Buffer::clearAllTabStops()
{
    std::fill(tabStops_.begin(), tabStops_.end(), false);
}

int Buffer::previousTabStop(int index) const
{
    int col = std::min(index == -1 ? x_ : std::max(index, 0), cols_) - 1;
    while (col > 0 && !tabStops_[static_cast<std::size_t>(col)])
        --col;
    return std::clamp(col, 0, cols_ - 1);
}

int Buffer::nextTabStop(int index, bool useMarginRight) const
{
    const int limit = useMarginRight ? marginRight_ : cols_ - 1;
    int col = (index == -1 ? x_ : std::max(index, 0)) + 1;
    while (col < limit && !tabStops_[static_cast<std::size_t>(col)])
        ++col;
    return std::min(col, limit);
}

void Buffer::insertCharacter(const CharData& printed)
{
    fillViewportRows();
    CharData cell = printed;
    cell.width = static_cast<std::int8_t>(std::clamp<int>(cell.width, 1, 2));
    const int width = cell.width;
    const int right = marginMode ? marginRight_ : cols_ - 1;
    const CharData fill = CharData::blank(fillAttribute(cell.attribute.bg));

    if (x_ + width - 1 > right) {
        if (!wraparound) {
            if (width == 2)
                return;
            x_ = right;
        } else {
            x_ = marginMode ? marginLeft_ : 0;
            if (y_ == scrollBottom_) {
                if (scrollHandler)
                    scrollHandler(true);
                else
                    scroll(true, cell.attribute.bg);
            } else if (y_ < rows_ - 1) {
                ++y_;
                screenLine(y_).isWrapped = true;
            }
            // Below the region on the last row there is nowhere to go: the row is written over.
        }
    }

    BufferLine& row = screenLine(y_);
    if (row.count() < cols_)
        row.resize(cols_);
    if (insertMode)
        row.insertCells(x_, width, right, fill);
    lastBufferStorage = {yBase_ + y_, x_, cols_, rows_};
    if (x_ >= cols_)
        x_ = cols_ - 1;
    const int at = x_;
    row.data_[static_cast<std::size_t>(std::min(at, row.count() - 1))] = cell;
    ++x_;
    if (width == 2) {
        if (x_ < cols_ && x_ < row.count()) {
            row.data_[static_cast<std::size_t>(x_)] = CharData::spacer(fill.attribute);
            ++x_;
        }
    }
    row.repairWide(at - 1, at + width, fill);
}

void Buffer::insertCharacters(std::span<const CharData> cells)
{
    fillViewportRows();
    const int right = marginMode ? marginRight_ : cols_ - 1;
    std::size_t i = 0;
    while (i < cells.size()) {
        if (insertMode || cells[i].width != 1 || x_ > right) {
            insertCharacter(cells[i++]);
            continue;
        }
        // Narrow cells up to the right limit: only the two ends can break a wide character.
        const auto room = static_cast<std::size_t>(right - x_ + 1);
        std::size_t n = 1;
        while (n < room && i + n < cells.size() && cells[i + n].width == 1)
            ++n;
        BufferLine& row = screenLine(y_);
        if (row.count() < cols_)
            row.resize(cols_);
        std::copy_n(cells.begin() + static_cast<std::ptrdiff_t>(i), n, row.data_.begin() + x_);
        const CharData fill = CharData::blank(fillAttribute(cells[i + n - 1].attribute.bg));
        row.repairWide(x_ - 1, x_, fill);
        x_ += static_cast<int>(n);
        row.repairWide(x_ - 1, x_, fill);
        lastBufferStorage = {yBase_ + y_, x_ - 1, cols_, rows_};
        i += n;
    }
}

void Buffer::scroll(bool isWrapped, Attribute::Color background, bool keepViewport)
{
    fillViewportRows();
    const CharData fill = CharData::blank(fillAttribute(background));
    const int topRow = yBase_ + scrollTop_;
    const int bottomRow = yBase_ + std::max(scrollBottom_, scrollTop_);
    if (scrollTop_ > 0) {
        lines_.rotate(topRow, topRow + 1, bottomRow + 1);
        lines_[bottomRow].reset(cols_, fill, isWrapped);
        return;
    }
    bool dropped = false;
    BufferLine& row = bottomRow >= lines_.count() - 1 ? lines_.recycle(&dropped) : lines_.insert(bottomRow + 1, &dropped);
    row.reset(cols_, fill, isWrapped);
    if (dropped) {
        if (hasScrollback())
            ++linesTop;
        if (keepViewport)
            yDisp_ = std::max(yDisp_ - 1, 0);
    } else {
        ++yBase_;
        if (!keepViewport)
            ++yDisp_;
    }
    if (!keepViewport)
        yDisp_ = yBase_;
}

std::string Buffer::checkInvariants() const
{
    auto fail = [](std::string what) { return what; };
    if (lines_.count() > lines_.maxLength())
        return fail("more rows than the capacity");
    if (!lines_.isEmpty() && lines_.count() < rows_ + yBase_)
        return fail("fewer rows than yBase + rows");
    if (!lines_.isEmpty() && lines_.count() != yBase_ + rows_)
        return fail("rows below the screen");
    if (x_ < 0 || x_ > cols_ || y_ < 0 || y_ >= rows_)
        return fail("cursor outside the screen");
    if (yDisp_ < 0 || yDisp_ > yBase_)
        return fail("display outside the rows");
    if (scrollTop_ < 0 || scrollTop_ > scrollBottom_ || scrollBottom_ >= rows_)
        return fail("scroll region outside the screen");
    if (marginLeft_ < 0 || marginLeft_ > marginRight_ || marginRight_ >= cols_)
        return fail("margins outside the screen");
    if (static_cast<int>(tabStops_.size()) != cols_)
        return fail("tab stops do not match the columns");
    for (int i = 0; i < lines_.count(); ++i) {
        const BufferLine& row = lines_[i];
        if (row.count() < cols_)
            return fail("row " + std::to_string(i) + " is shorter than the screen");
        if (isReflowEnabled() && row.count() != cols_)
            return fail("row " + std::to_string(i) + " differs from the screen width");
        for (int c = 0; c < row.count(); ++c) {
            if (row[c].isWide() && (c + 1 >= row.count() || !row[c + 1].isSpacer()))
                return fail("wide cell without its spacer at row " + std::to_string(i) + " column " + std::to_string(c));
            if (row[c].isSpacer() && (c == 0 || !row[c - 1].isWide()))
                return fail("spacer without its wide cell at row " + std::to_string(i) + " column " + std::to_string(c));
            if (row[c].width < 0 || row[c].width > 2)
                return fail("bad width at row " + std::to_string(i) + " column " + std::to_string(c));
        }
    }
    return {};
}

} // namespace terminal
