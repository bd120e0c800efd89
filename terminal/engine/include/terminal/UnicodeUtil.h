#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace terminal {

// Cells a Unicode scalar takes on the screen: 0 for controls and for marks that join the cell
// before them, 1, or 2 for wide characters. This is the C library's wcwidth under C.UTF-8
// (generated table), except that controls (C0, DEL, C1) give 0 and the other scalars wcwidth
// calls unprintable (unassigned, surrogates, line and paragraph separators) give 1.
int columnWidth(std::uint32_t scalar);

// The class the generated table holds for a scalar: 0, 1, 2, or 3 for wcwidth's -1.
int widthClass(std::uint32_t scalar);

// UTF-8 lead bytes: the low four bits give a sequence's length, the high four bits which range
// the second byte must lie in (0: 80-BF, 1: A0-BF, 2: 80-9F, 3: 90-BF, 4: 80-8F); 0xF0 marks a
// byte that stands alone, 0xF1 one that cannot start a sequence.
inline constexpr std::array<std::uint8_t, 256> utf8LeadTable = [] {
    std::array<std::uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        if (b < 0x80)
            table[b] = 0xF0;
        else if (b < 0xC2 || b > 0xF4)
            table[b] = 0xF1;
        else if (b < 0xE0)
            table[b] = 0x02;
        else if (b == 0xE0)
            table[b] = 0x13;
        else if (b == 0xED)
            table[b] = 0x23;
        else if (b < 0xF0)
            table[b] = 0x03;
        else if (b == 0xF0)
            table[b] = 0x34;
        else if (b < 0xF4)
            table[b] = 0x04;
        else
            table[b] = 0x44;
    }
    return table;
}();

constexpr bool isValidScalar(std::uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

void appendUtf8(std::string& out, char32_t scalar);
// Decodes well-formed UTF-8; each maximal invalid subpart becomes one U+FFFD.
std::u32string decodeUtf8(std::string_view text);

} // namespace terminal
