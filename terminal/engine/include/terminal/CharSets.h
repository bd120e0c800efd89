#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace terminal {

// A character set: what each byte 0x00-0x7F prints as; 0 leaves the byte unchanged.
using CharsetTable = std::array<char32_t, 0x80>;

// The designators a set can be chosen by (ESC ( 0 and so on): DEC Special Graphics, the
// national replacement sets and US ASCII.
inline constexpr std::string_view charsetDesignators = "02AB45CRQKY6EZ7H=";
// The table of a designator; none for US ASCII ("B") and unknown designators.
const CharsetTable* charsetFor(char designator);

// One terminal's character-set state: the sets designated into G0-G3 and the one invoked into
// use. Each terminal has its own; a reset clears it.
struct CharSets {
    std::array<const CharsetTable*, 4> g{};
    std::uint8_t gLevel = 0;

    // The slot an intermediate designates into: ( 0, ) and - 1, * and . 2, + and / 3; -1 for
    // anything else.
    static int slotOf(char intermediate);

    void designate(int slot, const CharsetTable* table)
    {
        if (slot >= 0 && slot < 4)
            g[static_cast<std::size_t>(slot)] = table;
    }
    void invoke(int level)
    {
        if (level >= 0 && level < 4)
            gLevel = static_cast<std::uint8_t>(level);
    }
    const CharsetTable* active() const { return g[gLevel]; }
    char32_t map(char32_t c) const
    {
        const CharsetTable* table = active();
        if (table && c < 0x80 && (*table)[c] != 0)
            return (*table)[c];
        return c;
    }

    friend bool operator==(const CharSets&, const CharSets&) = default;
};

} // namespace terminal
