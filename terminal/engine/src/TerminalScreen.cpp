// Screen-level commands: the scroll region, the cursor style, the soft and full resets, the
// conformance level, titles and the clipboard.
#include "TerminalCommands.h"

#include "TextDecoding.h"

#include <algorithm>

namespace terminal {

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
    closeHyperlink();
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
    applyTitle(sanitizedTitle(payload), window, icon);
}

void TerminalCommands::applyTitle(const std::string& title, bool window, bool icon)
{
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
