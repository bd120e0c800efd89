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

AttributedString resolveAttributedFonts(AttributedString string)
{
    for (AttributedRun& run : string.runs()) {
        if (!run.attributes.fontProperties)
            continue;
        run.attributes.font = resolveFontProperties(*run.attributes.fontProperties);
        run.attributes.fontProperties.reset();
    }
    return string;
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

namespace {

// A link's text and code runs share its address: it is written out once for them all.
struct LinkText {
    QUrl url;
    QString text;
    const QString& of(const QUrl& link)
    {
        if (text.isNull() || !(link == url)) {
            url = link;
            text = link.toString(QUrl::FullyEncoded);
        }
        return text;
    }
};

richtext::TextAttributes richAttributes(const AttributeContainer& a, ColorScheme scheme, LinkText& links)
{
    richtext::TextAttributes attributes;
    if (a.foregroundColor)
        attributes.foregroundColor = a.foregroundColor->resolve(scheme);
    if (a.link && a.link->isValid()) {
        attributes.link = links.of(*a.link);
        // Like the platform, links are tinted unless a style coloured them.
        if (!a.foregroundColor)
            attributes.foregroundColor = Color::link().resolve(scheme);
    }
    if (a.backgroundColor)
        attributes.backgroundColor = a.backgroundColor->resolve(scheme);
    if (a.font)
        attributes.font = a.font;
    else if (a.fontProperties)
        attributes.font = resolveFontProperties(*a.fontProperties);
    if (a.underlineStyle)
        attributes.underline = toRichLine(*a.underlineStyle, scheme);
    if (a.strikethroughStyle)
        attributes.strikethrough = toRichLine(*a.strikethroughStyle, scheme);
    attributes.kerning = a.kern;
    attributes.tracking = a.tracking;
    attributes.baselineOffset = a.baselineOffset;
    return attributes;
}

} // namespace

void appendRichText(richtext::AttributedText& text, const AttributedString& string, ColorScheme scheme)
{
    const AttributeContainer* previous = nullptr;
    richtext::StyleIndex style = 0;
    LinkText links;
    for (const AttributedRun& run : string.runs()) {
        if (!previous || !(run.attributes == *previous)) {
            style = text.addStyle(richAttributes(run.attributes, scheme, links));
            previous = &run.attributes;
        }
        text.append(run.text, style);
    }
}

} // namespace mdview
