#pragma once

#include "mdview/Color.h"
#include "mdview/FontProperties.h"

#include "richtext/AttributedText.h"

#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace mdview {

struct LineStyle {
    richtext::LineStyle::Pattern pattern = richtext::LineStyle::Pattern::solid;
    std::optional<Color> color;

    static LineStyle single() { return {}; }
    friend bool operator==(const LineStyle&, const LineStyle&) = default;
};

// The attributes that text styles write: the font description plus the toolkit attributes.
// `font` is set only by resolveAttributedFonts, from the description.
struct AttributeContainer {
    std::optional<FontProperties> fontProperties;
    std::optional<richtext::FontSpec> font;
    std::optional<Color> foregroundColor;
    std::optional<Color> backgroundColor;
    std::optional<LineStyle> strikethroughStyle;
    std::optional<LineStyle> underlineStyle;
    std::optional<double> kern;
    std::optional<double> tracking;
    std::optional<double> baselineOffset;
    std::optional<QUrl> link;

    friend bool operator==(const AttributeContainer&, const AttributeContainer&) = default;
};

struct AttributedRun {
    QString text;
    AttributeContainer attributes;
    friend bool operator==(const AttributedRun&, const AttributedRun&) = default;
};

// Text as runs of attribute containers, in order; empty runs are never stored.
class AttributedString {
public:
    AttributedString() = default;
    AttributedString(const QString& text, const AttributeContainer& attributes);

    void append(const QString& text, const AttributeContainer& attributes);
    void append(const AttributedString& other);

    const std::vector<AttributedRun>& runs() const { return m_runs; }
    std::vector<AttributedRun>& runs() { return m_runs; }
    QString text() const;
    bool isEmpty() const { return m_runs.empty(); }

    friend bool operator==(const AttributedString&, const AttributedString&) = default;

private:
    std::vector<AttributedRun> m_runs;
};

// Every run carrying a font description gets the resolved font and loses the description.
AttributedString resolveAttributedFonts(AttributedString string);

// Appends the drawable form: colours resolved for the scheme, fonts resolved (descriptions left
// in place are resolved too), links as strings. Neighbouring runs of one attribute container
// (most of them in running text) are converted once.
void appendRichText(richtext::AttributedText& text, const AttributedString& string, ColorScheme scheme);

} // namespace mdview
