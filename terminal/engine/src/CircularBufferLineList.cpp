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

void CircularBufferLineList::straighten()
{
    if (start_ == 0)
        return;
    std::rotate(slots_.begin(), slots_.begin() + static_cast<std::ptrdiff_t>(start_), slots_.end());
    start_ = 0;
}

void CircularBufferLineList::makeRoom()
{
    // Doubling, but never past the capacity: a full scroll-back holds no unused slots.
    if (slots_.size() == slots_.capacity())
        slots_.reserve(std::min(std::max<std::size_t>(slots_.capacity() * 2, 64), static_cast<std::size_t>(maxLength_)));
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
        // The oldest row becomes the newest: its cells' storage is kept for the new row.
        BufferLine& row = slots_[start_];
        start_ = slotOf(1);
        return row;
    }
    straighten();
    makeRoom();
    BufferLine& row = slots_.emplace_back();
    ++count_;
    return row;
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
            return slots_[start_];
        }
        // The oldest row moves to index - 1: the ring turns by one and the rows from there to
        // the end move down behind it.
        start_ = slotOf(1);
        rotate(index - 1, count() - 1, count());
        return (*this)[index - 1];
    }
    straighten();
    makeRoom();
    BufferLine& row = *slots_.emplace(slots_.begin() + index);
    ++count_;
    return row;
}

void CircularBufferLineList::rotate(int first, int middle, int last)
{
    if (first < 0 || first > middle || middle > last || last > count())
        return;
    if (first == last)
        return;
    // A range that runs over the end of the slots is moved once straightened.
    if (slotOf(first) > slotOf(last - 1))
        straighten();
    const auto begin = slots_.begin() + static_cast<std::ptrdiff_t>(slotOf(first));
    std::rotate(begin, begin + (middle - first), begin + (last - first));
}

void CircularBufferLineList::dropFront(int n)
{
    n = std::clamp(n, 0, count());
    straighten();
    slots_.erase(slots_.begin(), slots_.begin() + n);
    count_ -= n;
}

void CircularBufferLineList::dropBack(int n)
{
    n = std::clamp(n, 0, count());
    straighten();
    slots_.erase(slots_.end() - n, slots_.end());
    count_ -= n;
}

std::vector<BufferLine> CircularBufferLineList::take()
{
    straighten();
    count_ = 0;
    return std::exchange(slots_, {});
}

void CircularBufferLineList::assign(std::deque<BufferLine> rows)
{
    const std::size_t kept = std::min(rows.size(), static_cast<std::size_t>(maxLength_));
    rows.erase(rows.begin(), rows.end() - static_cast<std::ptrdiff_t>(kept));
    // Moved over a row at a time, each of the deque's blocks let go once emptied, so that the
    // rows are not held twice; the slots are exactly as many as the rows.
    slots_ = std::vector<BufferLine>();
    slots_.reserve(kept);
    for (; !rows.empty(); rows.pop_front())
        slots_.push_back(std::move(rows.front()));
    count_ = static_cast<int>(kept);
    start_ = 0;
}

} // namespace terminal
