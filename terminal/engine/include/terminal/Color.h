#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

// A colour of the terminal's tables, each channel on the 16-bit X11 scale (8-bit v is v × 257).
struct Color {
    std::uint16_t red = 0;
    std::uint16_t green = 0;
    std::uint16_t blue = 0;

    static constexpr Color from8bit(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        return {static_cast<std::uint16_t>(r * 257), static_cast<std::uint16_t>(g * 257), static_cast<std::uint16_t>(b * 257)};
    }
    // "rgb:rrrr/gggg/bbbb" in lower-case hexadecimal, as colour queries are answered.
    std::string formatAsXcolor() const;

    friend constexpr bool operator==(Color, Color) = default;
};

// The 16 colours a terminal starts with, and its default foreground and background.
const std::vector<Color>& defaultInstalledColors();
constexpr Color defaultForegroundColor() { return {0x8A3D, 0x8A3D, 0x8A3D}; }
constexpr Color defaultBackgroundColor() { return {0, 0, 0}; }

// The installed colours followed by the 6×6×6 cube and the 24 greys (256 for 16 colours).
std::vector<Color> makeAnsiPalette(const std::vector<Color>& installed);

// An X11 colour in one of the forms "#rgb", "#rrggbb", "#rrrgggbbb", "#rrrrggggbbbb" or
// "rgb:r/g/b" with one to four hexadecimal digits a component, each scaled to 16 bits on its
// own (f gives ffff, abc gives abca). Anything else gives nothing.
std::optional<Color> parseColor(std::string_view spec);

} // namespace terminal
