#include "mdview/FontProperties.h"

#include "mdview/Attributes.h"

#include <algorithm>
#include <cmath>

namespace mdview {

int Font::cssWeight(Weight weight)
{
    switch (weight) {
    case Weight::ultraLight: return 100;
    case Weight::thin: return 200;
    case Weight::light: return 300;
    case Weight::regular: return 400;
    case Weight::medium: return 500;
    case Weight::semibold: return 600;
    case Weight::bold: return 700;
    case Weight::heavy: return 800;
    case Weight::black: return 900;
    }
    return 400;
}

int Font::stretch(Width width)
{
    switch (width) {
    case Width::compressed: return 75;
    case Width::condensed: return 87;
    case Width::standard: return 100;
    case Width::expanded: return 125;
    }
    return 100;
}

double roundHalfAwayFromZero(double value)
{
    // The largest double below one half: adding 0.5 would round 0.49999999999999994 up.
    constexpr double almostHalf = 0.49999999999999994;
    return std::trunc(value + std::copysign(almostHalf, value));
}

double FontProperties::scaledSize() const
{
    return roundHalfAwayFromZero(size * scale);
}

void FontProperties::collectAttributes(AttributeContainer& container) const
{
    container.fontProperties = *this;
}

richtext::FontSpec resolveFontProperties(const FontProperties& properties)
{
    richtext::FontSpec spec;
    // Sizes below 1 and sizes that are not a number (from a NaN scale) become 1.
    const double size = properties.scaledSize();
    spec.pixelSize = size > 1 ? std::min(size, richtext::FontSpec::maxPixelSize) : 1.0;
    if (properties.family.isCustom) {
        spec.family = properties.family.name;
    } else {
        switch (properties.family.design) {
        case Font::Design::standard:
        case Font::Design::rounded: break;
        case Font::Design::serif: spec.family = QStringLiteral("serif"); break;
        case Font::Design::monospaced: spec.monospaced = true; break;
        }
    }
    if (properties.familyVariant == FontProperties::FamilyVariant::monospaced)
        spec.monospaced = true;
    spec.smallCaps = properties.capsVariant != FontProperties::CapsVariant::normal;
    spec.tabularDigits = properties.digitVariant == FontProperties::DigitVariant::monospaced;
    spec.weight = Font::cssWeight(properties.weight);
    spec.stretch = Font::stretch(properties.width());
    spec.italic = properties.style == FontProperties::Style::italic;
    return spec;
}

} // namespace mdview
