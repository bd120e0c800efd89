// Graphic rendition (SGR) and the palette (OSC 4).
#include "TerminalCommands.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace terminal {

namespace {

using Color256 = Attribute::Color;

std::uint8_t channel(int value)
{
    return static_cast<std::uint8_t>(std::min(value, 255));
}

// An extended colour written with colons, one group: 38:5:n, 38:2:r:g:b or 38:2:space:r:g:b.
std::optional<Color256> colonColor(const SequenceParams& p, int i, int length)
{
    if (length >= 3 && p[i + 1] == 5)
        return Color256::ansi256(channel(p[i + 2]));
    if (p[i + 1] == 2) {
        if (length >= 6)
            return Color256::trueColor(channel(p[i + 3]), channel(p[i + 4]), channel(p[i + 5]));
        if (length == 5)
            return Color256::trueColor(channel(p[i + 2]), channel(p[i + 3]), channel(p[i + 4]));
    }
    return std::nullopt;
}

// An extended colour written with semicolons after the 38, 48 or 58 at i: 5;n or 2;r;g;b.
// `next` is where reading goes on; a value that is not 5 or 2 is read again as a code.
std::optional<Color256> semicolonColor(const SequenceParams& p, int i, int& next)
{
    const int k = i + 1;
    next = k;
    if (k >= p.count())
        return std::nullopt;
    if (p[k] == 5) {
        next = k + 1;
        if (k + 1 >= p.count())
            return std::nullopt;
        next = k + 2;
        return Color256::ansi256(channel(p[k + 1]));
    }
    if (p[k] == 2) {
        next = k + 1;
        if (k + 3 >= p.count())
            return std::nullopt;
        next = k + 4;
        return Color256::trueColor(channel(p[k + 1]), channel(p[k + 2]), channel(p[k + 3]));
    }
    return std::nullopt;
}

} // namespace

void TerminalCommands::selectGraphicRendition(const SequenceParams& p)
{
    Attribute& a = t_.curAttr_;
    const auto unknown = [&](int code) {
        log([&] { return "Unknown SGR attribute: " + std::to_string(code) + " " + p.describe(); });
    };
    int i = 0;
    while (i < p.count()) {
        const int code = p[i];
        const int length = p.groupLength(i);
        if (length > 1) {
            // A group with sub-parameters is one attribute, read whole.
            if (code == 38 || code == 48 || code == 58) {
                const auto color = colonColor(p, i, length);
                if (color && code == 38)
                    a.fg = *color;
                else if (color && code == 48)
                    a.bg = *color;
            } else if (code == 4) {
                // Underline styles (4:3 is a curly one) are all drawn as an underline.
                if (p[i + 1] == 0)
                    a.style.remove(CharacterStyle::underline);
                else
                    a.style.insert(CharacterStyle::underline);
            } else {
                unknown(code);
            }
            i += length;
            continue;
        }
        int next = i + 1;
        switch (code) {
        case 0:
            a = CharData::Null.attribute;
            break;
        case 1:
            a.style.insert(CharacterStyle::bold);
            break;
        case 2:
            a.style.insert(CharacterStyle::dim);
            break;
        case 3:
            a.style.insert(CharacterStyle::italic);
            break;
        case 4:
            a.style.insert(CharacterStyle::underline);
            break;
        case 5:
            a.style.insert(CharacterStyle::blink);
            break;
        case 7:
            a.style.insert(CharacterStyle::inverse);
            break;
        case 8:
            a.style.insert(CharacterStyle::invisible);
            break;
        case 9:
            a.style.insert(CharacterStyle::crossedOut);
            break;
        case 21:
            break;
        case 22:
            a.style.remove(CharacterStyle::bold | CharacterStyle::dim);
            break;
        case 23:
            a.style.remove(CharacterStyle::italic);
            break;
        case 24:
            a.style.remove(CharacterStyle::underline);
            break;
        case 25:
            a.style.remove(CharacterStyle::blink);
            break;
        case 27:
            a.style.remove(CharacterStyle::inverse);
            break;
        case 28:
            a.style.remove(CharacterStyle::invisible);
            break;
        case 29:
            a.style.remove(CharacterStyle::crossedOut);
            break;
        case 38:
        case 48:
        case 58: {
            // The underline colour (58) is read to skip it; cells do not keep it.
            const auto color = semicolonColor(p, i, next);
            if (color && code == 38)
                a.fg = *color;
            else if (color && code == 48)
                a.bg = *color;
            break;
        }
        case 39:
            a.fg = Color256::defaultColor();
            break;
        case 49:
            a.bg = Color256::defaultColor();
            break;
        case 59:
            break;
        default:
            if (code >= 30 && code <= 37)
                a.fg = Color256::ansi256(static_cast<std::uint8_t>(code - 30));
            else if (code >= 40 && code <= 47)
                a.bg = Color256::ansi256(static_cast<std::uint8_t>(code - 40));
            else if (code >= 90 && code <= 97)
                a.fg = Color256::ansi256(static_cast<std::uint8_t>(code - 82));
            else if (code >= 100 && code <= 107)
                a.bg = Color256::ansi256(static_cast<std::uint8_t>(code - 92));
            else
                unknown(code);
            break;
        }
        i = next;
    }
}

void TerminalCommands::setPalette(std::string_view payload)
{
    while (!payload.empty()) {
        const auto semicolon = payload.find(';');
        if (semicolon == std::string_view::npos)
            return;
        int index = -1;
        const std::string_view indexText = payload.substr(0, semicolon);
        const auto [end, ec] = std::from_chars(indexText.data(), indexText.data() + indexText.size(), index);
        if (ec != std::errc() || end != indexText.data() + indexText.size() || index < 0 || index > 255)
            return;
        payload.remove_prefix(semicolon + 1);
        const auto specEnd = std::min(payload.find(';'), payload.size());
        const std::string_view spec = payload.substr(0, specEnd);
        payload.remove_prefix(std::min(specEnd + 1, payload.size()));
        if (spec == "?") {
            std::string reply(t_.cc_.osc());
            reply += "4;" + std::to_string(index) + ";" + t_.ansiColors_[static_cast<std::size_t>(index)].formatAsXcolor();
            reply += t_.cc_.st();
            t_.sendResponse(reply);
        } else if (const auto color = parseColor(spec)) {
            t_.ansiColors_[static_cast<std::size_t>(index)] = *color;
            if (t_.delegate_)
                t_.delegate_->colorChanged(t_, index);
        }
    }
}

} // namespace terminal
