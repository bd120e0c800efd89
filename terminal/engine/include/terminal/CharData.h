#pragma once

#include <cstdint>
#include <string>

namespace terminal {

// The style bits of a cell.
class CharacterStyle {
public:
    static const CharacterStyle none, bold, underline, blink, inverse, invisible, dim, italic, crossedOut;

    constexpr CharacterStyle() = default;
    constexpr explicit CharacterStyle(std::uint8_t raw) : rawValue(raw) {}

    constexpr bool contains(CharacterStyle other) const { return (rawValue & other.rawValue) == other.rawValue; }
    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr void insert(CharacterStyle other) { rawValue |= other.rawValue; }
    constexpr void remove(CharacterStyle other) { rawValue &= static_cast<std::uint8_t>(~other.rawValue); }

    friend constexpr CharacterStyle operator|(CharacterStyle a, CharacterStyle b) { return CharacterStyle(a.rawValue | b.rawValue); }
    friend constexpr CharacterStyle operator&(CharacterStyle a, CharacterStyle b) { return CharacterStyle(a.rawValue & b.rawValue); }
    friend constexpr bool operator==(CharacterStyle, CharacterStyle) = default;

    std::uint8_t rawValue = 0;
};

inline constexpr CharacterStyle CharacterStyle::none{0x00};
inline constexpr CharacterStyle CharacterStyle::bold{0x01};
inline constexpr CharacterStyle CharacterStyle::underline{0x02};
inline constexpr CharacterStyle CharacterStyle::blink{0x04};
inline constexpr CharacterStyle CharacterStyle::inverse{0x08};
inline constexpr CharacterStyle CharacterStyle::invisible{0x10};
inline constexpr CharacterStyle CharacterStyle::dim{0x20};
inline constexpr CharacterStyle CharacterStyle::italic{0x40};
inline constexpr CharacterStyle CharacterStyle::crossedOut{0x80};

// The colours and style of a cell. Four bytes a colour, so a cell stays small.
struct Attribute {
    struct Color {
        enum class Kind : std::uint8_t { ansi256, trueColor, defaultColor, defaultInvertedColor };

        Kind kind = Kind::defaultColor;
        std::uint8_t red = 0; // the palette index for ansi256
        std::uint8_t green = 0;
        std::uint8_t blue = 0;

        static constexpr Color ansi256(std::uint8_t code) { return {Kind::ansi256, code, 0, 0}; }
        static constexpr Color trueColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {Kind::trueColor, r, g, b}; }
        static constexpr Color defaultColor() { return {Kind::defaultColor, 0, 0, 0}; }
        static constexpr Color defaultInvertedColor() { return {Kind::defaultInvertedColor, 0, 0, 0}; }

        constexpr std::uint8_t code() const { return red; }
        friend constexpr bool operator==(Color, Color) = default;
    };

    Color fg;
    Color bg;
    CharacterStyle style;

    // Foreground default, background the default of the opposite role.
    static const Attribute empty;

    friend constexpr bool operator==(const Attribute&, const Attribute&) = default;

    // The attribute as the parameters of an SGR sequence, ending in "m": every style bit and both
    // colours, palette and true colour alike ("0;1;38;2;255;0;0m").
    std::string toSgr() const;
};

inline constexpr Attribute Attribute::empty{Color::defaultColor(), Color::defaultInvertedColor(), CharacterStyle::none};

// A small handle to a payload kept in the terminal's tables (a hyperlink target). 0 is none.
struct TinyAtom {
    std::uint16_t code = 0;
    friend constexpr bool operator==(TinyAtom, TinyAtom) = default;
};

// One cell. `code` is a Unicode scalar (astral ones too), 0 for a cell never written, or a
// cluster code (firstClusterCode and up) for a grapheme of several scalars, decoded by the
// terminal's CellTables. `width` is 1, or 2 for a wide character; the cell after a wide
// character is its spacer: code 0, width 0.
struct CharData {
    static constexpr std::int32_t firstClusterCode = 0x400001;

    std::int32_t code = 0;
    std::int8_t width = 1;
    std::uint8_t unused = 0;
    TinyAtom payload;
    Attribute attribute{Attribute::Color::defaultColor(), Attribute::Color::defaultColor(), CharacterStyle::none};

    // The never-written cell: code 0, width 1, default colours. A cell has content when it
    // differs from this in code or attribute.
    static const CharData Null;

    constexpr bool isSimpleRune() const { return code < 0x400000; }
    constexpr bool hasPayload() const { return payload.code != 0; }
    constexpr bool isSpacer() const { return width == 0; }
    constexpr bool isWide() const { return width == 2; }

    // A cell for the buffer's own fills, with the given attribute.
    static constexpr CharData blank(const Attribute& attribute) { return {0, 1, 0, {}, attribute}; }
    static constexpr CharData spacer(const Attribute& attribute) { return {0, 0, 0, {}, attribute}; }

    // "CharData: ", the code in decimal, a blank and the character, or "?" when the code is no
    // scalar (a cluster code is not looked up).
    std::string debugDescription() const;

    friend constexpr bool operator==(const CharData&, const CharData&) = default;
};

inline constexpr CharData CharData::Null{};

// Rows are flat arrays of cells: 10,000 rows of 200 columns stay near 40 MB.
static_assert(sizeof(CharData) <= 20, "a cell must stay compact");

// The attribute the buffer gives to cells it fills itself: the default foreground, the given
// background (the terminal's current one) and no style.
constexpr Attribute fillAttribute(Attribute::Color background)
{
    return {Attribute::Color::defaultColor(), background, CharacterStyle::none};
}

} // namespace terminal
