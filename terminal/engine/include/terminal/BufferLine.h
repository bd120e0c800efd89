#pragma once

#include "terminal/CharData.h"
#include "terminal/RowStorage.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace terminal {

class CellTables;

// A picture placed on rows by the host. The engine only keeps the attachment and drops it when
// the row is erased or reused.
class TerminalImage {
public:
    virtual ~TerminalImage() = default;
};

// One row of the screen or the scroll-back: a fixed number of cells and whether the row
// continues the row above after an automatic wrap.
//
// Indices from outside are clamped to the row. Every operation keeps wide characters whole:
// a wide cell is followed by its spacer, and a wide cell or spacer whose other half an
// operation overwrote or moved away becomes a fill cell.
class BufferLine {
public:
    enum class RenderLineMode : std::uint8_t { single, doubleWidth, doubledTop, doubledDown };
    using Cells = std::vector<CharData, RowAllocator<CharData>>;

    BufferLine() = default;
    explicit BufferLine(int cols, const CharData& fill = CharData::Null, bool isWrapped = false);

    bool isWrapped = false;
    RenderLineMode renderMode = RenderLineMode::single;
    std::vector<std::shared_ptr<const TerminalImage>> images;

    int count() const { return static_cast<int>(data_.size()); }
    const Cells& getData() const { return data_; }

    // Reads clamp to the row; an empty row reads CharData::Null.
    const CharData& operator[](int index) const;
    // Writes one cell as given (for an in-place change of a character, as combining marks
    // make); use setCell to place a cell with its neighbours kept whole.
    CharData& at(int index);
    // Stores a cell, clearing the other half of any wide character it breaks with `fill`.
    void setCell(int index, const CharData& cell, const CharData& fill = CharData::Null);

    int getWidth(int index) const { return (*this)[index].width; }
    bool hasContent(int index) const;
    bool hasAnyContent() const;
    // One past the last cell with a character (its spacer included); 0 when none.
    int getTrimmedLength() const;

    // The text of cells [startCol, endCol) as UTF-8 (endCol -1 is the row's end), trimmed on the
    // right to the characters when asked. Never-written cells read as blanks; spacers add nothing.
    std::string translateToString(const CellTables& tables, bool trimRight = false, int startCol = 0, int endCol = -1) const;

    // Insert `n` fill cells at `pos`, shifting the cells up to `rightMargin` right; cells pushed
    // past it are lost.
    void insertCells(int pos, int n, int rightMargin, const CharData& fill);
    // Delete `n` cells at `pos`, pulling the cells up to `rightMargin` left and filling the end.
    void deleteCells(int pos, int n, int rightMargin, const CharData& fill);
    // Cells [start, end) become `fill`.
    void replaceCells(int start, int end, const CharData& fill);
    void fill(const CharData& fill);
    void fill(const CharData& fill, int atCol, int len);
    // Replaces cells [dstCol, dstCol + len) with the source's [srcCol, srcCol + len); both
    // ranges are cut to their rows.
    void copyFrom(const BufferLine& source, int srcCol, int dstCol, int len);
    // Every cell becomes a never-written cell with `attribute`; isWrapped stays.
    void clear(const Attribute& attribute);
    // Grow with `fill` or cut to `cols` cells (at least 0).
    void resize(int cols, const CharData& fill = CharData::Null);
    // Makes the row a fresh one of `cols` fill cells, keeping its storage: for rows reused by
    // scrolling.
    void reset(int cols, const CharData& fill, bool isWrapped)
    {
        // Floods of line insertions reset the same blank rows over and over.
        if (uniformFrom_ == 0 && static_cast<int>(data_.size()) == cols && images.empty() && uniformFill_ == fill) {
            this->isWrapped = isWrapped;
            renderMode = RenderLineMode::single;
            return;
        }
        resetCells(cols, fill, isWrapped);
    }
    void attach(std::shared_ptr<const TerminalImage> image) { images.push_back(std::move(image)); }

private:
    friend class Buffer;
    friend class Reflow;
    // Moves cells [pos, rightMargin] by n, right (inserting) or left (deleting), filling the
    // cells left behind.
    void shiftCells(int pos, int n, int rightMargin, const CharData& fill, bool right);
    // Clears broken halves of wide characters in [from, to] (clamped) with `fill`.
    void repairWide(int from, int to, const CharData& fill);
    int clampIndex(int index) const;
    // Sets n cells to one value, by doubling copies: a plain loop reloads the value after every
    // store and stalls, and rows are filled on every scroll and erase.
    static void fillCells(CharData* out, std::size_t n, const CharData& value);
    void resetCells(int cols, const CharData& fill, bool isWrapped);
    // Every write to the cells goes through here: the row may no longer end in its fill.
    Cells& cells()
    {
        uniformFill_.reset();
        return data_;
    }
    // For a write of cells [from, to) only: what follows them keeps its fill.
    CharData* cellsFor(int to)
    {
        uniformFrom_ = std::max(uniformFrom_, to);
        return data_.data();
    }

    Cells data_;
    // While set, cells [uniformFrom_, count) all hold this fill: a row reset from its fill only
    // rewrites what was written since, so scrolling short lines and floods of line insertions
    // touch little memory.
    std::optional<CharData> uniformFill_;
    int uniformFrom_ = 0;
};

} // namespace terminal
