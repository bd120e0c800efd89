// Rectangular areas (copy, fill, erase, selective erase), column insertion, the line sizes and
// the alignment pattern, and the messages of the neighbours that are not built.
#include "TerminalCommands.h"

#include "terminal/UnicodeUtil.h"

#include <algorithm>

namespace terminal {

std::optional<TerminalCommands::Rectangle> TerminalCommands::readRectangle(const SequenceParams& p, int first) const
{
    const Buffer& buffer = *t_.buffer_;
    int top = std::max(p[first], 1);
    int left = std::max(p[first + 1], 1);
    int bottom = std::min(p.at(first + 2, t_.rows_), t_.rows_);
    int right = std::min(p.at(first + 3, t_.cols_), t_.cols_);
    if (t_.modes_.originMode) {
        top += buffer.scrollTop();
        bottom += buffer.scrollTop();
        left += buffer.marginLeft();
        right += buffer.marginLeft();
    }
    bottom = std::min(bottom, t_.rows_);
    right = std::min(right, t_.cols_);
    if (right < left || bottom < top)
        return std::nullopt;
    return Rectangle{top - 1, left - 1, bottom - 1, right - 1};
}

void TerminalCommands::markRows(int top, int bottom)
{
    t_.updateRange(top);
    t_.updateRange(bottom);
}

void TerminalCommands::copyRectangle(const SequenceParams& p)
{
    const auto source = readRectangle(p, 0);
    if (!source || p.at(4, 1) != 1 || p.at(7, 1) != 1)
        return;
    Buffer& buffer = b();
    int top = p.at(5, 1) - 1;
    int left = p.at(6, 1) - 1;
    if (t_.modes_.originMode) {
        top += buffer.scrollTop();
        left += buffer.marginLeft();
    }
    const int rows = std::min(source->bottom - source->top + 1, t_.rows_ - top);
    const int cols = std::min(source->right - source->left + 1, t_.cols_ - left);
    if (rows <= 0 || cols <= 0)
        return;
    // Copied first, so that overlapping areas copy as they were.
    std::vector<BufferLine> copy;
    copy.reserve(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i)
        copy.push_back(buffer.screenLine(source->top + i));
    for (int i = 0; i < rows; ++i)
        buffer.screenLine(top + i).copyFrom(copy[static_cast<std::size_t>(i)], source->left, left, cols);
    markRows(top, top + rows - 1);
}

void TerminalCommands::fillRectangle(const SequenceParams& p)
{
    const auto c = static_cast<char32_t>(p[0]);
    // Only a character of one cell fills: never a control, half of a wide pair or a mark.
    if (!isValidScalar(c) || columnWidth(c) != 1 || (c >= 0x7F && c <= 0x9F)) {
        log([&] { return "DECFRA with character " + std::to_string(p[0]) + " ignored"; });
        return;
    }
    if (const auto area = readRectangle(p, 1))
        replaceInRectangle(*area, {static_cast<std::int32_t>(c), 1, 0, {}, t_.curAttr_});
}

void TerminalCommands::eraseRectangle(const SequenceParams& p)
{
    if (const auto area = readRectangle(p, 0))
        replaceInRectangle(*area, blank());
}

void TerminalCommands::replaceInRectangle(const Rectangle& area, const CharData& cell)
{
    for (int row = area.top; row <= area.bottom; ++row)
        b().screenLine(row).replaceCells(area.left, area.right + 1, cell);
    markRows(area.top, area.bottom);
}

void TerminalCommands::selectiveEraseRectangle(const SequenceParams& p)
{
    // No cell is protected here: every character goes, every attribute stays.
    const auto area = readRectangle(p, 0);
    if (!area)
        return;
    const CharData fill = blank();
    for (int row = area->top; row <= area->bottom; ++row) {
        BufferLine& line = b().screenLine(row);
        for (int col = area->left; col <= area->right; ++col)
            line.setCell(col, CharData::blank(line[col].attribute), fill);
    }
    markRows(area->top, area->bottom);
}

void TerminalCommands::setLineRenderMode(BufferLine::RenderLineMode mode)
{
    b().screenLine(b().y()).renderMode = mode;
    t_.updateRange(b().y());
}

void TerminalCommands::screenAlignmentPattern()
{
    const CharData e{'E', 1, 0, {}, t_.curAttr_};
    setCursor(0, 0);
    Buffer& buffer = b();
    for (int row = 0; row < t_.rows_; ++row) {
        BufferLine& line = buffer.screenLine(row);
        line.fill(e);
        line.isWrapped = false;
    }
    t_.updateFullScreen();
    setCursor(0, 0);
}

void TerminalCommands::logNotBuilt(const char* name, const SequenceParams& p)
{
    log([&] { return std::string(name) + " is not handled (parameters " + p.describe() + ")"; });
}

} // namespace terminal
