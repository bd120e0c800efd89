#pragma once

#include "richtext/AttributedText.h"

#include <QString>

#include <optional>
#include <variant>

namespace mdview {

struct AttributeContainer;

// The toolkit-level font vocabulary that font descriptions are written in.
namespace Font {
enum class Design { standard, serif, rounded, monospaced };
enum class Weight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
enum class Width { compressed, condensed, standard, expanded };
int cssWeight(Weight weight);
int stretch(Width width);
} // namespace Font

// Rounds to the nearest whole number, halves away from zero, without rounding values just
// below one half up.
double roundHalfAwayFromZero(double value);

// A font as a plain description that text styles edit field by field; it becomes a concrete
// font only when text is drawn.
struct FontProperties {
    struct Family {
        static Family system(Font::Design design = Font::Design::standard) { return {design, {}, false}; }
        static Family custom(const QString& name) { return {Font::Design::standard, name, true}; }
        Font::Design design = Font::Design::standard;
        QString name;
        bool isCustom = false;
        friend bool operator==(const Family& a, const Family& b)
        {
            return a.isCustom == b.isCustom && (a.isCustom ? a.name == b.name : a.design == b.design);
        }
    };
    enum class FamilyVariant { normal, monospaced };
    enum class CapsVariant { normal, smallCaps, lowercaseSmallCaps, uppercaseSmallCaps };
    enum class DigitVariant { normal, monospaced };
    enum class Style { normal, italic };

    static constexpr double defaultSize = 13;
    static constexpr Font::Weight defaultWeight = Font::Weight::regular;

    Family family;
    FamilyVariant familyVariant = FamilyVariant::normal;
    CapsVariant capsVariant = CapsVariant::normal;
    DigitVariant digitVariant = DigitVariant::normal;
    Style style = Style::normal;
    Font::Weight weight = defaultWeight;
    std::optional<Font::Width> widthStorage; // absent: never set (reads as standard)
    double size = defaultSize;
    double scale = 1;

    Font::Width width() const { return widthStorage.value_or(Font::Width::standard); }
    void setWidth(Font::Width value) { widthStorage = value; }
    // size × scale rounded half away from zero: the size actually drawn.
    double scaledSize() const;

    // A description is itself a text style: it replaces the container's whole description.
    void collectAttributes(AttributeContainer& container) const;

    friend bool operator==(const FontProperties&, const FontProperties&) = default;
};

// The concrete font for a description.
richtext::FontSpec resolveFontProperties(const FontProperties& properties);

} // namespace mdview
