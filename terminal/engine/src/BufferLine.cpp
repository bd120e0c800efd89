#include "terminal/BufferLine.h"

#include "terminal/CellTables.h"
#include "terminal/Log.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace terminal {

BufferLine::BufferLine(int cols, const CharData& fill, bool wrapped)
    : isWrapped(wrapped)
    , data_(static_cast<std::size_t>(std::max(cols, 0)), fill)
    , uniformFill_(fill)
{
}

void BufferLine::fillCells(CharData* out, std::size_t n, const CharData& value)
{
    if (n == 0)
        return;
    std::uint32_t words[5];
    static_assert(sizeof words == sizeof value);
    std::memcpy(words, &value, sizeof words);
    const std::uint32_t w0 = words[0], w1 = words[1], w2 = words[2], w3 = words[3], w4 = words[4];
    const std::size_t first = std::min<std::size_t>(n, 16);
    for (std::size_t k = 0; k < first; ++k) {
        auto* bytes = reinterpret_cast<unsigned char*>(out + k);
        std::memcpy(bytes, &w0, 4);
        std::memcpy(bytes + 4, &w1, 4);
        std::memcpy(bytes + 8, &w2, 4);
        std::memcpy(bytes + 12, &w3, 4);
        std::memcpy(bytes + 16, &w4, 4);
    }
    if (n <= first)
        return;
    for (std::size_t done = first; done < n; done *= 2)
        std::memcpy(static_cast<void*>(out + done), out, std::min(done, n - done) * sizeof(CharData));
}

int BufferLine::clampIndex(int index) const
{
    return std::clamp(index, 0, std::max(count() - 1, 0));
}

const CharData& BufferLine::operator[](int index) const
{
    return data_.empty() ? CharData::Null : data_[static_cast<std::size_t>(clampIndex(index))];
}

CharData& BufferLine::at(int index)
{
    if (data_.empty())
        data_.push_back(CharData::Null);
    uniformFill_.reset();
    if (index < 0 || index >= count())
        logDiagnostic("BufferLine: You passed an index out of range, adjusting to prevent crash, but you should debug");
    return data_[static_cast<std::size_t>(clampIndex(index))];
}

void BufferLine::setCell(int index, const CharData& cell, const CharData& fill)
{
    if (data_.empty())
        return;
    index = clampIndex(index);
    cells()[static_cast<std::size_t>(index)] = cell;
    repairWide(index - 1, index + 1, fill);
}

bool BufferLine::hasContent(int index) const
{
    const CharData& cell = (*this)[index];
    return cell.code != 0 || cell.attribute != CharData::Null.attribute;
}

bool BufferLine::hasAnyContent() const
{
    return std::any_of(data_.begin(), data_.end(),
                       [](const CharData& cell) { return cell.code != 0 || cell.attribute != CharData::Null.attribute; });
}

int BufferLine::getTrimmedLength() const
{
    for (int i = count() - 1; i >= 0; --i) {
        if (data_[static_cast<std::size_t>(i)].code != 0)
            return i + (data_[static_cast<std::size_t>(i)].isWide() && i + 1 < count() ? 2 : 1);
    }
    return 0;
}

std::string BufferLine::translateToString(const CellTables& tables, bool trimRight, int startCol, int endCol) const
{
    int end = endCol < 0 ? count() : std::min(endCol, count());
    startCol = std::clamp(startCol, 0, count());
    if (trimRight)
        end = std::max(startCol, std::min(getTrimmedLength(), end));
    std::string out;
    for (int i = startCol; i < end; ++i) {
        const CharData& cell = data_[static_cast<std::size_t>(i)];
        if (!cell.isSpacer())
            tables.appendUtf8(cell.code, out);
    }
    return out;
}

void BufferLine::repairWide(int from, int to, const CharData& fill)
{
    from = std::max(from, 0);
    to = std::min(to, count() - 1);
    for (int i = from; i <= to; ++i) {
        CharData& cell = data_[static_cast<std::size_t>(i)];
        if ((cell.isWide() && (i + 1 >= count() || !data_[static_cast<std::size_t>(i) + 1].isSpacer()))
            || (cell.isSpacer() && (i == 0 || !data_[static_cast<std::size_t>(i) - 1].isWide()))) {
            cell = fill;
            uniformFill_.reset();
        }
    }
}

void BufferLine::shiftCells(int pos, int n, int rightMargin, const CharData& fill, bool right)
{
    if (data_.empty() || n <= 0)
        return;
    uniformFill_.reset();
    rightMargin = clampIndex(rightMargin);
    pos = std::clamp(pos, 0, rightMargin);
    const auto first = data_.begin() + pos;
    const auto last = data_.begin() + rightMargin + 1;
    if (n >= rightMargin + 1 - pos) {
        fillCells(&*first, static_cast<std::size_t>(last - first), fill);
    } else if (right) {
        std::copy_backward(first, last - n, last);
        fillCells(&*first, static_cast<std::size_t>(n), fill);
    } else {
        std::copy(first + n, last, first);
        fillCells(&*(last - n), static_cast<std::size_t>(n), fill);
    }
    repairWide(pos - 1, rightMargin + 1, fill);
}

void BufferLine::insertCells(int pos, int n, int rightMargin, const CharData& fill)
{
    shiftCells(pos, n, rightMargin, fill, true);
}

void BufferLine::deleteCells(int pos, int n, int rightMargin, const CharData& fill)
{
    shiftCells(pos, n, rightMargin, fill, false);
}

void BufferLine::replaceCells(int start, int end, const CharData& fill)
{
    start = std::clamp(start, 0, count());
    end = std::clamp(end, start, count());
    if (start == end)
        return;
    fillCells(cells().data() + start, static_cast<std::size_t>(end - start), fill);
    // A fill of one-cell characters can only break a wide character at its two ends.
    if (fill.isWide() || fill.isSpacer()) {
        repairWide(start - 1, end, fill);
    } else {
        repairWide(start - 1, start - 1, fill);
        repairWide(end, end, fill);
    }
}

void BufferLine::fill(const CharData& fill)
{
    fillCells(cells().data(), data_.size(), fill);
    repairWide(0, count() - 1, CharData::blank(fill.attribute));
}

void BufferLine::fill(const CharData& fill, int atCol, int len)
{
    replaceCells(atCol, atCol + std::max(len, 0), fill);
}

void BufferLine::copyFrom(const BufferLine& source, int srcCol, int dstCol, int len)
{
    if (srcCol < 0) {
        len += srcCol;
        dstCol -= srcCol;
        srcCol = 0;
    }
    if (dstCol < 0) {
        len += dstCol;
        srcCol -= dstCol;
        dstCol = 0;
    }
    len = std::min({len, source.count() - srcCol, count() - dstCol});
    if (len <= 0)
        return;
    std::copy_n(source.data_.begin() + srcCol, len, cells().begin() + dstCol);
    const CharData blank = CharData::blank(data_[static_cast<std::size_t>(dstCol)].attribute);
    repairWide(dstCol - 1, dstCol, blank);
    repairWide(dstCol + len - 1, dstCol + len, blank);
}

void BufferLine::clear(const Attribute& attribute)
{
    fillCells(data_.data(), data_.size(), CharData::blank(attribute));
    uniformFill_ = CharData::blank(attribute);
    uniformFrom_ = 0;
}

void BufferLine::resize(int cols, const CharData& fill)
{
    cols = std::max(cols, 0);
    if (cols == count())
        return;
    if (uniformFill_ != fill)
        uniformFill_.reset();
    uniformFrom_ = std::min(uniformFrom_, cols);
    data_.resize(static_cast<std::size_t>(cols), fill);
    repairWide(cols - 1, cols, CharData::blank(fill.attribute));
}

void BufferLine::resetCells(int cols, const CharData& fill, bool wrapped)
{
    const auto n = static_cast<std::size_t>(std::max(cols, 0));
    if (uniformFill_ == fill && data_.size() == n) {
        fillCells(data_.data(), static_cast<std::size_t>(uniformFrom_), fill);
    } else {
        data_.resize(n);
        fillCells(data_.data(), n, fill);
        uniformFill_ = fill;
    }
    uniformFrom_ = 0;
    isWrapped = wrapped;
    renderMode = RenderLineMode::single;
    images.clear();
}

} // namespace terminal
