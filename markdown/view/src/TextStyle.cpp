#include "mdview/TextStyle.h"

#include <QtGlobal>

#include <atomic>
#include <cmath>

namespace mdview {

TextStyle::TextStyle() : TextStyle(EmptyTextStyle{}) {}

AttributeContainer TextStyle::attributes() const
{
    AttributeContainer container;
    collectAttributes(container);
    return container;
}

std::optional<double> validLength(double value, const char* what)
{
    if (std::isfinite(value) && value >= 0)
        return value;
    static std::atomic_bool warned{false};
    if (!warned.exchange(true))
        qWarning("Ignoring the invalid length %g given as %s (reported once)", value, what);
    return std::nullopt;
}

namespace {

// Kerning and tracking may be negative, but a value that is not a number is dropped.
std::optional<double> finiteOrAbsent(std::optional<double> value, const char* what)
{
    if (value && !std::isfinite(*value))
        return validLength(*value, what);
    return value;
}

} // namespace

void TextKerning::collectAttributes(AttributeContainer& c) const { c.kern = finiteOrAbsent(kern, "kerning"); }
void TextTracking::collectAttributes(AttributeContainer& c) const
{
    c.tracking = finiteOrAbsent(tracking, "tracking");
}

void FontFamily::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->family = family;
}

void FontFamilyVariant::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->familyVariant = familyVariant;
}

void FontCapsVariant::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->capsVariant = capsVariant;
}

void FontDigitVariant::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->digitVariant = digitVariant;
}

void FontStyle::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->style = style;
}

void FontWeight::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->weight = weight;
}

void FontWidth::collectAttributes(AttributeContainer& c) const
{
    if (c.fontProperties)
        c.fontProperties->setWidth(width);
}

void FontSize::collectAttributes(AttributeContainer& c) const
{
    if (!c.fontProperties)
        return;
    if (m_points) {
        if (const auto points = validLength(*m_points, "a font size")) {
            c.fontProperties->size = *points;
            c.fontProperties->scale = 1;
        }
        return;
    }
    const double value = m_relative->value;
    if (!validLength(value, "a relative font size"))
        return;
    if (m_relative->unit == RelativeSize::Unit::em)
        c.fontProperties->scale *= value;
    else
        c.fontProperties->scale = value;
}

} // namespace mdview
