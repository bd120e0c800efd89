#include "terminal/view/SelectionService.h"

#include "terminal/Terminal.h"

#include <QChar>

#include <algorithm>
#include <vector>

namespace terminal {

SelectionService::SelectionService(Terminal& terminal)
    : terminal_(terminal)
{
}

const Buffer& SelectionService::buffer() const
{
    return terminal_.buffer();
}

int SelectionService::cols() const
{
    return terminal_.cols();
}

void SelectionService::notify()
{
    if (TerminalDelegate* delegate = terminal_.delegate())
        delegate->selectionChanged(terminal_);
}

void SelectionService::setActive(bool active)
{
    if (active != active_) {
        active_ = active;
        notify();
    }
    if (!active_)
        pivot_.reset();
}

bool SelectionService::isSpacer(Position p) const
{
    if (p.row < 0 || p.row >= buffer().lines().count() || p.col <= 0 || p.col >= buffer().lines()[p.row].count())
        return false;
    return buffer().lines()[p.row][p.col].isSpacer() && buffer().lines()[p.row][p.col - 1].isWide();
}

Position SelectionService::snapStart(Position p) const
{
    return isSpacer(p) ? Position{p.col - 1, p.row} : p;
}

Position SelectionService::snapEnd(Position p) const
{
    return isSpacer(p) ? Position{p.col + 1, p.row} : p;
}

char32_t SelectionService::scalarAt(Position p) const
{
    if (p.row < 0 || p.row >= buffer().lines().count())
        return 0;
    const BufferLine& line = buffer().lines()[p.row];
    if (p.col < 0 || p.col >= line.count())
        return 0;
    // The right half of a wide character belongs to it.
    if (isSpacer(p))
        --p.col;
    const CharData& cell = line[p.col];
    if (cell.code == 0)
        return 0;
    if (cell.isSimpleRune())
        return static_cast<char32_t>(cell.code);
    const std::u32string scalars = terminal_.tables().scalars(cell.code);
    return scalars.empty() ? U' ' : scalars.front();
}

SelectionService::CharClass SelectionService::classAt(Position p) const
{
    const char32_t c = scalarAt(p);
    if (c == 0)
        return CharClass::null;
    if (c == U' ')
        return CharClass::blank;
    if (c == U'.' || c == U'_' || c == U'-' || QChar::isLetterOrNumber(c))
        return CharClass::word;
    return CharClass::other;
}

void SelectionService::startSelection(int screenRow, int col)
{
    collapseSelection(snapStart({col, screenRow + buffer().yDisp()}));
    selectionMode_ = SelectionMode::character;
    active_ = true;
    notify();
}

void SelectionService::collapseSelection(Position at)
{
    start_ = at;
    end_ = at;
    active_ = true;
    hasSelectionRange_ = false;
    notify();
}

void SelectionService::shiftExtend(int screenRow, int col)
{
    Position point{col, screenRow + buffer().yDisp()};
    if (selectingRows_)
        point.col = point > start_ ? cols() : 0;
    extendSelection(point);
}

Position SelectionService::wordBoundary(Position p, bool forward) const
{
    const CharClass cls = classAt(p);
    if (cls == CharClass::other)
        return p;
    if (forward) {
        int col = p.col;
        while (col < cols() && classAt({col, p.row}) == cls)
            ++col;
        return {col, p.row};
    }
    int col = p.col;
    while (col > 0 && classAt({col - 1, p.row}) == cls)
        --col;
    return snapStart({col, p.row});
}

void SelectionService::extendSelection(Position to)
{
    const bool forward = !(to < start_);
    Position point = forward ? snapEnd(to) : snapStart(to);
    if (selectionMode_ == SelectionMode::word)
        point = wordBoundary(point, forward);
    // A point on the other side of the anchor: the old far end becomes the anchor.
    const bool runsForward = !(end_ < start_);
    if ((runsForward && point < start_) || (!runsForward && start_ < point))
        start_ = end_;
    end_ = point;
    hasSelectionRange_ = point != start_;
    active_ = true;
    notify();
}

void SelectionService::dragExtend(Position to)
{
    const bool forward = !(to < start_);
    Position point = forward ? snapEnd(to) : snapStart(to);
    if (selectionMode_ == SelectionMode::word)
        point = wordBoundary(point, forward);
    end_ = point;
    hasSelectionRange_ = point != start_;
    active_ = true;
    notify();
}

void SelectionService::selectAll()
{
    start_ = {0, 0};
    end_ = {cols(), buffer().lines().maxLength() - 1};
    hasSelectionRange_ = start_ != end_;
    active_ = true;
    notify();
}

void SelectionService::selectRow(int row)
{
    start_ = {0, row};
    end_ = {cols(), row};
    hasSelectionRange_ = true;
    selectingRows_ = true;
    selectionMode_ = SelectionMode::row;
    active_ = true;
    notify();
}

void SelectionService::selectRun(Position at, CharClass cls)
{
    int first = at.col;
    while (first > 0 && classAt({first - 1, at.row}) == cls)
        --first;
    int last = at.col;
    while (last < cols() && classAt({last, at.row}) == cls)
        ++last;
    start_ = snapStart({first, at.row});
    end_ = {last, at.row};
    hasSelectionRange_ = start_ != end_;
}

bool SelectionService::matchForward(Position at)
{
    std::vector<char32_t> expected;
    const int lastRow = std::min(buffer().yDisp() + terminal_.rows(), buffer().lines().count());
    for (int row = at.row; row < lastRow; ++row) {
        for (int col = row == at.row ? at.col : 0; col < cols(); ++col) {
            if (isSpacer({col, row}))
                continue;
            const char32_t c = scalarAt({col, row});
            if (c == U'(')
                expected.push_back(U')');
            else if (c == U'[')
                expected.push_back(U']');
            else if (c == U'{')
                expected.push_back(U'}');
            else if (!expected.empty() && c == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    start_ = at;
                    end_ = {col + 1, row};
                    hasSelectionRange_ = true;
                    return true;
                }
            }
        }
    }
    return false;
}

bool SelectionService::matchBackward(Position at)
{
    std::vector<char32_t> expected;
    for (int row = at.row; row >= 0; --row) {
        for (int col = row == at.row ? at.col : cols() - 1; col >= 0; --col) {
            if (isSpacer({col, row}))
                continue;
            const char32_t c = scalarAt({col, row});
            if (c == U')')
                expected.push_back(U'(');
            else if (c == U']')
                expected.push_back(U'[');
            else if (c == U'}')
                expected.push_back(U'{');
            else if (!expected.empty() && c == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    start_ = {col, row};
                    end_ = {at.col + 1, at.row};
                    hasSelectionRange_ = true;
                    return true;
                }
            }
        }
    }
    return false;
}

void SelectionService::selectWordOrExpression(Position at)
{
    at.col = std::clamp(at.col, 0, cols());
    at.row = std::max(at.row, 0);
    at = snapStart(at);
    const CharClass cls = classAt(at);
    const char32_t c = scalarAt(at);
    bool selected = true;
    if (cls != CharClass::other)
        selectRun(at, cls);
    else if (c == U'(' || c == U'[' || c == U'{')
        selected = matchForward(at);
    else if (c == U')' || c == U']' || c == U'}')
        selected = matchBackward(at);
    else
        selected = false;
    if (!selected) {
        start_ = at;
        end_ = at;
        hasSelectionRange_ = false;
    }
    selectionMode_ = SelectionMode::word;
    active_ = true;
    notify();
}

Position SelectionService::effectiveEnd(Position end) const
{
    if (end.col >= cols() - 1)
        end.col = cols();
    return end;
}

std::string SelectionService::getSelectedText() const
{
    const Position first = std::min(start_, end_);
    const Position last = effectiveEnd(std::max(start_, end_));
    std::string text;
    for (const Line& line : terminal_.getSelectedLines(first, last))
        text += line.text();
    return text;
}

std::pair<int, int> SelectionService::columnsOnRow(int row) const
{
    if (!active_)
        return {0, 0};
    const Position first = std::min(start_, end_);
    const Position last = effectiveEnd(std::max(start_, end_));
    if (first == std::max(start_, end_) || row < first.row || row > last.row)
        return {0, 0};
    const int from = row == first.row ? first.col : 0;
    const int to = row == last.row ? last.col : cols();
    return {std::min(from, to), to};
}

bool SelectionService::contains(Position cell) const
{
    const auto [from, to] = columnsOnRow(cell.row);
    return cell.col >= from && cell.col < to;
}

std::string SelectionService::debugDescription() const
{
    auto position = [](Position p) { return "col=" + std::to_string(p.col) + " row=" + std::to_string(p.row); };
    return "[Selection (active=" + std::string(active_ ? "true" : "false") + ", start=" + position(start_) + " end=" +
           position(end_) + " hasSR=" + (hasSelectionRange_ ? "true" : "false") +
           " pivot=" + (pivot_ ? position(*pivot_) : "nil") + "]";
}

} // namespace terminal
