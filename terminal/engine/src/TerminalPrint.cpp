// Printing text, and the controls that move the cursor by lines and columns.
#include "TerminalCommands.h"

#include "terminal/UnicodeUtil.h"

#include <algorithm>

namespace terminal {

void TerminalCommands::print(std::u32string_view text)
{
    Buffer& buffer = b();
    t_.updateRange(buffer.y());
    const Attribute attribute = t_.curAttr_;
    const bool mapped = t_.charsets_.active() != nullptr;
    run_.clear();
    widths_.clear();
    const auto flush = [&] {
        if (run_.empty())
            return;
        noteStored(buffer, buffer.insertRun(run_, widths_.data(), attribute, t_.link_));
        lastPrinted_ = {static_cast<std::int32_t>(run_.back()), widths_.back()};
        run_.clear();
        widths_.clear();
    };
    const auto scalarAt = [&](std::size_t i) { return mapped ? t_.charsets_.map(text[i]) : text[i]; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = scalarAt(i);
        const int width = columnWidth(c);
        if (width == 0) {
            // Marks, joiners and other zero-width scalars never take a cell of their own. One
            // joined before joins its character still in the run; any other goes to the cell
            // first, since entering a new cluster may collect codes held only here. The marks
            // that follow it go with it, so that the cluster is entered once, whole.
            if (!run_.empty()) {
                if (const std::int32_t joined = cachedJoin(static_cast<std::int32_t>(run_.back()), c)) {
                    run_.back() = static_cast<char32_t>(joined);
                    continue;
                }
            }
            marks_.assign(1, c);
            while (i + 1 < text.size()) {
                const char32_t next = scalarAt(i + 1);
                if (columnWidth(next) != 0)
                    break;
                marks_ += next;
                ++i;
            }
            flush();
            joinPrevious(marks_);
            continue;
        }
        run_ += c;
        widths_.push_back(static_cast<std::int8_t>(width));
    }
    flush();
    t_.updateRange(b().y());
}

void TerminalCommands::printAscii(std::string_view text)
{
    if (t_.charsets_.active()) {
        // Mapped characters are not ASCII: the general path.
        asciiScalars_.assign(text.begin(), text.end());
        print(asciiScalars_);
        return;
    }
    Buffer& buffer = b();
    const int row = buffer.y();
    buffer.insertRun(text, t_.curAttr_, t_.link_);
    dropped_ = {};
    lastPrinted_ = {static_cast<unsigned char>(text.back()), 1};
    t_.updateRange(row);
    // Text that wrapped ends on another row.
    if (buffer.y() != row)
        t_.updateRange(buffer.y());
}

std::size_t TerminalCommands::joinSlot(std::int32_t base, char32_t mark)
{
    return (static_cast<std::uint32_t>(base) * 0x9E3779B1u ^ mark * 0x85EBCA6Bu) >> 20;
}

// Text repeats its combinations: most joins are found without touching the tables.
std::int32_t TerminalCommands::cachedJoin(std::int32_t base, char32_t mark)
{
    if (t_.tables_->collections() != joinedCollections_) {
        joins_.fill({});
        joinedCode_ = 0;
        joinedCollections_ = t_.tables_->collections();
        return 0;
    }
    const Join& join = joins_[joinSlot(base, mark)];
    return join.base == base && join.mark == mark ? join.result : 0;
}

// Zero-width scalars join the character left of the cursor; with none there, or when the
// character they followed was dropped, they are dropped. Joins made lately are taken from the
// cache; the rest of the marks are entered with the character as one cluster.
void TerminalCommands::joinPrevious(std::u32string_view marks)
{
    Buffer& buffer = b();
    if (dropped_.buffer == &buffer && dropped_.x == buffer.x() && dropped_.y == buffer.y())
        return;
    int col = std::min(buffer.x(), t_.cols_) - 1;
    BufferLine& row = buffer.screenLine(buffer.y());
    if (col < 0 || col >= row.count())
        return;
    if (row[col].isSpacer() && col > 0)
        --col;
    std::int32_t code = row[col].code;
    if (code == 0)
        return;
    std::size_t joined = 0;
    while (joined < marks.size()) {
        const std::int32_t cached = cachedJoin(code, marks[joined]);
        if (!cached)
            break;
        code = cached;
        ++joined;
    }
    if (joined < marks.size())
        code = enterCluster(code, marks.substr(joined));
    row.at(col).code = code;
    if (lastPrinted_.code != 0)
        lastPrinted_.code = code;
}

std::int32_t TerminalCommands::enterCluster(std::int32_t base, std::u32string_view marks)
{
    CellTables& tables = *t_.tables_;
    if (base != joinedCode_)
        joinedScalars_ = tables.scalars(base);
    // A cluster takes marks up to its longest; the rest are dropped.
    const std::size_t room = CellTables::maxClusterScalars - std::min(joinedScalars_.size(), CellTables::maxClusterScalars);
    if (room == 0) {
        joinedCode_ = base;
        return base;
    }
    joinedScalars_.append(marks.substr(0, room));
    const std::int32_t code = tables.encode(joinedScalars_);
    if (joinedCollections_ != tables.collections()) {
        // Entering the cluster collected the table: what was cached may mean something else.
        joins_.fill({});
        joinedCollections_ = tables.collections();
    }
    // A table too full for the cluster gave the first scalar alone.
    joinedCode_ = code >= CharData::firstClusterCode ? code : 0;
    if (joinedCode_ != 0 && marks.size() == 1)
        joins_[joinSlot(base, marks[0])] = {base, marks[0], code};
    return code;
}

void TerminalCommands::repeatPreceding(const SequenceParams& p)
{
    if (lastPrinted_.code == 0)
        return;
    const int limit = t_.cols_ * t_.rows_ * 2;
    const int n = std::min(p.at(0, 1), limit);
    t_.updateRange(b().y());
    run_.assign(static_cast<std::size_t>(n), static_cast<char32_t>(lastPrinted_.code));
    widths_.assign(static_cast<std::size_t>(n), lastPrinted_.width);
    noteStored(b(), b().insertRun(run_, widths_.data(), t_.curAttr_, t_.link_));
    t_.updateRange(b().y());
}

void TerminalCommands::endPendingWrap()
{
    if (b().x() >= t_.cols_)
        b().setX(t_.cols_ - 1);
}

void TerminalCommands::moveDownOrScroll()
{
    Buffer& buffer = b();
    if (buffer.y() == buffer.scrollBottom()) {
        // The pending-wrap position counts as the last column.
        if (isInsideMargins(std::min(buffer.x(), t_.cols_ - 1)))
            scroll(false);
    } else if (buffer.y() < t_.rows_ - 1) {
        buffer.setY(buffer.y() + 1);
    }
}

void TerminalCommands::lineFeed()
{
    moveDownOrScroll();
    endPendingWrap();
    if (t_.delegate_)
        t_.delegate_->linefeed(t_);
    if (t_.modes_.lineFeedMode)
        b().setX(t_.modes_.originMode && t_.modes_.marginMode ? b().marginLeft() : 0);
}

void TerminalCommands::carriageReturn()
{
    Buffer& buffer = b();
    if (t_.modes_.marginMode && buffer.x() >= buffer.marginLeft())
        buffer.setX(buffer.marginLeft());
    else
        buffer.setX(0);
}

void TerminalCommands::backspace()
{
    const bool reverse = t_.modes_.reverseWraparound;
    restrictCursor(!reverse);
    Buffer& buffer = b();
    const int left = leftLimit();
    const int right = rightLimit();
    const int x = buffer.x();
    const int y = buffer.y();
    if (x > left) {
        buffer.setX(x - 1);
    } else if (!reverse) {
        if (x > 0 && x < left)
            buffer.setX(x - 1);
    } else if (y > buffer.scrollTop() && y <= buffer.scrollBottom()) {
        BufferLine& line = buffer.screenLine(y);
        if (line.isWrapped && !t_.modes_.marginMode)
            line.isWrapped = false;
        buffer.setY(y - 1);
        buffer.setX(right);
    } else if (y == buffer.scrollTop()) {
        buffer.setX(right);
        buffer.setY(buffer.scrollBottom());
    } else if (y > 0) {
        buffer.setX(right);
        buffer.setY(y - 1);
    }
}

void TerminalCommands::tab()
{
    Buffer& buffer = b();
    buffer.setX(buffer.nextTabStop(-1, t_.modes_.marginMode));
}

void TerminalCommands::tabSet()
{
    b().tabSet(std::min(b().x(), t_.cols_ - 1));
}

void TerminalCommands::index()
{
    restrictCursor(true);
    moveDownOrScroll();
}

void TerminalCommands::nextLine()
{
    b().setX(t_.modes_.originMode && t_.modes_.marginMode ? b().marginLeft() : 0);
    index();
}

void TerminalCommands::reverseIndex()
{
    restrictCursor(true);
    Buffer& buffer = b();
    if (buffer.y() == buffer.scrollTop()) {
        Buffer& buf = buffer;
        const int top = buf.yBase() + buf.scrollTop();
        const int bottom = buf.yBase() + buf.scrollBottom();
        buf.lines().rotate(top, bottom, bottom + 1);
        buf.lines()[top].reset(t_.cols_, blank(), false);
        t_.updateRange(buf.scrollTop());
        t_.updateRange(buf.scrollBottom());
    } else if (buffer.y() > 0) {
        buffer.setY(buffer.y() - 1);
    }
}

void TerminalCommands::scroll(bool isWrapped)
{
    Buffer& buffer = b();
    buffer.scroll(isWrapped, t_.curAttr_.bg, t_.userScrolling_);
    const bool invariant = !buffer.hasScrollback();
    t_.updateRange(buffer.scrollTop(), !invariant);
    t_.updateRange(buffer.scrollBottom(), !invariant);
    if (t_.delegate_)
        t_.delegate_->scrolled(t_, buffer.yDisp());
}

void TerminalCommands::restrictCursor(bool clampX)
{
    Buffer& buffer = b();
    buffer.setX(std::min(buffer.x(), clampX ? t_.cols_ - 1 : t_.cols_));
    if (t_.modes_.originMode)
        buffer.setY(std::clamp(buffer.y(), buffer.scrollTop(), buffer.scrollBottom()));
    t_.updateRange(buffer.y());
}

void TerminalCommands::columnIndex(bool back)
{
    Buffer& buffer = b();
    if (back) {
        if (buffer.x() != buffer.marginLeft())
            cursorBackward(1);
        else
            columnScroll(true, buffer.x());
    } else if (buffer.x() != buffer.marginRight()) {
        if (buffer.x() < t_.cols_)
            cursorForward(1);
    } else {
        columnScroll(false, buffer.marginLeft());
    }
}

void TerminalCommands::columnScroll(bool back, int at)
{
    Buffer& buffer = b();
    if (buffer.y() < buffer.scrollTop() || buffer.y() > buffer.scrollBottom() || !isInsideMargins(buffer.x()))
        return;
    const int right = rightLimit();
    for (int y = buffer.scrollTop(); y <= buffer.scrollBottom(); ++y) {
        BufferLine& line = buffer.screenLine(y);
        if (back)
            line.insertCells(at, 1, right, Buffer::getNullCell());
        else
            line.deleteCells(at, 1, right, Buffer::getNullCell(fillAttribute(t_.curAttr_.bg)));
    }
    t_.updateRange(buffer.scrollTop());
    t_.updateRange(buffer.scrollBottom());
}

void TerminalCommands::setgLevel(int level)
{
    t_.charsets_.invoke(level);
}

} // namespace terminal
