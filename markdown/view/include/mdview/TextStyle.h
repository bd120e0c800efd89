#pragma once

#include "mdview/Attributes.h"
#include "mdview/RelativeSize.h"

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace mdview {

// Composable character formatting: a style writes its attributes into a container and
// draws nothing. Type-erased; any value with `collectAttributes(AttributeContainer&) const`
// converts to it.
class TextStyle {
public:
    TextStyle(); // the empty style

    template <typename Style,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<Style>, TextStyle>>>
    TextStyle(Style style) // NOLINT: every style is a TextStyle
        : m_impl(std::make_shared<Model<std::decay_t<Style>>>(std::move(style)))
    {
    }

    void collectAttributes(AttributeContainer& container) const { m_impl->collect(container); }
    // The attributes of this style written into an empty container.
    AttributeContainer attributes() const;

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual void collect(AttributeContainer&) const = 0;
    };
    template <typename Style>
    struct Model final : Concept {
        explicit Model(Style s) : style(std::move(s)) {}
        void collect(AttributeContainer& c) const override { style.collectAttributes(c); }
        Style style;
    };
    std::shared_ptr<const Concept> m_impl;
};

struct EmptyTextStyle {
    void collectAttributes(AttributeContainer&) const {}
};

struct ForegroundColor {
    explicit ForegroundColor(std::optional<Color> c) : foregroundColor(std::move(c)) {}
    std::optional<Color> foregroundColor;
    void collectAttributes(AttributeContainer& c) const { c.foregroundColor = foregroundColor; }
};

struct BackgroundColor {
    explicit BackgroundColor(std::optional<Color> c) : backgroundColor(std::move(c)) {}
    std::optional<Color> backgroundColor;
    void collectAttributes(AttributeContainer& c) const { c.backgroundColor = backgroundColor; }
};

struct StrikethroughStyle {
    explicit StrikethroughStyle(std::optional<LineStyle> s) : lineStyle(std::move(s)) {}
    std::optional<LineStyle> lineStyle;
    void collectAttributes(AttributeContainer& c) const { c.strikethroughStyle = lineStyle; }
};

struct UnderlineStyle {
    explicit UnderlineStyle(std::optional<LineStyle> s) : lineStyle(std::move(s)) {}
    std::optional<LineStyle> lineStyle;
    void collectAttributes(AttributeContainer& c) const { c.underlineStyle = lineStyle; }
};

struct TextKerning {
    explicit TextKerning(std::optional<double> k) : kern(k) {}
    std::optional<double> kern;
    void collectAttributes(AttributeContainer& c) const;
};

struct TextTracking {
    explicit TextTracking(std::optional<double> t) : tracking(t) {}
    std::optional<double> tracking;
    void collectAttributes(AttributeContainer& c) const;
};

// The font styles edit the description already in the container and never create one.
struct FontFamily {
    explicit FontFamily(FontProperties::Family f) : family(std::move(f)) {}
    FontProperties::Family family;
    void collectAttributes(AttributeContainer& c) const;
};

struct FontFamilyVariant {
    explicit FontFamilyVariant(FontProperties::FamilyVariant v) : familyVariant(v) {}
    FontProperties::FamilyVariant familyVariant;
    void collectAttributes(AttributeContainer& c) const;
};

struct FontCapsVariant {
    explicit FontCapsVariant(FontProperties::CapsVariant v) : capsVariant(v) {}
    FontProperties::CapsVariant capsVariant;
    void collectAttributes(AttributeContainer& c) const;
};

struct FontDigitVariant {
    explicit FontDigitVariant(FontProperties::DigitVariant v) : digitVariant(v) {}
    FontProperties::DigitVariant digitVariant;
    void collectAttributes(AttributeContainer& c) const;
};

struct FontStyle {
    explicit FontStyle(FontProperties::Style s) : style(s) {}
    FontProperties::Style style;
    void collectAttributes(AttributeContainer& c) const;
};

struct FontWeight {
    explicit FontWeight(Font::Weight w) : weight(w) {}
    Font::Weight weight;
    void collectAttributes(AttributeContainer& c) const;
};

struct FontWidth {
    explicit FontWidth(Font::Width w) : width(w) {}
    Font::Width width;
    void collectAttributes(AttributeContainer& c) const;
};

// Points set the size and reset the scale; em multiplies the scale; rem replaces it.
struct FontSize {
    explicit FontSize(double points) : m_points(points) {}
    explicit FontSize(RelativeSize relative) : m_relative(relative) {}
    void collectAttributes(AttributeContainer& c) const;

private:
    std::optional<double> m_points;
    std::optional<RelativeSize> m_relative;
};

// An optional style applies when present.
struct OptionalTextStyle {
    std::optional<TextStyle> style;
    void collectAttributes(AttributeContainer& c) const
    {
        if (style)
            style->collectAttributes(c);
    }
};

// Two styles applied in order: the second wins where both write.
struct TextStylePair {
    TextStyle s0;
    TextStyle s1;
    void collectAttributes(AttributeContainer& c) const
    {
        s0.collectAttributes(c);
        s1.collectAttributes(c);
    }
};

// Joins statements in order into a left-nested chain of pairs; no statement gives the
// empty style.
inline TextStyle textStyle() { return EmptyTextStyle{}; }
template <typename First>
TextStyle textStyle(First first)
{
    return TextStyle(std::move(first));
}
template <typename First, typename Second, typename... Rest>
TextStyle textStyle(First first, Second second, Rest... rest)
{
    return textStyle(TextStylePair{TextStyle(std::move(first)), TextStyle(std::move(second))},
                     std::move(rest)...);
}

// A length a style gives that is not a number or below zero counts as absent; the first such
// length is reported once per process.
std::optional<double> validLength(double value, const char* what);

} // namespace mdview
