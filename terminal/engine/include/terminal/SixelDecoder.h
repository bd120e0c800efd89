#pragma once

#include "terminal/Color.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace terminal {

// A decoded picture: RGBA, four bytes a pixel, row after row; pixels nothing drew are 0,0,0,0.
struct SixelImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

namespace sixel {
inline constexpr int maxWidth = 4096;
inline constexpr int maxHeight = 4096;
inline constexpr int registerCount = 1024;
} // namespace sixel

// Decodes the data of a sixel string (what follows "DCS ... q" up to the terminator). The size is
// measured from what the data draws (the last band counts without a terminator); a register
// the data never defines draws in `defaults` (the terminal's palette) when it has an entry there,
// else transparent. Numbers saturate, registers past the last are ignored, a "#" without a
// number ends the data, and a picture larger than maxWidth × maxHeight gives nothing.
std::optional<SixelImage> decodeSixel(std::string_view data, std::span<const Color> defaults);

} // namespace terminal
