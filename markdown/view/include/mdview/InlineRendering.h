#pragma once

#include "mdview/Attributes.h"
#include "mdview/Environment.h"
#include "mdview/TextStyle.h"
#include "mdview/View.h"

#include "markdown/InlineNode.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>
#include <vector>

namespace mdview {

// The inline styles in force.
struct InlineTextStyles {
    TextStyle code;
    TextStyle emphasis;
    TextStyle strong;
    TextStyle strikethrough;
    TextStyle link;

    static InlineTextStyles of(const Theme& theme);
};

// The tag name of the first tag-like match anywhere in an HTML fragment.
struct HTMLTag {
    QString name;
    static std::optional<HTMLTag> from(const QString& fragment);
};

// A URL for a link destination, relative to a base: absent when the string is not a URL.
std::optional<QUrl> linkURL(const QString& destination, const std::optional<QUrl>& baseURL);
// A URL for an image source, relative to a base. A source that is not a valid URL as written
// (spaces, stray characters) is percent-encoded instead of being dropped; only an empty source
// gives none.
std::optional<QUrl> imageURL(const QString& source, const std::optional<QUrl>& baseURL);

// Text made of styled runs and inline images, in order: what an inline text view shows.
class StyledText {
public:
    // An image that is also a link (an image inside a link in running text).
    struct LinkedImage {
        QImage image;
        QUrl link;
    };
    using Segment = std::variant<AttributedString, QImage, LinkedImage>;
    void append(AttributedString text);
    void append(const QImage& image);
    void append(const QImage& image, const QUrl& link);
    const std::vector<Segment>& segments() const { return m_segments; }
    // The text of the runs (images leave nothing).
    QString plainText() const;

private:
    std::vector<Segment> m_segments;
};

// Shows styled text; colours resolve for the environment's scheme. The text is kept once for
// every node built from the view.
View Text(StyledText text);
// Appends styled text in its drawable form (colours resolved for the scheme) and its images.
void appendStyledText(richtext::AttributedText& rich, std::vector<InlineImage>& images, const StyledText& text,
                      ColorScheme scheme);

// Walks inline nodes into an attributed string, applying the inline styles as it descends.
class AttributedStringInlineRenderer {
public:
    AttributedStringInlineRenderer(std::optional<QUrl> baseURL, InlineTextStyles textStyles,
                                   markdown::SoftBreak::Mode softBreakMode, AttributeContainer attributes);
    void renderInline(const markdown::InlineNode& node);
    const AttributedString& result() const& { return m_result; }
    AttributedString result() && { return std::move(m_result); }
    // The result so far, leaving the renderer as it was made: a text of many nodes renders each
    // through one renderer.
    AttributedString takeResult();

private:
    void renderText(QString text);
    void renderChildren(const std::vector<markdown::InlineNode>& children, const TextStyle& style,
                        const std::optional<QString>& linkDestination = std::nullopt);
    void appendRun(const QString& text) { m_result.append(text, m_attributes); }

    AttributedString m_result;
    std::optional<QUrl> m_baseURL;
    InlineTextStyles m_textStyles;
    markdown::SoftBreak::Mode m_softBreakMode;
    AttributeContainer m_attributes;
    bool m_shouldSkipNextWhitespace = false;
    int m_depth = 0;
};

// Builds styled text node by node: each top-level node through an attributed-string renderer
// as it was made, with loaded inline images in place; an image that is the only content of a link
// is drawn too, as a link.
class TextInlineRenderer {
public:
    TextInlineRenderer(std::optional<QUrl> baseURL, InlineTextStyles textStyles, QHash<QString, QImage> images,
                       markdown::SoftBreak::Mode softBreakMode, AttributeContainer attributes);
    void renderInlines(const std::vector<markdown::InlineNode>& inlines);
    // The inlines rendered next continue a list of them after a soft break (a paragraph laid out
    // in parts): whitespace skipped after it is skipped at their start.
    void continueAfterSoftBreak();
    const StyledText& result() const& { return m_result; }
    StyledText result() && { return std::move(m_result); }

private:
    void defaultRender(const markdown::InlineNode& node);

    StyledText m_result;
    std::optional<QUrl> m_baseURL;
    QHash<QString, QImage> m_images;
    markdown::SoftBreak::Mode m_softBreakMode;
    AttributedStringInlineRenderer m_nodes;
    bool m_shouldSkipNextWhitespace = false;
};

// An element paired with its position.
template <typename Value>
struct Indexed {
    int index = 0;
    Value value;
    friend bool operator==(const Indexed&, const Indexed&) = default;
};

// What is known of one image in the text.
struct RawImageData {
    QString source;
    QString alt;
    std::optional<QString> destination; // the link around the image

    friend bool operator==(const RawImageData&, const RawImageData&) = default;
};

// The image data of an image, or of a link around exactly one image (the link's destination
// wins); none for anything else.
std::optional<RawImageData> imageData(const markdown::InlineNode& node);

// Drops images marked for the other colour scheme ("#gh-dark-mode-only" in light mode,
// "#gh-light-mode-only" in dark mode, any letter case) and images without a URL.
std::vector<markdown::InlineNode> filterImagesByColorScheme(const markdown::InlineNode& node, ColorScheme scheme);

} // namespace mdview
