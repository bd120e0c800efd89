#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace terminal {

enum class CursorStyle { blinkBlock, steadyBlock, blinkUnderline, steadyUnderline, blinkBar, steadyBar };

// The style of that exact name ("steadyBar"), or nothing.
std::optional<CursorStyle> cursorStyleFrom(std::string_view name);

// The bounds every size from outside is clamped to. A screen row is a flat array of cells, so
// the largest screen stays near 40 MB a buffer.
namespace limits {
inline constexpr int minCols = 2;
inline constexpr int maxCols = 2048;
inline constexpr int minRows = 1;
inline constexpr int maxRows = 1024;
inline constexpr int maxScrollback = 100'000;
} // namespace limits

// What a host chooses when it creates a terminal.
struct TerminalOptions {
    int cols = 80;
    int rows = 25;
    bool convertEol = false;
    std::string termName = "xterm-256color";
    CursorStyle cursorStyle = CursorStyle::blinkBlock;
    bool screenReaderMode = false;
    int scrollback = 500;
    int tabStopWidth = 8;
    bool enableSixelReported = true;
    // Whether a program may read a checksum of the screen's characters (DECRQCRA); off, the
    // answer is always 0000, so output can never learn what is on the screen.
    bool reportChecksums = false;

    static const TerminalOptions& defaultOptions();
    // A copy with sizes, scroll-back and tab width inside the limits.
    TerminalOptions clamped() const;

    friend bool operator==(const TerminalOptions&, const TerminalOptions&) = default;
};

} // namespace terminal
