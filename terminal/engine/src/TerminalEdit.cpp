// Cursor movement, erasing, inserting and deleting characters and lines, scrolling the region,
// tab stops, saving the cursor and the rectangle checksum. Every cursor movement leaves the
// pending-wrap position first, so the next character lands where the cursor was put.
#include "TerminalCommands.h"

#include <algorithm>
#include <cstdio>

namespace terminal {

void TerminalCommands::cursorUp(const SequenceParams& p)
{
    endPendingWrap();
    Buffer& buffer = b();
    const int floor = buffer.y() < buffer.scrollTop() ? 0 : buffer.scrollTop();
    buffer.setY(std::max(buffer.y() - p.at(0, 1), floor));
}

void TerminalCommands::cursorDown(const SequenceParams& p)
{
    endPendingWrap();
    Buffer& buffer = b();
    const int limit = buffer.y() > buffer.scrollBottom() ? t_.rows_ - 1 : buffer.scrollBottom();
    buffer.setY(std::min(buffer.y() + p.at(0, 1), limit));
}

void TerminalCommands::cursorForward(int count)
{
    Buffer& buffer = b();
    int limit = rightLimit();
    if (buffer.x() > limit)
        limit = t_.cols_ - 1;
    buffer.setX(std::min(buffer.x() + std::max(count, 1), limit));
}

void TerminalCommands::cursorBackward(int count)
{
    Buffer& buffer = b();
    const int left = leftLimit();
    const int floor = buffer.x() < left ? 0 : left;
    buffer.setX(std::max(std::min(buffer.x(), t_.cols_) - std::max(count, 1), floor));
}

void TerminalCommands::cursorNextLine(const SequenceParams& p)
{
    cursorDown(p);
    b().setX(leftLimit());
}

void TerminalCommands::cursorPrecedingLine(const SequenceParams& p)
{
    cursorUp(p);
    b().setX(leftLimit());
}

void TerminalCommands::cursorCharAbsolute(const SequenceParams& p)
{
    const int base = t_.modes_.originMode && t_.modes_.marginMode ? b().marginLeft() : 0;
    b().setX(std::min(base + p.at(0, 1) - 1, t_.cols_ - 1));
}

void TerminalCommands::cursorPosition(const SequenceParams& p)
{
    setCursor(p.at(1, 1) - 1, p.at(0, 1) - 1);
}

void TerminalCommands::setCursor(int col, int row)
{
    Buffer& buffer = b();
    t_.updateRange(buffer.y());
    if (t_.modes_.originMode) {
        col += t_.modes_.marginMode ? buffer.marginLeft() : 0;
        row += buffer.scrollTop();
    }
    // What restricting the cursor would add: the clamp to the region in origin mode.
    buffer.setX(std::min(col, t_.cols_ - 1));
    buffer.setY(t_.modes_.originMode ? std::clamp(row, buffer.scrollTop(), buffer.scrollBottom()) : row);
    t_.updateRange(buffer.y());
}

void TerminalCommands::cursorForwardTab(const SequenceParams& p)
{
    endPendingWrap();
    const int n = std::min(p.at(0, 1), t_.cols_);
    for (int i = 0; i < n; ++i)
        b().setX(b().nextTabStop(-1, t_.modes_.marginMode));
}

void TerminalCommands::cursorBackwardTab(const SequenceParams& p)
{
    endPendingWrap();
    const int n = std::min(p.at(0, 1), t_.cols_);
    for (int i = 0; i < n; ++i)
        b().setX(b().previousTabStop());
}

void TerminalCommands::charPosAbsolute(const SequenceParams& p)
{
    b().setX(std::min(p.at(0, 1), t_.cols_) - 1);
}

void TerminalCommands::charPosRelative(const SequenceParams& p)
{
    endPendingWrap();
    b().setX(std::min(b().x() + p.at(0, 1), t_.cols_ - 1));
}

void TerminalCommands::linePosAbsolute(const SequenceParams& p)
{
    endPendingWrap();
    b().setY(std::min(p.at(0, 1), t_.rows_) - 1);
}

void TerminalCommands::linePosRelative(const SequenceParams& p)
{
    endPendingWrap();
    b().setY(std::min(b().y() + p.at(0, 1), t_.rows_ - 1));
}

void TerminalCommands::resetBufferLines(int from, int to)
{
    const CharData fill = blank();
    b().lines().forEach(b().yBase() + from, b().yBase() + to, [&](BufferLine& line) { line.reset(std::max(t_.cols_, line.count()), fill, false); });
    t_.updateRange(from);
    t_.updateRange(to - 1);
}

void TerminalCommands::eraseInDisplay(const SequenceParams& p)
{
    Buffer& buffer = b();
    const int x = buffer.x();
    const int y = buffer.y();
    switch (p[0]) {
    case 0: {
        t_.updateRange(y);
        BufferLine& line = buffer.screenLine(y);
        line.images.clear();
        line.replaceCells(x, line.count(), blank());
        if (x == 0)
            line.isWrapped = false;
        resetBufferLines(y + 1, t_.rows_);
        t_.updateRange(t_.rows_ - 1);
        return;
    }
    case 1: {
        t_.updateRange(y);
        BufferLine& line = buffer.screenLine(y);
        line.images.clear();
        line.replaceCells(0, x + 1, blank());
        line.isWrapped = false;
        if (x + 1 >= t_.cols_ && y + 1 < t_.rows_)
            buffer.screenLine(y + 1).isWrapped = false;
        resetBufferLines(0, y);
        t_.updateRange(0);
        return;
    }
    case 2:
        resetBufferLines(0, t_.rows_);
        return;
    case 3: {
        // The scroll-back goes; the screen stays.
        const int dropped = buffer.lines().count() - t_.rows_;
        if (dropped <= 0)
            return;
        const int yBase = buffer.yBase();
        const int yDisp = buffer.yDisp();
        buffer.lines().dropFront(dropped);
        buffer.linesTop = 0;
        buffer.setYBase(std::max(yBase - dropped, 0));
        buffer.setYDisp(std::max(yDisp - dropped, 0));
        t_.updateFullScreen();
        return;
    }
    default:
        return;
    }
}

void TerminalCommands::eraseInLine(const SequenceParams& p)
{
    Buffer& buffer = b();
    const int x = buffer.x();
    BufferLine& line = buffer.screenLine(buffer.y());
    t_.updateRange(buffer.y());
    switch (p[0]) {
    case 0:
        line.images.clear();
        line.replaceCells(x, line.count(), blank());
        return;
    case 1:
        line.images.clear();
        line.replaceCells(0, x + 1, blank());
        return;
    case 2:
        line.images.clear();
        line.replaceCells(0, line.count(), blank());
        return;
    default:
        return;
    }
}

void TerminalCommands::eraseChars(const SequenceParams& p)
{
    Buffer& buffer = b();
    const int x = buffer.x();
    buffer.screenLine(buffer.y()).replaceCells(x, x + p.at(0, 1), blank());
    t_.updateRange(buffer.y());
}

void TerminalCommands::insertChars(const SequenceParams& p)
{
    Buffer& buffer = b();
    if (t_.modes_.marginMode && !isInsideMargins(buffer.x()))
        return;
    buffer.screenLine(buffer.y()).insertCells(buffer.x(), p.at(0, 1), rightLimit(), blank());
    t_.updateRange(buffer.y());
}

void TerminalCommands::deleteChars(const SequenceParams& p)
{
    Buffer& buffer = b();
    const int x = buffer.x();
    if ((t_.modes_.marginMode && !isInsideMargins(x)) || x >= t_.cols_)
        return;
    buffer.screenLine(buffer.y()).deleteCells(x, p.at(0, 1), rightLimit(), blank());
    t_.updateRange(buffer.y());
}

void TerminalCommands::shiftColumns(int n, bool insert)
{
    Buffer& buffer = b();
    const int x = buffer.x();
    if (buffer.y() < buffer.scrollTop() || buffer.y() > buffer.scrollBottom() || x >= t_.cols_
        || (t_.modes_.marginMode && !isInsideMargins(x)))
        return;
    const CharData fill = Buffer::getNullCell(fillAttribute(t_.curAttr_.bg));
    for (int y = buffer.scrollTop(); y <= buffer.scrollBottom(); ++y) {
        BufferLine& line = buffer.screenLine(y);
        if (insert)
            line.insertCells(x, n, rightLimit(), fill);
        else
            line.deleteCells(x, n, rightLimit(), fill);
        line.isWrapped = false;
    }
    t_.updateRange(buffer.scrollTop());
    t_.updateRange(buffer.scrollBottom());
}

void TerminalCommands::shiftRows(int top, int bottom, int n)
{
    Buffer& buffer = b();
    const int height = bottom - top + 1;
    const int k = std::min(std::abs(n), height);
    if (k <= 0)
        return;
    if (!t_.modes_.marginMode) {
        // One rotation of the rows, then the rows that came round are made blank.
        const int first = buffer.yBase() + top;
        const int last = buffer.yBase() + bottom + 1;
        buffer.lines().rotate(first, n > 0 ? last - k : first + k, last);
        const int blankFrom = n > 0 ? first : last - k;
        const CharData fill = blank();
        buffer.lines().forEach(blankFrom, blankFrom + k, [&](BufferLine& line) { line.reset(std::max(t_.cols_, line.count()), fill, false); });
    } else {
        const int left = buffer.marginLeft();
        const int width = buffer.marginRight() - left + 1;
        if (n > 0) {
            for (int row = bottom; row >= top + k; --row)
                buffer.screenLine(row).copyFrom(buffer.screenLine(row - k), left, left, width);
            for (int row = top; row < top + k; ++row)
                buffer.screenLine(row).replaceCells(left, left + width, blank());
        } else {
            for (int row = top; row <= bottom - k; ++row)
                buffer.screenLine(row).copyFrom(buffer.screenLine(row + k), left, left, width);
            for (int row = bottom - k + 1; row <= bottom; ++row)
                buffer.screenLine(row).replaceCells(left, left + width, blank());
        }
    }
    t_.updateRange(top);
    t_.updateRange(bottom);
}

void TerminalCommands::insertLines(const SequenceParams& p)
{
    Buffer& buffer = b();
    const int y = buffer.y();
    if (y < buffer.scrollTop() || y > buffer.scrollBottom())
        return;
    if (t_.modes_.marginMode && !isInsideMargins(buffer.x()))
        return;
    shiftRows(y, buffer.scrollBottom(), p.at(0, 1));
}

void TerminalCommands::deleteLines(const SequenceParams& p)
{
    restrictCursor(true);
    Buffer& buffer = b();
    const int y = buffer.y();
    if (y < buffer.scrollTop() || y > buffer.scrollBottom())
        return;
    if (t_.modes_.marginMode && !isInsideMargins(buffer.x()))
        return;
    shiftRows(y, buffer.scrollBottom(), -p.at(0, 1));
}

void TerminalCommands::scrollUp(const SequenceParams& p)
{
    shiftRows(b().scrollTop(), b().scrollBottom(), -p.at(0, 1));
}

void TerminalCommands::scrollDown(const SequenceParams& p)
{
    shiftRows(b().scrollTop(), b().scrollBottom(), p.at(0, 1));
}

void TerminalCommands::tabClear(const SequenceParams& p)
{
    if (p[0] == 0)
        b().clearTabStop(std::min(b().x(), t_.cols_ - 1));
    else if (p[0] == 3)
        b().clearAllTabStops();
}

void TerminalCommands::saveCursor()
{
    Buffer& buffer = b();
    buffer.savedX = buffer.x();
    buffer.savedY = buffer.y();
    buffer.savedAttr = t_.curAttr_;
    buffer.savedWraparound = t_.modes_.wraparound;
    buffer.savedOriginMode = t_.modes_.originMode;
    buffer.savedMarginMode = t_.modes_.marginMode;
    buffer.savedReverseWraparound = t_.modes_.reverseWraparound;
    t_.savedCharsets_[t_.isCurrentBufferAlternate() ? 1 : 0] = t_.charsets_;
}

void TerminalCommands::restoreCursor()
{
    Buffer& buffer = b();
    buffer.setX(buffer.savedX);
    buffer.setY(buffer.savedY);
    t_.curAttr_ = buffer.savedAttr;
    t_.charsets_ = t_.savedCharsets_[t_.isCurrentBufferAlternate() ? 1 : 0];
    t_.modes_.originMode = buffer.savedOriginMode;
    t_.modes_.marginMode = buffer.savedMarginMode;
    t_.modes_.wraparound = buffer.savedWraparound;
    t_.modes_.reverseWraparound = buffer.savedReverseWraparound;
    for (Buffer* each : {t_.normal_.get(), t_.alt_.get()}) {
        each->marginMode = t_.modes_.marginMode;
        each->wraparound = t_.modes_.wraparound;
    }
}

void TerminalCommands::saveCursorOrSetMargins(const SequenceParams& p)
{
    if (!t_.modes_.marginMode) {
        saveCursor();
        return;
    }
    const int right = std::clamp(p.at(1, t_.cols_) - 1, 0, t_.cols_ - 1);
    const int left = std::min(std::max(p[0] - 1, 0), right);
    b().setMarginLeft(left);
    b().setMarginRight(right);
}

void TerminalCommands::requestChecksum(const SequenceParams& p)
{
    // The screen's contents are never readable by output unless the host asks for it.
    std::uint32_t sum = 0;
    const bool allowed = t_.options_.reportChecksums && t_.delegate_ && t_.delegate_->isProcessTrusted(t_) && p.count() > 2;
    if (allowed) {
        if (const auto area = readRectangle(p, 2)) {
            const Buffer& buffer = b();
            for (int row = area->top; row <= area->bottom; ++row) {
                const BufferLine& line = buffer.screenLine(row);
                for (int col = area->left; col <= area->right; ++col) {
                    const CharData& cell = line[col];
                    if (cell.code == 0) {
                        sum += ' ';
                        continue;
                    }
                    for (char32_t c : t_.tables_->scalars(cell.code))
                        sum += c;
                }
            }
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%04x", sum);
    std::string reply(t_.cc_.dcs());
    reply += std::to_string(p[0]);
    reply += "!~";
    reply += hex;
    reply += t_.cc_.st();
    t_.sendResponse(reply);
}

} // namespace terminal
