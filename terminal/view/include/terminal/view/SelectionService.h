#pragma once

#include "terminal/Position.h"

#include <optional>
#include <string>

namespace terminal {

class Buffer;
class Terminal;

// The text selection of one terminal view: two buffer positions (rows counted from the oldest
// row kept, columns from 0), whether it is shown, and how it grows (characters, words, rows).
// `end` is exclusive, except that an end in the last column includes it. The halves of a wide
// character are never split: an end on either half takes the whole character. Every change the
// view must redraw is told to the terminal's delegate (selectionChanged).
class SelectionService {
public:
    enum class SelectionMode { character, word, row };

    explicit SelectionService(Terminal& terminal);

    bool active() const { return active_; }
    // Switching it off keeps the ends and the mode for the next operation.
    void setActive(bool active);
    bool hasSelectionRange() const { return hasSelectionRange_; }
    Position start() const { return start_; }
    Position end() const { return end_; }
    std::optional<Position> pivot() const { return pivot_; }
    bool selectingRows() const { return selectingRows_; }
    SelectionMode selectionMode() const { return selectionMode_; }

    // A click: an empty selection at a screen position.
    void startSelection(int screenRow, int col);
    void collapseSelection(Position at);
    // Shift-click at a screen position: the selection grows to it, keeping the far end.
    void shiftExtend(int screenRow, int col);
    void extendSelection(Position to);
    // A drag to a buffer position: the moving end follows, the anchor stays.
    void dragExtend(Position to);
    void selectAll();
    void selectRow(int row);
    // A double click: the word, run of blanks or bracketed expression at a buffer position.
    void selectWordOrExpression(Position at);

    // The selected text, with the line breaks of the buffer's logical lines.
    std::string getSelectedText() const;
    // Whether the cell at a buffer position is highlighted.
    bool contains(Position cell) const;
    // The highlighted columns [first, last) of a buffer row; first == last when none.
    std::pair<int, int> columnsOnRow(int row) const;

    std::string debugDescription() const;

private:
    enum class CharClass { null, blank, word, other };

    const Buffer& buffer() const;
    int cols() const;
    CharClass classAt(Position p) const;
    char32_t scalarAt(Position p) const;
    bool isSpacer(Position p) const;
    // Moves a position off the right half of a wide character: a start to its left half, an
    // exclusive end past its right half.
    Position snapStart(Position p) const;
    Position snapEnd(Position p) const;
    Position wordBoundary(Position p, bool forward) const;
    // The end as the text and the highlight use it: past the edge when it is in the last column.
    Position effectiveEnd(Position end) const;
    void selectRun(Position at, CharClass cls);
    bool matchForward(Position at);
    bool matchBackward(Position at);
    void notify();

    Terminal& terminal_;
    bool active_ = false;
    bool hasSelectionRange_ = false;
    Position start_;
    std::optional<Position> pivot_ = Position{};
    Position end_;
    bool selectingRows_ = false;
    SelectionMode selectionMode_ = SelectionMode::character;
};

} // namespace terminal
