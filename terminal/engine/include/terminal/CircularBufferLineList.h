#pragma once

#include "terminal/BufferLine.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace terminal {

// The rows of one screen buffer, oldest first: the scroll-back, then the screen. It holds at
// most maxLength rows; appending to a full list drops the oldest. Rows are values owned by one
// slot at a time; a full list reuses the dropped row's storage for the new one.
//
// The slots are a ring: row i is in slot (start + i) modulo the number of slots, so a full list
// scrolls by moving its start, and a row is found with an addition. The ring has as many slots
// as rows; it starts at slot 0 until the list is full.
//
// Indices are logical (0 is the oldest row held). Out-of-range indices clamp to the list.
class CircularBufferLineList {
public:
    explicit CircularBufferLineList(int maxLength);

    int count() const { return count_; }
    int maxLength() const { return maxLength_; }
    bool isFull() const { return count() >= maxLength_; }
    bool isEmpty() const { return count_ == 0; }
    // Changes the capacity; when rows no longer fit, the oldest are dropped.
    void setMaxLength(int maxLength);

    // Reads and writes clamp the index; an empty list gives an empty row, and writes to it go
    // nowhere.
    BufferLine& operator[](int index)
    {
        if (count_ == 0)
            return emptyScratch();
        return slots_[slotOf(clampIndex(index))];
    }
    const BufferLine& operator[](int index) const
    {
        return count_ == 0 ? emptyRow() : slots_[slotOf(clampIndex(index))];
    }

    // Appends a row; a full list drops its oldest row first.
    void push(BufferLine row);
    // Appends a row at the end for the caller to reset: the oldest row when the list is full
    // (its storage is reused), else a new empty one. Tells which through `dropped`.
    BufferLine& recycle(bool* dropped = nullptr);
    // Inserts a row before `index` (0 ... count). A full list drops its oldest row first, so the
    // new row lands at index - 1 (at 0 for index 0). Returns the row for the caller to reset.
    BufferLine& insert(int index, bool* dropped = nullptr);
    // Rotates rows [first, last) so that `middle` becomes first, as std::rotate: the one move
    // for scrolling a region or inserting and deleting lines. Bad ranges do nothing.
    void rotate(int first, int middle, int last);
    // Calls `f` with each row of [first, last) (clamped), in order.
    template <typename F>
    void forEach(int first, int last, F f)
    {
        first = std::clamp(first, 0, count());
        last = std::clamp(last, first, count());
        BufferLine* const rows = slots_.data();
        for (std::size_t slot = slotOf(first), n = static_cast<std::size_t>(last - first); n > 0; --n) {
            f(rows[slot]);
            if (++slot == static_cast<std::size_t>(count_))
                slot = 0;
        }
    }
    // Removes the n oldest rows, or the n newest.
    void dropFront(int n);
    void dropBack(int n);

    // The rows in order, for rebuilding (reflow); the list is left empty.
    std::vector<BufferLine> take();
    // Replaces every row; rows beyond the capacity are dropped from the front.
    void assign(std::deque<BufferLine> rows);

private:
    int clampIndex(int index) const { return std::clamp(index, 0, std::max(count() - 1, 0)); }
    std::size_t slotOf(int index) const
    {
        const std::size_t slot = start_ + static_cast<std::size_t>(index);
        const auto size = static_cast<std::size_t>(count_);
        return slot < size ? slot : slot - size;
    }
    // Moves the rows so that row 0 is in slot 0, for the changes that shift rows.
    void straighten();
    // Room for one more slot.
    void makeRoom();
    BufferLine& emptyScratch();
    static const BufferLine& emptyRow();

    std::vector<BufferLine> slots_;
    // slots_.size(), kept apart: working it out divides by the size of a row, on every lookup.
    int count_ = 0;
    std::size_t start_ = 0;
    int maxLength_;
    BufferLine scratch_;
};

} // namespace terminal
