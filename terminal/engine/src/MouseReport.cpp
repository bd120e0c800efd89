// Mouse reports: which events each tracking mode reports, and their bytes in each encoding.
#include "terminal/Terminal.h"

#include <algorithm>
#include <charconv>

namespace terminal {

namespace {

constexpr int shiftBit = 4;
constexpr int metaBit = 8;
constexpr int controlBit = 16;
constexpr int motionBit = 32;
// What the encodings without a release form send for any release: "no button".
constexpr int releaseCode = 3;

void appendNumber(std::string& out, int value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// The UTF-8 form of the legacy encoding: one or two bytes a value; false for values that
// two bytes cannot hold.
bool appendUtf8Value(std::string& out, int value)
{
    if (value < 0x80) {
        out += static_cast<char>(value);
        return true;
    }
    if (value > 0x7FF)
        return false;
    out += static_cast<char>(0xC0 | value >> 6);
    out += static_cast<char>(0x80 | (value & 0x3F));
    return true;
}

// Appends the report of button flags `flags` at cell (x, y), 0-based; false (and nothing
// meaningful in `out`) when the encoding cannot carry the values.
bool appendReport(std::string& out, Terminal::MouseProtocolEncoding encoding, const CC& cc, int flags, bool release, int x, int y,
                  int pixelX, int pixelY)
{
    using Encoding = Terminal::MouseProtocolEncoding;
    out += cc.csi();
    // Without a release form, a release names no button, only the modifiers and motion.
    const int legacy = release ? (flags & ~3 & ~(64 | 128)) | releaseCode : flags;
    switch (encoding) {
    case Encoding::x10: {
        const int values[] = {legacy + 32, x + 33, y + 33};
        out += 'M';
        for (int v : values) {
            if (v > 0xFF)
                return false;
            out += static_cast<char>(v);
        }
        return true;
    }
    case Encoding::utf8:
        out += 'M';
        return appendUtf8Value(out, legacy + 32) && appendUtf8Value(out, x + 33) && appendUtf8Value(out, y + 33);
    case Encoding::urxvt:
        appendNumber(out, legacy + 32);
        out += ';';
        appendNumber(out, x + 1);
        out += ';';
        appendNumber(out, y + 1);
        out += 'M';
        return true;
    case Encoding::sgr:
    case Encoding::sgrPixel: {
        const bool pixels = encoding == Encoding::sgrPixel;
        out += '<';
        appendNumber(out, flags);
        out += ';';
        appendNumber(out, pixels ? pixelX : x + 1);
        out += ';';
        appendNumber(out, pixels ? pixelY : y + 1);
        out += release ? 'm' : 'M';
        return true;
    }
    }
    return false;
}

} // namespace

bool Terminal::sendMouseEvent(const MouseEvent& event)
{
    using Action = MouseEvent::Action;
    const MouseMode mode = modes_.mouseMode;
    if (mode == MouseMode::off)
        return false;
    // A wheel step is a press; there is nothing to release.
    if (event.action == Action::release && isWheel(event.button))
        return false;
    MouseButton button = event.button;
    switch (event.action) {
    case Action::press:
        if (button == MouseButton::none)
            return false;
        break;
    case Action::release:
        if (mode == MouseMode::x10 || button == MouseButton::none)
            return false;
        break;
    case Action::motion:
        if (isWheel(button))
            button = MouseButton::none;
        if (mode == MouseMode::x10 || mode == MouseMode::vt200)
            return false;
        if (button == MouseButton::none && !sendMotionEvent(mode))
            return false;
        break;
    }
    int flags = static_cast<int>(button);
    if (sendsModifiers(mode))
        flags |= (event.shift ? shiftBit : 0) | (event.meta ? metaBit : 0) | (event.control ? controlBit : 0);
    if (event.action == Action::motion)
        flags |= motionBit;
    const int x = std::clamp(event.col, 0, cols_ - 1);
    const int y = std::clamp(event.row, 0, rows_ - 1);
    std::string report;
    if (!appendReport(report, modes_.mouseProtocol, cc_, flags, event.action == Action::release, x, y, std::max(event.pixelX, 0),
                      std::max(event.pixelY, 0)))
        return false;
    sendResponse(report);
    return delegate_ != nullptr;
}

} // namespace terminal
