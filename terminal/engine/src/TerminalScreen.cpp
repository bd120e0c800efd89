// Screen-level commands: the scroll region, the cursor style, the soft and full resets, the
// conformance level, titles and the clipboard.
#include "TerminalCommands.h"

#include "terminal/UnicodeUtil.h"

#include <algorithm>

namespace terminal {

namespace {

// Standard Base64; nothing when the text is not valid Base64.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text)
{
    std::vector<std::uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=') {
            ++padding;
            continue;
        } else
            return std::nullopt;
        if (padding > 0)
            return std::nullopt;
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (count == 0 && padding > 0) || (count > 0 && padding > 0 && count + padding != 4))
        return std::nullopt;
    if (count == 2)
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

bool isValidUtf8(std::string_view text)
{
    std::string again;
    for (char32_t c : decodeUtf8(text))
        appendUtf8(again, c);
    return again == text;
}

} // namespace

void TerminalCommands::setScrollRegion(const SequenceParams& p)
{
    const int top = p[0] < 2 ? 0 : p[0] - 1;
    int bottom = t_.rows_;
    if (p.count() > 1 && p[1] != 0 && p[1] <= t_.rows_)
        bottom = p[1];
    if (top < bottom - 1) {
        b().setScrollBottom(bottom - 1);
        b().setScrollTop(top);
    }
    setCursor(0, 0);
}

void TerminalCommands::setCursorStyle(const SequenceParams& p)
{
    static constexpr CursorStyle styles[] = {CursorStyle::blinkBlock,      CursorStyle::blinkBlock, CursorStyle::steadyBlock,
                                             CursorStyle::blinkUnderline,  CursorStyle::steadyUnderline,
                                             CursorStyle::blinkBar,        CursorStyle::steadyBar};
    if (p[0] > 6)
        return;
    const CursorStyle style = styles[p[0]];
    if (style == t_.options_.cursorStyle)
        return;
    if (t_.delegate_)
        t_.delegate_->cursorStyleChanged(t_, style);
    t_.options_.cursorStyle = style;
}

void TerminalCommands::softReset()
{
    Terminal::Modes& m = t_.modes_;
    m.cursorHidden = false;
    m.originMode = false;
    m.insertMode = false;
    m.reverseWraparound = false;
    m.applicationKeypad = false;
    m.applicationCursor = false;
    m.wraparound = true;
    m.lineFeedMode = t_.options_.convertEol;
    for (Buffer* each : {t_.normal_.get(), t_.alt_.get()}) {
        each->insertMode = false;
        each->wraparound = true;
    }
    Buffer& buffer = b();
    buffer.setScrollTop(0);
    buffer.setScrollBottom(t_.rows_ - 1);
    t_.curAttr_ = CharData::Null.attribute;
    buffer.softReset();
    t_.charsets_ = {};
    t_.conformance_ = Terminal::Conformance::vt500;
    t_.resetAllColors();
    if (t_.delegate_)
        t_.delegate_->showCursor(t_);
}

void TerminalCommands::setConformance(const SequenceParams& p)
{
    using Conformance = Terminal::Conformance;
    switch (p[0]) {
    case 61:
        t_.conformance_ = Conformance::vt100;
        t_.cc_.send8bit = false;
        return;
    case 62:
        t_.conformance_ = Conformance::vt200;
        break;
    case 63:
        t_.conformance_ = Conformance::vt300;
        break;
    case 64:
        t_.conformance_ = Conformance::vt400;
        break;
    default:
        t_.conformance_ = Conformance::vt500;
        break;
    }
    if (p.count() > 1)
        t_.cc_.send8bit = p[1] == 0 || p[1] == 2;
}

void TerminalCommands::setTitleModes(const SequenceParams& p, bool set)
{
    Terminal::TitleModes& modes = t_.titleModes_;
    for (int i = 0; i < p.count(); ++i) {
        switch (p[i]) {
        case 0:
            modes.setHex = set;
            break;
        case 1:
            modes.queryHex = set;
            break;
        case 2:
            modes.setUtf = set;
            break;
        case 3:
            modes.queryUtf = set;
            break;
        default:
            break;
        }
    }
}

void TerminalCommands::setTitle(std::string_view payload, bool window, bool icon)
{
    const std::string title = isValidUtf8(payload) ? std::string(payload) : std::string();
    if (window) {
        t_.terminalTitle_ = title;
        if (t_.delegate_)
            t_.delegate_->setTerminalTitle(t_, title);
    }
    if (icon) {
        t_.iconTitle_ = title;
        if (t_.delegate_)
            t_.delegate_->setTerminalIconTitle(t_, title);
    }
}

void TerminalCommands::copyToClipboard(std::string_view payload)
{
    if (payload.size() < 2 || payload[0] != 'c' || payload[1] != ';')
        return;
    auto bytes = decodeBase64(payload.substr(2));
    if (!bytes) {
        log([] { return std::string("OSC 52 with invalid Base64 ignored"); });
        return;
    }
    if (t_.delegate_)
        t_.delegate_->clipboardCopy(t_, *bytes);
}

} // namespace terminal
