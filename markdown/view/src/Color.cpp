#include "mdview/Color.h"

namespace mdview {

Color::Color(const richtext::Color& fixed) : m_fixed(fixed) {}

Color Color::rgba(std::uint32_t value)
{
    return Color(richtext::Color{((value >> 24) & 0xff) / 255.0, ((value >> 16) & 0xff) / 255.0,
                                 ((value >> 8) & 0xff) / 255.0, (value & 0xff) / 255.0});
}

Color Color::lightDark(std::function<Color()> light, std::function<Color()> dark)
{
    Color color;
    color.m_dynamic = std::make_shared<const std::function<richtext::Color(ColorScheme)>>(
        [light = std::move(light), dark = std::move(dark)](ColorScheme scheme) {
            return scheme == ColorScheme::light ? light().resolve(scheme) : dark().resolve(scheme);
        });
    return color;
}

Color Color::clear() { return Color(); }
Color Color::white() { return Color(richtext::Color{1, 1, 1, 1}); }
Color Color::black() { return Color(richtext::Color{0, 0, 0, 1}); }

Color Color::primary()
{
    static const Color color = lightDark([] { return Color::black(); }, [] { return Color::white(); });
    return color;
}

Color Color::secondary()
{
    static const Color color = lightDark([] { return Color(richtext::Color{0.235, 0.235, 0.263, 0.6}); },
                                         [] { return Color(richtext::Color{0.922, 0.922, 0.961, 0.6}); });
    return color;
}

Color Color::link()
{
    static const Color color = lightDark([] { return Color::rgba(0x0068daff); }, [] { return Color::rgba(0x419cffff); });
    return color;
}

richtext::Color Color::resolve(ColorScheme scheme) const
{
    return m_dynamic ? (*m_dynamic)(scheme) : m_fixed;
}

bool operator==(const Color& a, const Color& b)
{
    if (a.m_dynamic == b.m_dynamic && a.m_fixed == b.m_fixed)
        return true;
    return a.resolve(ColorScheme::light) == b.resolve(ColorScheme::light)
        && a.resolve(ColorScheme::dark) == b.resolve(ColorScheme::dark);
}

} // namespace mdview
