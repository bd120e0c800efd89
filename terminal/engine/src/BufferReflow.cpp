// Resizing a buffer: rows added or removed at the bottom, pulled back from the scroll-back,
// and in a buffer with scroll-back the wrapped text re-wrapped to the new width.
//
// Re-wrapping works one group of rows at a time (a row and the continuation rows after it).
// The group's text is a stream of cells: each row contributes the cells of its wrapped text
// (Buffer::getWrappedLineTrimmedLength). The stream is cut into rows of the new width, a wide
// character that would straddle the edge starting the next row instead. Each group's new rows
// are made at their exact size before its old rows are freed, so the heap reuses the old rows'
// memory and the buffer never holds much more than one copy of its cells.
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

    std::deque<BufferLine> run(std::vector<BufferLine> rows, Tracked& tracked)
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

    // A row of exactly the new width holding the first cells of `row`.
    BufferLine exactCopy(BufferLine& row) const
    {
        BufferLine copy;
        copy.isWrapped = row.isWrapped;
        copy.renderMode = row.renderMode;
        copy.images = std::move(row.images);
        copy.data_.reserve(static_cast<std::size_t>(newCols_));
        const int kept = std::min(row.count(), newCols_);
        copy.data_.assign(row.data_.begin(), row.data_.begin() + kept);
        copy.data_.resize(static_cast<std::size_t>(newCols_), CharData::Null);
        copy.repairWide(newCols_ - 1, newCols_, CharData::Null);
        return copy;
    }

    void reflowGroup(std::vector<BufferLine>& rows, int g, int end, std::deque<BufferLine>& out, const Tracked& in, Tracked& result)
    {
        const int size = end - g;
        const bool holdsCursor = in.cursorRow >= g && in.cursorRow < end;
        auto row = [&](int r) -> BufferLine& { return rows[static_cast<std::size_t>(g + r)]; };

        oldStart_.clear();
        oldLength_.clear();
        int total = 0;
        for (int r = 0; r < size; ++r) {
            const BufferLine* next = r + 1 < size ? &row(r + 1) : nullptr;
            const int length = Buffer::getWrappedLineTrimmedLength(row(r), next, oldCols_);
            oldStart_.push_back(total);
            oldLength_.push_back(length);
            total += length;
        }

        if (size == 1 && !holdsCursor && total <= newCols_) {
            // One row that fits: only its length changes.
            mapRow(g, static_cast<int>(out.size()), in, result);
            out.push_back(exactCopy(row(0)));
            row(0) = BufferLine();
            return;
        }

        // The cursor's place in the stream; a cursor after the text keeps its distance to it.
        // With `pendingWrap` the cursor is just after the cell at cursorStream.
        int cursorStream = -1;
        bool pendingWrap = false;
        if (holdsCursor) {
            const int r = in.cursorRow - g;
            if (r == size - 1) {
                pendingWrap = in.cursorX >= oldCols_;
                cursorStream = oldStart_[static_cast<std::size_t>(r)] + (pendingWrap ? oldCols_ - 1 : in.cursorX);
            } else {
                cursorStream = oldStart_[static_cast<std::size_t>(r)] + std::min(in.cursorX, oldLength_[static_cast<std::size_t>(r)]);
            }
            // Right after the text the cursor stays after its last character, which can leave it
            // waiting to wrap at the new edge rather than alone on a row of its own.
            if (!pendingWrap && cursorStream == total && total > 0) {
                cursorStream = total - 1;
                pendingWrap = true;
            }
        }
        const int streamLength = std::max(total, cursorStream + 1);

        // Cut the stream into rows of the new width.
        newStart_.clear();
        int source = 0;
        for (int p = 0;;) {
            int length = std::min(newCols_, streamLength - p);
            if (length == newCols_ && p + length - 1 < total && cellAt(rows, g, p + length - 1, source).isWide())
                --length;
            newStart_.push_back(p);
            p += length;
            if (p >= streamLength)
                break;
        }
        const int newSize = static_cast<int>(newStart_.size());

        // The new rows, filled from the old ones segment by segment.
        const int firstOut = static_cast<int>(out.size());
        int r = 0;
        for (int d = 0; d < newSize; ++d) {
            const int start = newStart_[static_cast<std::size_t>(d)];
            const int stop = std::min(d + 1 < newSize ? newStart_[static_cast<std::size_t>(d) + 1] : streamLength, total);
            BufferLine line(newCols_, CharData::Null, d == 0 ? row(0).isWrapped : true);
            while (r < size && oldStart_[static_cast<std::size_t>(r)] + oldLength_[static_cast<std::size_t>(r)] <= start)
                ++r;
            for (int s = r; s < size && oldStart_[static_cast<std::size_t>(s)] < stop; ++s) {
                const int from = std::max(start, oldStart_[static_cast<std::size_t>(s)]);
                const int to = std::min(stop, oldStart_[static_cast<std::size_t>(s)] + oldLength_[static_cast<std::size_t>(s)]);
                if (to > from)
                    std::memcpy(static_cast<void*>(line.cells().data() + (from - start)),
                                row(s).data_.data() + (from - oldStart_[static_cast<std::size_t>(s)]),
                                static_cast<std::size_t>(to - from) * sizeof(CharData));
            }
            out.push_back(std::move(line));
        }
        for (int s = 0; s < size; ++s) {
            const int newRow = firstOut + locate(oldStart_[static_cast<std::size_t>(s)]).first;
            mapRow(g + s, newRow, in, result);
            BufferLine& target = out[static_cast<std::size_t>(newRow)];
            for (auto& image : row(s).images)
                target.images.push_back(std::move(image));
            row(s) = BufferLine();
        }
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

    // The cell at stream position p; `hint` is the old row to look in first (positions are
    // asked for in rising order).
    const CharData& cellAt(const std::vector<BufferLine>& rows, int g, int p, int& hint) const
    {
        while (hint + 1 < static_cast<int>(oldStart_.size()) && oldStart_[static_cast<std::size_t>(hint) + 1] <= p)
            ++hint;
        return rows[static_cast<std::size_t>(g + hint)][p - oldStart_[static_cast<std::size_t>(hint)]];
    }

    int oldCols_;
    int newCols_;
    std::vector<int> oldStart_;
    std::vector<int> oldLength_;
    std::vector<int> newStart_;
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
