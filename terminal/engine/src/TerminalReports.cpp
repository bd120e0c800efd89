// Answers to the program's questions: device attributes, status reports, mode reports, setting
// requests and the window operations with the title stacks. Every answer is framed by the
// terminal's 7- or 8-bit control choice and leaves in one send.
#include "TerminalCommands.h"

#include <algorithm>
#include <charconv>

namespace terminal {

namespace {

// Collects the request of a DECRQSS string (bounded by the parser) and answers it at the end.
class StatusRequestHandler final : public DcsHandler {
public:
    explicit StatusRequestHandler(TerminalCommands& commands) : commands_(commands) {}
    void hook(SequenceId, const SequenceParams&) override { request_.clear(); }
    void put(std::string_view data) override { request_ += data; }
    void unhook() override { commands_.requestStatusString(request_); }
    void cancel() override { request_.clear(); }

private:
    TerminalCommands& commands_;
    std::string request_;
};

} // namespace

std::unique_ptr<DcsHandler> makeStatusRequestHandler(TerminalCommands& commands)
{
    return std::make_unique<StatusRequestHandler>(commands);
}

void TerminalCommands::appendToReply(int number)
{
    char digits[16];
    reply_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

void TerminalCommands::deviceAttributes(const SequenceParams& p, bool secondary)
{
    if (p[0] > 0) {
        log([&] { return std::string(secondary ? "CSI > c" : "CSI c") + " with parameters " + p.describe() + " not answered"; });
        return;
    }
    if (secondary) {
        csiReply(">65;20;1c");
        return;
    }
    const std::string& name = t_.options_.termName;
    const auto startsWith = [&name](std::string_view prefix) { return name.compare(0, prefix.size(), prefix) == 0; };
    if (startsWith("xterm"))
        csiReply(t_.options_.enableSixelReported ? "?65;4;1;2;6;21;22;17;28c" : "?65;1;2;6;21;22;17;28c");
    else if (startsWith("screen") || startsWith("rxvt-unicode"))
        csiReply("?1;2c");
    else if (startsWith("linux"))
        csiReply("?6c");
}

// The cursor as a report counts it: 1-based, from the region's corner in origin mode, and on
// the last column while a wrap is pending.
std::pair<int, int> TerminalCommands::reportedCursor() const
{
    const Buffer& buffer = *t_.buffer_;
    const bool origin = t_.modes_.originMode;
    const int row = buffer.y() + 1 - (origin ? buffer.scrollTop() : 0);
    const int col = std::min(buffer.x(), t_.cols_ - 1) + 1 - (origin && t_.modes_.marginMode ? buffer.marginLeft() : 0);
    return {std::max(row, 1), std::max(col, 1)};
}

void TerminalCommands::deviceStatus(const SequenceParams& p, bool dec)
{
    const auto [row, col] = reportedCursor();
    if (!dec) {
        if (p[0] == 5)
            csiReply("0n");
        else if (p[0] == 6)
            csiReply(row, ';', col, 'R');
        return;
    }
    switch (p[0]) {
    case 6:
        csiReply('?', row, ';', col, ";1R");
        return;
    case 15:
        csiReply("?10n");
        return;
    case 25:
        csiReply("?21n");
        return;
    case 26:
        csiReply("?27;1;0;0n");
        return;
    case 55:
        csiReply("?53n");
        return;
    case 56:
        csiReply("?57;1n");
        return;
    case 62:
        csiReply("0*{");
        return;
    case 63:
        dcsReply(p[1], "!~0000");
        return;
    case 75:
        csiReply("?70n");
        return;
    case 85:
        csiReply("?83n");
        return;
    default:
        return;
    }
}

// DECRQM states: 0 not recognised, 1 set, 2 reset, 3 permanently set, 4 permanently reset.
int TerminalCommands::modeState(int mode, bool dec) const
{
    const Terminal::Modes& m = t_.modes_;
    const auto flag = [](bool on) { return on ? 1 : 2; };
    if (!dec) {
        if (mode < 1 || mode > 20)
            return 0;
        switch (mode) {
        case 2:
        case 3:
            return 2;
        case 4:
            return flag(m.insertMode);
        case 6:
        case 8:
        case 9:
            return 0;
        case 12:
            return 1;
        case 20:
            return flag(m.lineFeedMode);
        default:
            return 4;
        }
    }
    using Mouse = Terminal::MouseMode;
    using Encoding = Terminal::MouseProtocolEncoding;
    switch (mode) {
    case 1:
        return flag(m.applicationCursor);
    case 2:
    case 8:
    case 18:
    case 19:
    case 95:
        return 1;
    case 3:
        return flag(t_.cols_ == 132);
    case 4:
        return flag(m.smoothScroll);
    case 5:
        return flag(m.reverseVideo);
    case 6:
        return flag(m.originMode);
    case 7:
        return flag(m.wraparound);
    case 9:
        return flag(m.mouseMode == Mouse::x10);
    case 10:
    case 42:
    case 44:
    case 46:
    case 67:
    case 80:
    case 1034:
        return 4;
    case 12:
        return flag(m.cursorBlink);
    case 13:
    case 14:
    case 30:
    case 41:
    case 1001:
        return 2;
    case 25:
        return flag(!m.cursorHidden);
    case 40:
        return flag(m.allow80To132);
    case 45:
        return flag(m.reverseWraparound);
    case 47:
    case 1047:
    case 1049:
        return flag(t_.isCurrentBufferAlternate());
    case 66:
        return flag(m.applicationKeypad);
    case 69:
        return flag(m.marginMode);
    case 1000:
        return flag(m.mouseMode == Mouse::vt200);
    case 1002:
        return flag(m.mouseMode == Mouse::buttonEventTracking);
    case 1003:
        return flag(m.mouseMode == Mouse::anyEvent);
    case 1004:
        return flag(m.sendFocus);
    case 1005:
        return flag(m.mouseProtocol == Encoding::utf8);
    case 1006:
        return flag(m.mouseProtocol == Encoding::sgr);
    case 1015:
        return flag(m.mouseProtocol == Encoding::urxvt);
    case 1016:
        return flag(m.mouseProtocol == Encoding::sgrPixel);
    case 2004:
        return flag(m.bracketedPasteMode);
    default:
        return 0;
    }
}

void TerminalCommands::requestMode(const SequenceParams& p, bool dec)
{
    csiReply(dec ? "?" : "", p[0], ';', modeState(p[0], dec), "$y");
}

// DECRQSS: only the exact requests below are answered with their setting; anything else gets
// the "invalid" form, never a reply holding the request's own text.
void TerminalCommands::requestStatusString(std::string_view request)
{
    const Buffer& buffer = *t_.buffer_;
    if (request == "\"q") {
        dcsReply("1$r0\"q");
    } else if (request == "\"p") {
        const int level = static_cast<int>(t_.conformance_) + 1;
        dcsReply("1$r", 60 + level, level == 1 ? "" : t_.cc_.send8bit ? ";0" : ";1", "\"p");
    } else if (request == "r") {
        dcsReply("1$r", buffer.scrollTop() + 1, ';', buffer.scrollBottom() + 1, 'r');
    } else if (request == "m") {
        dcsReply("1$r", t_.curAttr_.toSgr());
    } else if (request == "s") {
        dcsReply("1$r", buffer.marginLeft() + 1, ';', buffer.marginRight() + 1, 's');
    } else if (request == " q") {
        dcsReply("1$r", static_cast<int>(t_.options_.cursorStyle) + 1, " q");
    } else {
        log([&] { return "Unknown DECRQSS request of " + std::to_string(request.size()) + " bytes"; });
        dcsReply("0$r");
    }
}

void TerminalCommands::windowOptions(const SequenceParams& p)
{
    TerminalDelegate* host = t_.delegate_;
    if (!host)
        return;
    using Kind = WindowManipulationCommand::Kind;
    const auto ask = [&](Kind kind, int first = 0, int second = 0) { return host->windowCommand(t_, {kind, first, second}); };
    // A report the host gives, else the terminal's own: CSI code ; a ; b t.
    const auto report = [&](Kind kind, int code, int a, int b) {
        if (auto bytes = ask(kind))
            t_.sendResponse(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        else
            csiReply(code, ';', a, ';', b, 't');
    };
    const int count = p.count();
    const int which = count > 1 ? p[1] : 0;
    const auto unhandled = [&] { log([&] { return "Unhandled window operation: " + p.describe(); }); };
    switch (p[0]) {
    case 1:
        ask(Kind::deiconifyWindow);
        return;
    case 2:
        ask(Kind::iconifyWindow);
        return;
    case 3:
        if (count == 3)
            ask(Kind::moveWindowTo, p[1], p[2]);
        return;
    case 4:
        // Height, then width, in pixels.
        if (count == 3)
            ask(Kind::resizeWindowTo, p[2], p[1]);
        return;
    case 5:
        ask(Kind::bringToFront);
        return;
    case 6:
        ask(Kind::sendToBack);
        return;
    case 7:
        ask(Kind::refreshWindow);
        return;
    case 8:
        // Rows, then columns.
        if (count == 3)
            ask(Kind::resizeTo, p[2], p[1]);
        return;
    case 9: {
        static constexpr Kind kinds[] = {Kind::restoreMaximizedWindow, Kind::maximizeWindow, Kind::maximizeWindowVertically,
                                         Kind::maximizeWindowHorizontally};
        if (which >= 0 && which <= 3)
            ask(kinds[which]);
        else
            unhandled();
        return;
    }
    case 10: {
        static constexpr Kind kinds[] = {Kind::undoFullScreen, Kind::switchToFullScreen, Kind::toggleFullScreen};
        if (which >= 0 && which <= 2)
            ask(kinds[which]);
        else
            unhandled();
        return;
    }
    case 15:
        report(Kind::reportSizeOfScreenInPixels, 5, 768, 1024);
        return;
    case 16:
        report(Kind::reportCellSizeInPixels, 6, 16, 10);
        return;
    case 18:
        report(Kind::reportTextAreaCharacters, 8, t_.rows_, t_.cols_);
        return;
    case 19:
        report(Kind::reportScreenSizeCharacters, 9, t_.rows_, t_.cols_);
        return;
    case 20:
    case 21:
        // The titles are text the program itself put there: reports of them stay empty.
        oscReply(p[0] == 20 ? 'L' : 'l');
        return;
    case 22:
    case 23:
        if (which < 0 || which > 2) {
            unhandled();
            return;
        }
        if (which != 2)
            p[0] == 22 ? pushTitle(t_.iconTitleStack_, t_.iconTitle_) : popTitle(t_.iconTitleStack_, false);
        if (which != 1)
            p[0] == 22 ? pushTitle(t_.titleStack_, t_.terminalTitle_) : popTitle(t_.titleStack_, true);
        return;
    default:
        unhandled();
        return;
    }
}

void TerminalCommands::pushTitle(std::vector<std::string>& stack, const std::string& title)
{
    if (stack.size() == Terminal::maxTitleStack)
        stack.erase(stack.begin());
    stack.push_back(title);
}

void TerminalCommands::popTitle(std::vector<std::string>& stack, bool window)
{
    if (stack.empty())
        return;
    const std::string title = std::move(stack.back());
    stack.pop_back();
    applyTitle(title, window, !window);
}

} // namespace terminal
