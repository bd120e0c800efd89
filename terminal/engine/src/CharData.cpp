#include "terminal/CharData.h"

#include "terminal/UnicodeUtil.h"

namespace terminal {

namespace {

// Appends the SGR parameters of a colour: `base` + code for the eight normal colours,
// `brightBase` + code - 8 for the bright ones, `extended`;5;n for the rest of the palette and
// `extended`;2;r;g;b for true colour.
void appendColor(std::string& out, Attribute::Color color, int base, int brightBase, int extended)
{
    using Kind = Attribute::Color::Kind;
    switch (color.kind) {
    case Kind::ansi256:
        if (color.code() < 8)
            out += ';' + std::to_string(base + color.code());
        else if (color.code() < 16)
            out += ';' + std::to_string(brightBase + color.code() - 8);
        else
            out += ';' + std::to_string(extended) + ";5;" + std::to_string(color.code());
        return;
    case Kind::trueColor:
        out += ';' + std::to_string(extended) + ";2;" + std::to_string(color.red) + ';' + std::to_string(color.green) + ';'
            + std::to_string(color.blue);
        return;
    case Kind::defaultColor:
    case Kind::defaultInvertedColor:
        return;
    }
}

} // namespace

std::string Attribute::toSgr() const
{
    std::string out = "0";
    const struct {
        CharacterStyle bit;
        const char* parameter;
    } styles[] = {
        {CharacterStyle::bold, ";1"},      {CharacterStyle::dim, ";2"},     {CharacterStyle::italic, ";3"},
        {CharacterStyle::underline, ";4"}, {CharacterStyle::blink, ";5"},   {CharacterStyle::inverse, ";7"},
        {CharacterStyle::invisible, ";8"}, {CharacterStyle::crossedOut, ";9"},
    };
    for (const auto& [bit, parameter] : styles) {
        if (style.contains(bit))
            out += parameter;
    }
    appendColor(out, fg, 30, 90, 38);
    appendColor(out, bg, 40, 100, 48);
    out += 'm';
    return out;
}

std::string CharData::debugDescription() const
{
    std::string out = "CharData: " + std::to_string(code) + ' ';
    if (code >= 0 && isValidScalar(static_cast<std::uint32_t>(code)))
        appendUtf8(out, static_cast<char32_t>(code));
    else
        out += '?';
    return out;
}

} // namespace terminal
