#include "terminal/TerminalOptions.h"

#include <algorithm>

namespace terminal {

std::optional<CursorStyle> cursorStyleFrom(std::string_view name)
{
    static constexpr struct {
        std::string_view name;
        CursorStyle style;
    } styles[] = {
        {"blinkBlock", CursorStyle::blinkBlock},   {"steadyBlock", CursorStyle::steadyBlock},
        {"blinkUnderline", CursorStyle::blinkUnderline}, {"steadyUnderline", CursorStyle::steadyUnderline},
        {"blinkBar", CursorStyle::blinkBar},       {"steadyBar", CursorStyle::steadyBar},
    };
    for (const auto& entry : styles) {
        if (entry.name == name)
            return entry.style;
    }
    return std::nullopt;
}

const TerminalOptions& TerminalOptions::defaultOptions()
{
    static const TerminalOptions options;
    return options;
}

TerminalOptions TerminalOptions::clamped() const
{
    TerminalOptions copy = *this;
    copy.cols = std::clamp(cols, limits::minCols, limits::maxCols);
    copy.rows = std::clamp(rows, limits::minRows, limits::maxRows);
    copy.scrollback = std::clamp(scrollback, 0, limits::maxScrollback);
    copy.tabStopWidth = std::clamp(tabStopWidth, 0, limits::maxCols);
    return copy;
}

} // namespace terminal
