// Resizing a buffer: rows added or removed at the bottom, pulled back from the scroll-back,
// and in a buffer with scroll-back the wrapped text re-wrapped to the new width.
//
// Re-wrapping works one group of rows at a time (a row and the continuation rows after it).
// The group's text is a stream of cells: each row contributes the cells of its wrapped text
// (Buffer::wrappedLength). The stream is cut into rows of the new width, a wide character that
// would straddle the edge starting the next row instead, and copied in place into the group's
// own rows (plus new rows when it needs more): front to back when the screen widens, back to
// front when it narrows, so every cell is read before it is written over.
#include "terminal/Buffer.h"

#include "terminal/TerminalOptions.h"

#include <algorithm>
#include <cstring>

namespace terminal {

namespace {

bool isBlankRow(const BufferLine& row)
{
    return row.images.empty() && !row.hasAnyContent();
}

} // namespace

class Reflow {
public:
    Reflow(const Buffer& buffer, int newCols) : oldCols_(buffer.cols()), newCols_(newCols) {}

    // Rows of the buffer that must be found again after the rows moved.
    struct Tracked {
        int cursorRow;
        int cursorX;
        int topRow;
        int displayRow;
    };

    std::deque<BufferLine> run(std::deque<BufferLine> rows, Tracked& tracked)
    {
        std::deque<BufferLine> out;
        const int count = static_cast<int>(rows.size());
        Tracked result = tracked;
        for (int g = 0; g < count;) {
            int end = g + 1;
            while (end < count && rows[static_cast<std::size_t>(end)].isWrapped)
                ++end;
            reflowGroup(rows, g, end, out, tracked, result);
            g = end;
        }
        tracked = result;
        return out;
    }

private:
    // Where stream position p lands in the new rows: the row (counted in the group) and column.
    std::pair<int, int> locate(int p) const
    {
        const auto it = std::upper_bound(newStart_.begin(), newStart_.end(), p);
        const int row = std::max(static_cast<int>(it - newStart_.begin()) - 1, 0);
        return {row, p - newStart_[static_cast<std::size_t>(row)]};
    }

    // The stream position where old row r (counted in the group) begins.
    int streamOfRow(int r) const { return oldStart_[static_cast<std::size_t>(r)]; }

    void reflowGroup(std::deque<BufferLine>& rows, int g, int end, std::deque<BufferLine>& out, const Tracked& in, Tracked& result)
    {
        const int size = end - g;
        const bool holdsCursor = in.cursorRow >= g && in.cursorRow < end;
        auto row = [&](int r) -> BufferLine& { return rows[static_cast<std::size_t>(g + r)]; };

        oldStart_.clear();
        oldLength_.clear();
        int total = 0;
        for (int r = 0; r < size; ++r) {
            const BufferLine* next = r + 1 < size ? &row(r + 1) : nullptr;
            const int length = Buffer::wrappedLength(row(r), next, oldCols_);
            oldStart_.push_back(total);
            oldLength_.push_back(length);
            total += length;
        }

        // The cursor's place in the stream; a cursor after the text keeps its distance to it.
        // With `pendingWrap` the cursor is just after the cell at cursorStream.
        int cursorStream = -1;
        bool pendingWrap = false;
        if (holdsCursor) {
            const int r = in.cursorRow - g;
            if (r == size - 1) {
                pendingWrap = in.cursorX >= oldCols_;
                cursorStream = streamOfRow(r) + (pendingWrap ? oldCols_ - 1 : in.cursorX);
            } else {
                cursorStream = streamOfRow(r) + std::min(in.cursorX, oldLength_[static_cast<std::size_t>(r)]);
            }
            // Right after the text the cursor stays after its last character, which can leave it
            // waiting to wrap at the new edge rather than alone on a row of its own.
            if (!pendingWrap && cursorStream == total && total > 0) {
                cursorStream = total - 1;
                pendingWrap = true;
            }
        }
        const int streamLength = std::max(total, cursorStream + 1);

        if (size == 1 && !holdsCursor && total <= newCols_) {
            // One row that fits: only its length changes.
            BufferLine& only = row(0);
            only.resize(newCols_);
            mapRow(g, static_cast<int>(out.size()), in, result);
            out.push_back(std::move(only));
            return;
        }

        // Cut the stream into rows of the new width.
        newStart_.clear();
        newLength_.clear();
        int source = 0;
        for (int p = 0;;) {
            int length = std::min(newCols_, streamLength - p);
            if (length == newCols_ && p + length - 1 < total && cellAt(rows, g, p + length - 1, source).isWide())
                --length;
            newStart_.push_back(p);
            newLength_.push_back(length);
            p += length;
            if (p >= streamLength)
                break;
        }
        const int newSize = static_cast<int>(newStart_.size());

        // The group's rows, with new ones when it needs more.
        std::vector<BufferLine> group;
        group.reserve(static_cast<std::size_t>(std::max(size, newSize)));
        for (int r = 0; r < size; ++r)
            group.push_back(std::move(row(r)));
        while (static_cast<int>(group.size()) < newSize)
            group.emplace_back(newCols_, CharData::Null, true);
        if (newCols_ > oldCols_) {
            for (int d = 0; d < newSize; ++d)
                group[static_cast<std::size_t>(d)].data_.resize(static_cast<std::size_t>(newCols_), CharData::Null);
            for (int d = 0; d < newSize; ++d)
                fillRow(group, d, total);
        } else {
            for (int d = newSize - 1; d >= 0; --d)
                fillRow(group, d, total);
        }

        const int firstOut = static_cast<int>(out.size());
        for (int d = 0; d < newSize; ++d) {
            BufferLine& line = group[static_cast<std::size_t>(d)];
            line.data_.resize(static_cast<std::size_t>(newCols_), CharData::Null);
            if (d > 0)
                line.isWrapped = true;
            out.push_back(std::move(line));
        }
        for (int r = 0; r < size; ++r)
            mapRow(g + r, firstOut + locate(streamOfRow(r)).first, in, result);
        if (holdsCursor) {
            const auto [newRow, col] = locate(cursorStream);
            result.cursorRow = firstOut + newRow;
            result.cursorX = col + (pendingWrap ? 1 : 0);
        }
    }

    static void mapRow(int oldRow, int newRow, const Tracked& in, Tracked& result)
    {
        if (in.cursorRow == oldRow)
            result.cursorRow = newRow;
        if (in.topRow == oldRow)
            result.topRow = newRow;
        if (in.displayRow == oldRow)
            result.displayRow = newRow;
    }

    // The cell at stream position p, before anything was moved; `hint` is the old row to look
    // in first (positions are asked for in rising order).
    const CharData& cellAt(const std::deque<BufferLine>& rows, int g, int p, int& hint) const
    {
        while (hint + 1 < static_cast<int>(oldStart_.size()) && oldStart_[static_cast<std::size_t>(hint) + 1] <= p)
            ++hint;
        return rows[static_cast<std::size_t>(g + hint)][p - oldStart_[static_cast<std::size_t>(hint)]];
    }

    // Writes new row d from the stream, taking the cells from the old rows, then clears the
    // rest of the row.
    void fillRow(std::vector<BufferLine>& group, int d, int total)
    {
        BufferLine& dest = group[static_cast<std::size_t>(d)];
        const int start = newStart_[static_cast<std::size_t>(d)];
        const int length = newLength_[static_cast<std::size_t>(d)];
        const int copied = std::clamp(total - start, 0, length);
        // The old rows overlapping [start, start + copied), walked in the direction that reads
        // every cell before it is overwritten.
        const auto first = std::upper_bound(oldStart_.begin(), oldStart_.end(), start) - oldStart_.begin() - 1;
        const bool backwards = newCols_ < oldCols_;
        auto copySegment = [&](std::size_t r) {
            const int segStart = std::max(start, oldStart_[r]);
            const int segEnd = std::min(start + copied, oldStart_[r] + oldLength_[r]);
            if (segEnd <= segStart)
                return false;
            const BufferLine& src = group[r];
            std::memmove(static_cast<void*>(dest.data_.data() + (segStart - start)), src.data_.data() + (segStart - oldStart_[r]),
                         static_cast<std::size_t>(segEnd - segStart) * sizeof(CharData));
            return true;
        };
        std::size_t lastRow = static_cast<std::size_t>(first);
        while (lastRow + 1 < oldStart_.size() && oldStart_[lastRow + 1] < start + copied)
            ++lastRow;
        if (backwards) {
            for (std::size_t r = lastRow + 1; r-- > static_cast<std::size_t>(std::max<long>(first, 0));)
                copySegment(r);
        } else {
            for (std::size_t r = static_cast<std::size_t>(std::max<long>(first, 0)); r <= lastRow; ++r)
                copySegment(r);
        }
        std::fill(dest.data_.begin() + copied, dest.data_.end(), CharData::Null);
    }

    int oldCols_;
    int newCols_;
    std::vector<int> oldStart_;
    std::vector<int> oldLength_;
    std::vector<int> newStart_;
    std::vector<int> newLength_;
};

void Buffer::resize(int newCols, int newRows)
{
    newCols = std::clamp(newCols, limits::minCols, limits::maxCols);
    newRows = std::clamp(newRows, limits::minRows, limits::maxRows);
    if (newCols == cols_ && newRows == rows_)
        return;
    const int oldCols = cols_;
    const int oldY = y_;

    // A right margin at the edge follows the edge.
    marginRight_ = marginRight_ >= oldCols - 1 ? newCols - 1 : std::min(marginRight_, newCols - 1);
    marginLeft_ = std::min(marginLeft_, marginRight_);

    if (!lines_.isEmpty()) {
        Reflow::Tracked tracked{yBase_ + y_, x_, yBase_, yDisp_};
        const bool followedOutput = yDisp_ == yBase_;
        if (isReflowEnabled() && newCols != oldCols) {
            std::deque<BufferLine> rows = Reflow(*this, newCols).run(lines_.take(), tracked);
            lines_.setMaxLength(std::max(static_cast<int>(rows.size()), capacityFor(newRows)));
            lines_.assign(std::move(rows));
        } else {
            if (newCols > oldCols) {
                for (int i = 0; i < lines_.count(); ++i)
                    lines_[i].resize(newCols);
            }
            // Without reflow a narrower screen keeps the longer rows: a full-screen program
            // draws again anyway, and widening back shows what was there.
            tracked.cursorX = std::min(tracked.cursorX, newCols - 1);
        }
        cols_ = newCols;
        fitScreen(newRows, tracked.cursorRow, tracked.topRow, tracked.displayRow, followedOutput);
        x_ = std::clamp(tracked.cursorX, 0, newCols);
    } else {
        cols_ = newCols;
        rows_ = newRows;
        lines_.setMaxLength(capacityFor(newRows));
        x_ = std::min(x_, newCols - 1);
        y_ = std::min(y_, newRows - 1);
    }

    savedX = std::clamp(savedX, 0, newCols - 1);
    // The saved cursor keeps its distance to the cursor.
    savedY = std::clamp(savedY + (y_ - oldY), 0, newRows - 1);
    scrollTop_ = 0;
    scrollBottom_ = newRows - 1;
    resizeTabStops(oldCols);
}

void Buffer::fitScreen(int newRows, int cursorRow, int top, int displayRow, bool followedOutput)
{
    int count = lines_.count();
    const int capacity = capacityFor(newRows);
    // Room for the rows added below; the capacity is enforced at the end, from the top.
    lines_.setMaxLength(std::max(capacity, count + newRows));
    cursorRow = std::clamp(cursorRow, 0, count - 1);
    top = std::clamp(top, 0, cursorRow);
    if (cursorRow - top > newRows - 1)
        top = cursorRow - newRows + 1;

    // Rows below the new screen: blank ones go; for content, the screen moves down as far as
    // the cursor allows, and only what still does not fit is dropped.
    while (count > top + newRows && count - 1 > cursorRow && isBlankRow(lines_[count - 1])) {
        lines_.dropBack(1);
        --count;
    }
    if (count > top + newRows)
        top = std::min(cursorRow, count - newRows);
    if (count > top + newRows) {
        lines_.dropBack(count - top - newRows);
        count = top + newRows;
    }

    // Rows missing: with nothing below the cursor the scroll-back comes back down; otherwise
    // blank rows are added at the bottom.
    if (count < top + newRows) {
        if (cursorRow == count - 1)
            top = std::max(0, count - newRows);
        while (count < top + newRows) {
            lines_.push(BufferLine(cols_));
            ++count;
        }
    }

    if (count > capacity) {
        const int excess = count - capacity;
        lines_.dropFront(excess);
        cursorRow -= excess;
        top -= excess;
        displayRow -= excess;
        if (hasScrollback())
            linesTop += excess;
    }
    lines_.setMaxLength(capacity);

    rows_ = newRows;
    yBase_ = top;
    y_ = cursorRow - top;
    yDisp_ = followedOutput ? top : std::clamp(displayRow, 0, top);
}

void Buffer::resizeTabStops(int oldCols)
{
    if (oldCols == cols_)
        return;
    tabStops_.resize(static_cast<std::size_t>(cols_), false);
    if (cols_ > oldCols)
        setupTabStops(oldCols);
}

} // namespace terminal
