#include "terminal/Buffer.h"

#include "terminal/TerminalOptions.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

namespace terminal {

namespace {

// A cell as five words held in registers, stored one word at a time with its code in front:
// building each cell in memory field by field and copying it stalls on every cell.
class CellWords {
public:
    // Read straight from the attribute's fields: a cell assembled in memory first would stall.
    CellWords(int width, const Attribute& attribute, TinyAtom payload = {})
    {
        static_assert(sizeof words_ == sizeof(CharData) && offsetof(CharData, attribute) == 8 && offsetof(Attribute, bg) == 4
                      && offsetof(Attribute, style) == 8);
        words_[0] = 0;
        static_assert(offsetof(CharData, width) == 4 && offsetof(CharData, payload) == 6);
        words_[1] = static_cast<std::uint32_t>(static_cast<std::uint8_t>(width)) | std::uint32_t{payload.code} << 16;
        std::memcpy(&words_[2], &attribute.fg, 4);
        std::memcpy(&words_[3], &attribute.bg, 4);
        words_[4] = attribute.style.rawValue;
    }
    void store(CharData* out, std::uint32_t code) const
    {
        auto* bytes = reinterpret_cast<unsigned char*>(out);
        std::memcpy(bytes, &code, 4);
        for (int k = 1; k < 5; ++k)
            std::memcpy(bytes + 4 * k, &words_[k], 4);
    }

private:
    std::uint32_t words_[5];
};

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

bool Buffer::insertCharacter(const CharData& printed)
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
                return false;
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
    row.cells()[static_cast<std::size_t>(std::min(at, row.count() - 1))] = cell;
    ++x_;
    if (width == 2) {
        if (x_ < cols_ && x_ < row.count()) {
            row.data_[static_cast<std::size_t>(x_)] = CharData::spacer(fill.attribute);
            ++x_;
        }
    }
    row.repairWide(at - 1, at + width, fill);
    return true;
}

bool Buffer::insertRun(std::u32string_view codes, const std::int8_t* widths, const Attribute& attribute, TinyAtom payload)
{
    return insertRunOf(codes.data(), widths, codes.size(), attribute, payload);
}

void Buffer::insertRun(std::string_view ascii, const Attribute& attribute, TinyAtom payload)
{
    insertRunOf(reinterpret_cast<const unsigned char*>(ascii.data()), nullptr, ascii.size(), attribute, payload);
}

template <typename Code>
bool Buffer::insertRunOf(const Code* codes, const std::int8_t* widths, std::size_t count, const Attribute& attribute, TinyAtom payload)
{
    if (lines_.isEmpty())
        fillViewportRows();
    const int right = marginMode ? marginRight_ : cols_ - 1;
    const CharData fill = CharData::blank(fillAttribute(attribute.bg));
    const CellWords narrow(1, attribute, payload);
    const CellWords wide(2, attribute, payload);
    const CellWords spacer(0, fill.attribute);
    std::size_t i = 0;
    bool stored = true;
    while (i < count) {
        const int first = widths ? widths[i] : 1;
        if (insertMode || x_ + first - 1 > right) {
            // Wrapping, insert mode, a character that does not fit: one at a time.
            stored = insertCharacter({static_cast<std::int32_t>(codes[i]), static_cast<std::int8_t>(first), 0, payload, attribute});
            ++i;
            continue;
        }
        stored = true;
        BufferLine& row = screenLine(y_);
        if (row.count() < cols_)
            row.resize(cols_);
        CharData* out = row.data_.data();
        const int start = x_;
        int x = x_;
        int last = x_;
        if (!widths) {
            // One cell each: as many as fit before the margin, without a test per character.
            const int n = static_cast<int>(std::min<std::size_t>(count - i, static_cast<std::size_t>(right + 1 - x)));
            for (int k = 0; k < n; ++k)
                narrow.store(out + x + k, static_cast<std::uint32_t>(codes[i + static_cast<std::size_t>(k)]));
            last = x + n - 1;
            x += n;
            i += static_cast<std::size_t>(n);
        }
        while (i < count && widths) {
            const int width = widths[i];
            if (x + width - 1 > right)
                break;
            if (width == 2) {
                wide.store(out + x, static_cast<std::uint32_t>(codes[i]));
                spacer.store(out + x + 1, 0);
            } else {
                narrow.store(out + x, static_cast<std::uint32_t>(codes[i]));
            }
            last = x;
            x += width;
            ++i;
        }
        // Only the two ends of the run can break a wide character of the row.
        row.cellsFor(x);
        if (start > 0 && out[start - 1].isWide())
            row.repairWide(start - 1, start - 1, fill);
        if (x < row.count() && out[x].isSpacer())
            row.repairWide(x, x, fill);
        x_ = x;
        lastBufferStorage = {yBase_ + y_, last, cols_, rows_};
    }
    return stored;
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
