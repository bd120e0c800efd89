#pragma once

#include "richtext/AttributedText.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace mdview {

enum class ColorScheme { light, dark };

// A colour of the rendering layer. Either a fixed sRGB value or a pair that is chosen by the
// colour scheme each time it is resolved, so one built tree follows light and dark mode.
class Color {
public:
    Color() = default; // clear
    Color(const richtext::Color& fixed); // NOLINT: a fixed colour is a colour

    // 0xRRGGBBAA, each component a fraction of 255.
    static Color rgba(std::uint32_t value);
    // The two expressions are evaluated each time the colour is resolved: light for the light
    // scheme, dark for every other.
    static Color lightDark(std::function<Color()> light, std::function<Color()> dark);

    static Color clear();
    static Color white();
    static Color black();
    static Color primary();   // the text colour of the scheme
    static Color secondary(); // dimmed text, lines and rules
    static Color link();      // the tint of links that no style gives a colour

    richtext::Color resolve(ColorScheme scheme) const;

    // Equal when both resolve to the same colours in both schemes.
    friend bool operator==(const Color& a, const Color& b);

private:
    richtext::Color m_fixed{0, 0, 0, 0};
    std::shared_ptr<const std::function<richtext::Color(ColorScheme)>> m_dynamic;
};

} // namespace mdview
