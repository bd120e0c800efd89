#include "terminal/Color.h"

namespace terminal {

std::string Color::formatAsXcolor() const
{
    // Programs ask for colours many times a second; a format string costs more than the answer.
    static constexpr char digits[] = "0123456789abcdef";
    std::string text = "rgb:xxxx/xxxx/xxxx";
    const std::uint16_t channels[] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        for (int d = 0; d < 4; ++d)
            text[static_cast<std::size_t>(4 + c * 5 + d)] = digits[channels[c] >> (12 - 4 * d) & 0xF];
    }
    return text;
}

const std::vector<Color>& defaultInstalledColors()
{
    static const std::vector<Color> colors = {
        Color::from8bit(0, 0, 0),       Color::from8bit(153, 0, 1),     Color::from8bit(0, 166, 3),
        Color::from8bit(153, 153, 0),   Color::from8bit(3, 0, 178),     Color::from8bit(178, 0, 178),
        Color::from8bit(0, 165, 178),   Color::from8bit(191, 191, 191), Color::from8bit(138, 137, 138),
        Color::from8bit(229, 0, 1),     Color::from8bit(0, 216, 0),     Color::from8bit(229, 229, 0),
        Color::from8bit(7, 0, 254),     Color::from8bit(229, 0, 229),   Color::from8bit(0, 229, 229),
        Color::from8bit(229, 229, 229),
    };
    return colors;
}

std::vector<Color> makeAnsiPalette(const std::vector<Color>& installed)
{
    static constexpr std::uint8_t levels[] = {0, 95, 135, 175, 215, 255};
    std::vector<Color> palette = installed;
    palette.reserve(installed.size() + 240);
    for (int i = 0; i < 216; ++i)
        palette.push_back(Color::from8bit(levels[(i / 36) % 6], levels[(i / 6) % 6], levels[i % 6]));
    for (int grey = 8; grey <= 238; grey += 10)
        palette.push_back(Color::from8bit(grey, grey, grey));
    return palette;
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One to four hexadecimal digits scaled to 16 bits, as X11 does: the value × 0xFFFF over the
// largest value of that many digits.
std::optional<std::uint16_t> component(std::string_view digits)
{
    if (digits.empty() || digits.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        const int d = hexDigit(c);
        if (d < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(d);
    }
    const unsigned largest = (1u << (4 * digits.size())) - 1;
    return static_cast<std::uint16_t>((value * 0xFFFFull + largest / 2) / largest);
}

} // namespace

std::optional<Color> parseColor(std::string_view spec)
{
    std::string_view parts[3];
    if (spec.starts_with('#')) {
        spec.remove_prefix(1);
        if (spec.empty() || spec.size() % 3 != 0 || spec.size() > 12)
            return std::nullopt;
        const std::size_t n = spec.size() / 3;
        for (int i = 0; i < 3; ++i)
            parts[i] = spec.substr(i * n, n);
    } else if (spec.starts_with("rgb:")) {
        spec.remove_prefix(4);
        for (int i = 0; i < 3; ++i) {
            const std::size_t slash = spec.find('/');
            if ((i < 2) != (slash != std::string_view::npos))
                return std::nullopt;
            parts[i] = spec.substr(0, slash);
            spec = i < 2 ? spec.substr(slash + 1) : std::string_view{};
        }
    } else {
        return std::nullopt;
    }
    const auto r = component(parts[0]);
    const auto g = component(parts[1]);
    const auto b = component(parts[2]);
    if (!r || !g || !b)
        return std::nullopt;
    return Color{*r, *g, *b};
}

} // namespace terminal
