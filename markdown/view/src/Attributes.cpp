#include "mdview/Attributes.h"

namespace mdview {

AttributedString::AttributedString(const QString& text, const AttributeContainer& attributes)
{
    append(text, attributes);
}

void AttributedString::append(const QString& text, const AttributeContainer& attributes)
{
    if (!text.isEmpty())
        m_runs.push_back({text, attributes});
}

void AttributedString::append(const AttributedString& other)
{
    for (const AttributedRun& run : other.m_runs)
        m_runs.push_back(run);
}

QString AttributedString::text() const
{
    QString result;
    for (const AttributedRun& run : m_runs)
        result += run.text;
    return result;
}

AttributedString resolveAttributedFonts(const AttributedString& string)
{
    AttributedString copy = string;
    for (AttributedRun& run : copy.runs()) {
        if (!run.attributes.fontProperties)
            continue;
        run.attributes.font = resolveFontProperties(*run.attributes.fontProperties);
        run.attributes.fontProperties.reset();
    }
    return copy;
}

namespace {

richtext::LineStyle toRichLine(const LineStyle& line, ColorScheme scheme)
{
    richtext::LineStyle result;
    result.pattern = line.pattern;
    if (line.color)
        result.color = line.color->resolve(scheme);
    return result;
}

} // namespace

richtext::AttributedText toRichText(const AttributedString& string, ColorScheme scheme)
{
    richtext::AttributedText result;
    for (const AttributedRun& run : string.runs()) {
        const AttributeContainer& a = run.attributes;
        richtext::TextAttributes attributes;
        if (a.foregroundColor)
            attributes.foregroundColor = a.foregroundColor->resolve(scheme);
        if (a.backgroundColor)
            attributes.backgroundColor = a.backgroundColor->resolve(scheme);
        if (a.font)
            attributes.font = a.font;
        else if (a.fontProperties)
            attributes.font = resolveFontProperties(*a.fontProperties);
        if (a.link && a.link->isValid())
            attributes.link = a.link->toString(QUrl::FullyEncoded);
        if (a.underlineStyle)
            attributes.underline = toRichLine(*a.underlineStyle, scheme);
        if (a.strikethroughStyle)
            attributes.strikethrough = toRichLine(*a.strikethroughStyle, scheme);
        attributes.kerning = a.kern;
        attributes.tracking = a.tracking;
        attributes.baselineOffset = a.baselineOffset;
        result.append(run.text, attributes);
    }
    return result;
}

} // namespace mdview
