#include "terminal/CircularBufferLineList.h"

#include <algorithm>
#include <utility>

namespace terminal {

namespace {
const BufferLine emptyRowValue;
}

CircularBufferLineList::CircularBufferLineList(int maxLength) : maxLength_(std::max(maxLength, 1)) {}

void CircularBufferLineList::setMaxLength(int maxLength)
{
    maxLength_ = std::max(maxLength, 1);
    if (count() > maxLength_)
        dropFront(count() - maxLength_);
}

BufferLine& CircularBufferLineList::emptyScratch()
{
    scratch_ = BufferLine();
    return scratch_;
}

const BufferLine& CircularBufferLineList::emptyRow()
{
    return emptyRowValue;
}

void CircularBufferLineList::push(BufferLine row)
{
    recycle() = std::move(row);
}

BufferLine& CircularBufferLineList::recycle(bool* dropped)
{
    const bool full = isFull();
    if (dropped)
        *dropped = full;
    if (full) {
        // The oldest row moves to the end: its cells' storage is kept for the new row.
        BufferLine row = std::move(rows_.front());
        rows_.pop_front();
        rows_.push_back(std::move(row));
        rows_.front().prefetchForReset();
    } else {
        rows_.emplace_back();
    }
    return rows_.back();
}

BufferLine& CircularBufferLineList::insert(int index, bool* dropped)
{
    index = std::clamp(index, 0, count());
    const bool full = isFull();
    if (dropped)
        *dropped = full;
    if (full) {
        if (index == 0) {
            // The new row would be the oldest and fall off at once: reuse the oldest in place.
            return rows_.front();
        }
        std::rotate(rows_.begin(), rows_.begin() + 1, rows_.begin() + index);
        return rows_[static_cast<std::size_t>(index - 1)];
    }
    return *rows_.emplace(rows_.begin() + index);
}

void CircularBufferLineList::rotate(int first, int middle, int last)
{
    if (first < 0 || first > middle || middle > last || last > count())
        return;
    std::rotate(rows_.begin() + first, rows_.begin() + middle, rows_.begin() + last);
}

void CircularBufferLineList::dropFront(int n)
{
    n = std::clamp(n, 0, count());
    rows_.erase(rows_.begin(), rows_.begin() + n);
}

void CircularBufferLineList::dropBack(int n)
{
    n = std::clamp(n, 0, count());
    rows_.erase(rows_.end() - n, rows_.end());
}

std::deque<BufferLine> CircularBufferLineList::take()
{
    return std::exchange(rows_, {});
}

void CircularBufferLineList::assign(std::deque<BufferLine> rows)
{
    rows_ = std::move(rows);
    if (count() > maxLength_)
        dropFront(count() - maxLength_);
}

} // namespace terminal
