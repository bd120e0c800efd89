#include "terminal/UnicodeUtil.h"

namespace terminal {

namespace {
#include "WidthTable.inc"
} // namespace

int widthClass(std::uint32_t scalar)
{
    if (scalar > 0x10FFFF)
        return 3;
    const unsigned char packed = widthBlocks[widthBlockOf[scalar >> 8]][(scalar & 0xFF) >> 2];
    return (packed >> (2 * (scalar & 3))) & 3;
}

int columnWidth(std::uint32_t scalar)
{
    // Printable ASCII and the controls are decided before the table.
    if (scalar < 0x20)
        return 0;
    if (scalar < 0x7F)
        return 1;
    if (scalar < 0xA0)
        return 0;
    const int width = widthClass(scalar);
    return width == 3 ? 1 : width;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (!isValidScalar(c))
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u32string decodeUtf8(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::uint8_t entry = utf8LeadTable[lead];
        if (entry == 0xF0) {
            out += lead;
            ++i;
            continue;
        }
        if (entry == 0xF1) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        const int length = entry & 0x0F;
        static constexpr unsigned char secondLow[] = {0x80, 0xA0, 0x80, 0x90, 0x80};
        static constexpr unsigned char secondHigh[] = {0xBF, 0xBF, 0x9F, 0xBF, 0x8F};
        char32_t c = lead & (0xFF >> (length + 1));
        std::size_t j = i + 1;
        for (int k = 1; k < length; ++k, ++j) {
            if (j >= text.size())
                break;
            const auto b = static_cast<unsigned char>(text[j]);
            const bool ok = k == 1 ? (b >= secondLow[entry >> 4] && b <= secondHigh[entry >> 4]) : (b >= 0x80 && b <= 0xBF);
            if (!ok)
                break;
            c = (c << 6) | (b & 0x3F);
        }
        if (j - i == static_cast<std::size_t>(length)) {
            out += c;
        } else {
            // The maximal invalid subpart: the bytes read so far, as one replacement.
            out += U'\uFFFD';
        }
        i = j;
    }
    return out;
}

} // namespace terminal
