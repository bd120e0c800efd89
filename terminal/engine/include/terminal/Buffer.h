#pragma once

#include "terminal/CellTables.h"
#include "terminal/CharData.h"
#include "terminal/CircularBufferLineList.h"
#include "terminal/Line.h"
#include "terminal/Position.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

namespace terminal {

// One screen buffer: the rows (scroll-back, then the screen), the cursor, the viewport, the
// scroll region, the margins, the tab stops and the state the save-cursor command keeps.
// A terminal has two: the normal buffer, with scroll-back and reflow, and the alternate one.
//
// Coordinates: x is the cursor column and may equal cols (a wrap is pending after the last
// column); y is the screen row. Screen row y is row yBase + y of `lines()`; yDisp is the first
// row shown. Every size and index from outside is clamped; nothing here aborts.
class Buffer {
public:
    // `scrollback` rows are kept above the screen when given; without, the buffer neither keeps
    // scroll-back nor reflows. Sizes are clamped to the limits of TerminalOptions.
    Buffer(int cols, int rows, int tabStopWidth = 8, std::optional<int> scrollback = std::nullopt,
           std::shared_ptr<CellTables> tables = nullptr);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    CellTables& tables() { return *tables_; }
    const CellTables& tables() const { return *tables_; }
    const std::shared_ptr<CellTables>& sharedTables() const { return tables_; }
    CircularBufferLineList& lines() { return lines_; }
    const CircularBufferLineList& lines() const { return lines_; }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    std::optional<int> scrollback() const { return scrollback_; }
    bool hasScrollback() const { return scrollback_.has_value(); }
    bool isReflowEnabled() const { return hasScrollback(); }

    // Setters ignore a negative value (the old one stays) and clamp large ones: x to 0 ... cols,
    // y, scrollTop and scrollBottom to the screen, yBase to the rows above the screen, yDisp to
    // 0 ... yBase, the margins to the columns.
    int x() const { return x_; }
    void setX(int x)
    {
        if (x >= 0)
            x_ = std::min(x, cols_);
    }
    int y() const { return y_; }
    void setY(int y)
    {
        if (y >= 0)
            y_ = std::min(y, rows_ - 1);
    }
    int yBase() const { return yBase_; }
    void setYBase(int yBase);
    int yDisp() const { return yDisp_; }
    void setYDisp(int yDisp);
    int scrollTop() const { return scrollTop_; }
    void setScrollTop(int row);
    int scrollBottom() const { return scrollBottom_; }
    void setScrollBottom(int row);
    int marginLeft() const { return marginLeft_; }
    void setMarginLeft(int col);
    int marginRight() const { return marginRight_; }
    void setMarginRight(int col);

    // Rows a full list has dropped from its top while scrolling.
    int linesTop = 0;
    int savedX = 0;
    int savedY = 0;
    bool savedOriginMode = false;
    bool savedMarginMode = false;
    bool savedWraparound = true;
    bool savedReverseWraparound = false;
    Attribute savedAttr;
    bool insertMode = false;
    bool marginMode = false;
    bool wraparound = false;

    // Where the last character was stored (absolute row, column, and the size then).
    struct Storage {
        int y = 0;
        int x = 0;
        int cols = 0;
        int rows = 0;
    };
    Storage lastBufferStorage;

    // Called when printing wraps at the bottom of the scroll region. The terminal installs its
    // own, which also tells its host; without one the buffer scrolls by itself.
    std::function<void(bool isWrapped)> scrollHandler;

    // The row of screen row y (clamped).
    BufferLine& screenLine(int y) { return lines_[yBase_ + y]; }
    const BufferLine& screenLine(int y) const { return lines_[yBase_ + y]; }
    // The cell at a position whose row counts from the displayed top (yDisp), or from the
    // oldest row kept; CharData::Null outside the rows.
    const CharData& cellAtScreen(Position position) const;
    const CharData& cellAtBuffer(Position position) const;

    BufferLine getBlankLine(const Attribute& attribute, bool isWrapped = false) const;
    // The cell for erased positions: a space with the colours of `attribute`, no style.
    static CharData getNullCell(const Attribute& attribute = Attribute::empty);
    // When there are no rows yet, the screen's rows of never-written cells.
    void fillViewportRows(const Attribute& attribute = CharData::Null.attribute);

    // Back to an empty list at the top (for leaving the alternate screen).
    void clear();
    void softReset();

    const std::vector<bool>& tabStops() const { return tabStops_; }
    int tabStopWidth() const { return tabStopWidth_; }
    // From scratch (index -1), or again from the stop at or before `index`, every `width`
    // columns (the buffer's own width when none is given; 0 sets none).
    void setupTabStops(int index = -1, std::optional<int> width = std::nullopt);
    void tabSet(int pos);
    void clearTabStop(int pos);
    void clearAllTabStops();
    // The stop before `index` (the cursor column when -1), 0 when none.
    int previousTabStop(int index = -1) const;
    // The stop after `index` (the cursor column when -1), limited by the right margin or the
    // last column.
    int nextTabStop(int index = -1, bool useMarginRight = false) const;

    // Stores a printable cell at the cursor and moves it on: wraps or scrolls at the right
    // limit when wrap-around is on, shifts the row in insert mode, places a wide character's
    // spacer. The cells it fills itself take the printed cell's background. False when the
    // character was dropped: a wide one that does not fit while wrap-around is off.
    bool insertCharacter(const CharData& cell);
    // The same for a run of characters with one attribute and payload (`widths` gives each
    // one's width, 1 or 2), written straight into the row up to the right limit; ASCII is all
    // narrow. False when the last character was dropped.
    bool insertRun(std::u32string_view codes, const std::int8_t* widths, const Attribute& attribute, TinyAtom payload = {});
    void insertRun(std::string_view ascii, const Attribute& attribute, TinyAtom payload = {});

    // Scrolls the scroll region up by one row: the new bottom row is blank with `background`,
    // and `isWrapped` when the scroll came from a wrap. A region at the top of a buffer with
    // scroll-back sends its top row into the scroll-back. With `keepViewport` (the user has
    // scrolled back) the display stays on the same rows.
    void scroll(bool isWrapped, Attribute::Color background = Attribute::Color::defaultColor(), bool keepViewport = false);

    // New size. Rows are added or removed at the bottom, pulled back from the scroll-back, and
    // in a buffer with scroll-back the wrapped text is re-wrapped to the new width, the cursor
    // and the saved cursor staying with their characters.
    void resize(int newCols, int newRows);

    // The logical lines between two buffer positions (in either order; the end column is
    // exclusive): a row that is not a continuation starts a new line, with a "\n" fragment
    // closing the one before; rows without content add nothing unless content follows.
    std::vector<Line> logicalLines(Position start, Position end) const;
    // The texts of those lines joined.
    std::string text(Position start, Position end) const;
    // Every row of the buffer as text, one line per logical line.
    std::string allText() const;

    // Empty when the buffer is consistent, else what is wrong: for tests and fuzzers.
    std::string checkInvariants() const;

private:
    friend class CellTables;
    friend class Reflow;

    int capacityFor(int rows) const;
    // How many cells of `row` belong to its wrapped text, given the row after it in its group.
    static int getWrappedLineTrimmedLength(const BufferLine& row, const BufferLine* next, int cols);
    // Places the screen after the rows changed: cursor row `cursorRow`, screen top `top`.
    void fitScreen(int newRows, int cursorRow, int top, int oldYDispRow, bool followedOutput);
    void resizeTabStops(int oldCols);
    template <typename Code>
    bool insertRunOf(const Code* codes, const std::int8_t* widths, std::size_t count, const Attribute& attribute, TinyAtom payload);
    void appendRowText(const BufferLine& row, const BufferLine* next, int startCol, int endCol, std::string& out, int& length) const;

    std::shared_ptr<CellTables> tables_;
    CircularBufferLineList lines_;
    int cols_;
    int rows_;
    std::optional<int> scrollback_;
    int tabStopWidth_;
    int x_ = 0;
    int y_ = 0;
    int yBase_ = 0;
    int yDisp_ = 0;
    int scrollTop_ = 0;
    int scrollBottom_ = 0;
    int marginLeft_ = 0;
    int marginRight_ = 0;
    std::vector<bool> tabStops_;
};

} // namespace terminal
