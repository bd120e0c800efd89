// SM and RM (ANSI modes) and DECSET and DECRST (DEC private modes).
#include "TerminalCommands.h"

namespace terminal {

namespace {

void copyToBuffers(Terminal::Modes& modes, Buffer& normal, Buffer& alt)
{
    for (Buffer* b : {&normal, &alt}) {
        b->insertMode = modes.insertMode;
        b->marginMode = modes.marginMode;
        b->wraparound = modes.wraparound;
    }
}

} // namespace

void TerminalCommands::setModes(const SequenceParams& p, bool set, bool dec)
{
    for (int i = 0; i < p.count(); ++i) {
        if (dec)
            setDecMode(p[i], set);
        else
            setMode(p[i], set);
    }
}

void TerminalCommands::setMode(int mode, bool set)
{
    Terminal::Modes& m = t_.modes_;
    switch (mode) {
    case 2:
        return;
    case 4:
        m.insertMode = set;
        copyToBuffers(m, *t_.normal_, *t_.alt_);
        return;
    case 20:
        m.lineFeedMode = set;
        return;
    default:
        if (set)
            log([&] { return "Unhandled mode (SM) " + std::to_string(mode); });
        return;
    }
}

void TerminalCommands::setDecMode(int mode, bool set)
{
    Terminal::Modes& m = t_.modes_;
    auto setMouse = [&](Terminal::MouseMode mouse) {
        m.mouseMode = set ? mouse : Terminal::MouseMode::off;
        if (t_.delegate_)
            t_.delegate_->mouseModeChanged(t_);
    };
    auto setProtocol = [&](Terminal::MouseProtocolEncoding protocol) {
        if (set) {
            m.mouseProtocol = protocol;
            return;
        }
        m.mouseProtocol = Terminal::MouseProtocolEncoding::x10;
        setMouse(Terminal::MouseMode::off);
    };
    auto unhandled = [&] {
        log([&] { return std::string(set ? "Unhandled DEC private mode set (DECSET) " : "Unhandled DEC private mode reset (DECRST) ")
                      + std::to_string(mode); });
    };
    switch (mode) {
    case 1:
        m.applicationCursor = set;
        return;
    case 2:
        // DECANM: back to the ANSI character sets.
        if (set)
            t_.charsets_.g = {};
        else
            unhandled();
        return;
    case 3:
        if (m.allow80To132)
            columnModeSwitch();
        return;
    case 4:
        m.smoothScroll = set;
        return;
    case 5:
        if (m.reverseVideo != set) {
            m.reverseVideo = set;
            t_.updateFullScreen();
        }
        return;
    case 6:
        m.originMode = set;
        setCursor(0, 0);
        return;
    case 7:
        m.wraparound = set;
        copyToBuffers(m, *t_.normal_, *t_.alt_);
        return;
    case 9:
        setMouse(Terminal::MouseMode::x10);
        return;
    case 12:
        m.cursorBlink = set;
        return;
    case 25:
        if (set && m.cursorHidden) {
            m.cursorHidden = false;
            if (t_.delegate_)
                t_.delegate_->showCursor(t_);
        } else if (!set && !m.cursorHidden) {
            m.cursorHidden = true;
            if (t_.delegate_)
                t_.delegate_->hideCursor(t_);
        }
        return;
    case 40:
        m.allow80To132 = set;
        return;
    case 41:
        if (set)
            unhandled();
        return;
    case 45:
        m.reverseWraparound = set && m.wraparound;
        return;
    case 47:
        if (set)
            switchToAltScreen();
        else
            switchToNormalScreen(false);
        return;
    case 63:
        if (!set)
            unhandled();
        return;
    case 66:
        m.applicationKeypad = set;
        return;
    case 69:
        m.marginMode = set;
        copyToBuffers(m, *t_.normal_, *t_.alt_);
        if (!set) {
            b().setMarginLeft(0);
            b().setMarginRight(t_.cols_ - 1);
        }
        return;
    case 95:
    case 1034:
        return;
    case 1000:
        setMouse(Terminal::MouseMode::vt200);
        return;
    case 1002:
        setMouse(Terminal::MouseMode::buttonEventTracking);
        return;
    case 1003:
        setMouse(Terminal::MouseMode::anyEvent);
        return;
    case 1004:
        m.sendFocus = set;
        return;
    case 1005:
        setProtocol(Terminal::MouseProtocolEncoding::utf8);
        return;
    case 1006:
        setProtocol(Terminal::MouseProtocolEncoding::sgr);
        return;
    case 1015:
        setProtocol(Terminal::MouseProtocolEncoding::urxvt);
        return;
    case 1016:
        setProtocol(Terminal::MouseProtocolEncoding::sgrPixel);
        return;
    case 1047:
        if (set)
            switchToAltScreen();
        else
            switchToNormalScreen(true);
        return;
    case 1048:
        if (set)
            saveCursor();
        else
            restoreCursor();
        return;
    case 1049:
        if (set) {
            saveCursor();
            // Entered afresh every time, whatever an earlier mode 47 left there.
            if (!t_.isCurrentBufferAlternate())
                t_.alt_->clear();
            switchToAltScreen();
        } else {
            switchToNormalScreen(true);
            restoreCursor();
        }
        return;
    case 2004:
        m.bracketedPasteMode = set;
        return;
    default:
        unhandled();
        return;
    }
}

void TerminalCommands::switchToAltScreen()
{
    if (t_.isCurrentBufferAlternate())
        return;
    t_.activateAltBuffer();
    t_.updateFullScreen();
    if (t_.delegate_)
        t_.delegate_->bufferActivated(t_);
}

void TerminalCommands::switchToNormalScreen(bool clearAlt)
{
    if (!t_.isCurrentBufferAlternate())
        return;
    t_.activateNormalBuffer(clearAlt);
    t_.updateFullScreen();
    // A program that left its screen with the cursor hidden gets it back.
    if (t_.modes_.cursorHidden) {
        t_.modes_.cursorHidden = false;
        if (t_.delegate_)
            t_.delegate_->showCursor(t_);
    }
    if (t_.delegate_)
        t_.delegate_->bufferActivated(t_);
}

// DECCOLM: the screen is cleared and the cursor homed. The size stays: it belongs to the host.
void TerminalCommands::columnModeSwitch()
{
    Buffer& buffer = b();
    resetBufferLines(0, t_.rows_);
    buffer.setScrollTop(0);
    buffer.setScrollBottom(t_.rows_ - 1);
    buffer.setMarginLeft(0);
    buffer.setMarginRight(t_.cols_ - 1);
    setCursor(0, 0);
}

} // namespace terminal
