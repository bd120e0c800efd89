#include "terminal/Buffer.h"

#include <algorithm>
#include <climits>

namespace terminal {

int Buffer::getWrappedLineTrimmedLength(const BufferLine& row, const BufferLine* next, int cols)
{
    if (!next)
        return row.getTrimmedLength();
    const int length = std::min(cols, row.count());
    // An empty last cell before a wide character that starts the next row is the gap the wide
    // character left when it did not fit: it is not part of the text.
    if (length > 0 && !row.hasContent(length - 1) && row[length - 1].width == 1 && (*next)[0].isWide())
        return length - 1;
    return length;
}

void Buffer::appendRowText(const BufferLine& row, const BufferLine* next, int startCol, int endCol, std::string& out,
                           int& length) const
{
    const int end = std::min(endCol, getWrappedLineTrimmedLength(row, next, cols_));
    for (int col = std::max(startCol, 0); col < end; ++col) {
        const CharData& cell = row[col];
        if (cell.isSpacer())
            continue;
        tables_->appendUtf8(cell.code, out);
        ++length;
    }
}

std::vector<Line> Buffer::logicalLines(Position start, Position end) const
{
    if (start == end)
        return {};
    if (end < start)
        std::swap(start, end);
    if (start.row < 0 || start.row >= lines_.count())
        return {};
    end.row = std::min(end.row, lines_.count() - 1);

    std::vector<Line> result(1);
    // Rows without content wait: what they add is kept only when content follows.
    struct Pending {
        bool lineBreak;
        int row;
    };
    std::vector<Pending> held;
    auto emitBreak = [&](int previousRow) {
        result.back().append({"\n", previousRow, -1, 1});
        result.emplace_back();
    };
    for (int r = start.row; r <= end.row; ++r) {
        const BufferLine& row = lines_[r];
        const bool startsLine = r != start.row && !row.isWrapped;
        if (!row.hasAnyContent()) {
            if (startsLine)
                held.push_back({true, r - 1});
            continue;
        }
        for (const Pending& pending : held)
            emitBreak(pending.row);
        held.clear();
        if (startsLine)
            emitBreak(r - 1);
        const BufferLine* next = r + 1 < lines_.count() && lines_[r + 1].isWrapped ? &lines_[r + 1] : nullptr;
        const int startCol = r == start.row ? start.col : 0;
        LineFragment fragment{{}, r, startCol, 0};
        appendRowText(row, next, startCol, r == end.row ? end.col : INT_MAX, fragment.text, fragment.length);
        if (fragment.length > 0)
            result.back().append(std::move(fragment));
    }
    if (result.back().fragments.empty())
        result.pop_back();
    return result;
}

std::string Buffer::text(Position start, Position end) const
{
    std::string out;
    for (const Line& line : logicalLines(start, end))
        out += line.text();
    return out;
}

std::string Buffer::allText() const
{
    if (lines_.isEmpty())
        return {};
    return text({0, 0}, {INT_MAX, lines_.count() - 1});
}

} // namespace terminal
