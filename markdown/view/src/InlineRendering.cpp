#include "mdview/InlineRendering.h"

#include "mdview/TextNode.h"

#include "markdown/InlineRewrite.h"

#include "Nodes.h"

#include "richtext/gui/QtConversions.h"

#include <QRegularExpression>

#include <algorithm>

namespace mdview {

using markdown::InlineNode;

namespace {

// Deeper nesting than this is drawn as plain text, without recursing further.
constexpr int maximumDepth = 64;

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString stripLeadingWhitespace(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

// The plain text of a subtree, collected without recursion: nesting past the cap is drawn flat.
QString plainText(const std::vector<InlineNode>& nodes)
{
    QString result;
    std::vector<const InlineNode*> stack;
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
        stack.push_back(&*it);
    while (!stack.empty()) {
        const InlineNode* node = stack.back();
        stack.pop_back();
        if (const auto* t = node->as<InlineNode::Text>())
            result += fromUtf8(t->text);
        else if (const auto* c = node->as<InlineNode::Code>())
            result += fromUtf8(c->code);
        else if (const auto* h = node->as<InlineNode::Html>())
            result += fromUtf8(h->html);
        else if (node->is<InlineNode::SoftBreak>())
            result += QLatin1Char(' ');
        else if (node->is<InlineNode::LineBreak>())
            result += QLatin1Char('\n');
        else if (const auto* children = node->children()) {
            for (auto it = children->rbegin(); it != children->rend(); ++it)
                stack.push_back(&*it);
        }
    }
    return result;
}

bool isLineBreakTag(const QString& html)
{
    const auto tag = HTMLTag::from(html);
    return tag && tag->name.toLower() == QLatin1String("br");
}

} // namespace

InlineTextStyles InlineTextStyles::of(const Theme& theme)
{
    return {theme.code, theme.emphasis, theme.strong, theme.strikethrough, theme.link};
}

std::optional<HTMLTag> HTMLTag::from(const QString& fragment)
{
    static const QRegularExpression pattern(QStringLiteral("<\\/?([a-zA-Z0-9]+)[^>]*>"));
    const QRegularExpressionMatch match = pattern.match(fragment);
    if (!match.hasMatch() || match.capturedStart(1) < 0)
        return std::nullopt;
    return HTMLTag{match.captured(1)};
}

std::optional<QUrl> linkURL(const QString& destination, const std::optional<QUrl>& baseURL)
{
    const QUrl url(destination, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    if (baseURL && url.isRelative())
        return baseURL->resolved(url);
    return url;
}

std::optional<QUrl> imageURL(const QString& source, const std::optional<QUrl>& baseURL)
{
    if (source.isEmpty())
        return std::nullopt;
    QUrl url(source, QUrl::StrictMode);
    if (!url.isValid()) {
        // Keep the characters URLs are built from and encode the rest (blanks above all).
        url = QUrl::fromEncoded(QUrl::toPercentEncoding(source, "!#$&'()*+,/:;=?@[]~%"), QUrl::TolerantMode);
        if (!url.isValid())
            return std::nullopt;
    }
    if (baseURL && url.isRelative())
        return baseURL->resolved(url);
    return url;
}

void StyledText::append(AttributedString text)
{
    if (!text.isEmpty())
        m_segments.emplace_back(std::move(text));
}

void StyledText::append(const QImage& image)
{
    m_segments.emplace_back(image);
}

void StyledText::append(const QImage& image, const QUrl& link)
{
    m_segments.emplace_back(LinkedImage{image, link});
}

QString StyledText::plainText() const
{
    QString result;
    for (const Segment& segment : m_segments) {
        if (const auto* text = std::get_if<AttributedString>(&segment))
            result += text->text();
    }
    return result;
}

void appendStyledText(richtext::AttributedText& rich, std::vector<InlineImage>& images, const StyledText& text,
                      ColorScheme scheme)
{
    // The text and its runs are built in place, in one piece each.
    qsizetype length = rich.text().size();
    qsizetype runs = qsizetype(rich.runs().size());
    for (const StyledText::Segment& segment : text.segments()) {
        const auto* string = std::get_if<AttributedString>(&segment);
        if (!string) {
            ++length;
            ++runs;
            continue;
        }
        for (const AttributedRun& run : string->runs())
            length += run.text.size();
        runs += qsizetype(string->runs().size());
    }
    rich.reserve(length, runs);
    for (const StyledText::Segment& segment : text.segments()) {
        if (const auto* string = std::get_if<AttributedString>(&segment)) {
            appendRichText(rich, *string, scheme);
        } else if (const auto* image = std::get_if<QImage>(&segment)) {
            images.push_back({rich.text().size(), *image});
            rich.append(QString(QChar::ObjectReplacementCharacter), richtext::TextAttributes{});
        } else {
            const auto& linked = std::get<StyledText::LinkedImage>(segment);
            images.push_back({rich.text().size(), linked.image});
            richtext::TextAttributes attributes;
            attributes.link = linked.link.toString(QUrl::FullyEncoded);
            rich.append(QString(QChar::ObjectReplacementCharacter), attributes);
        }
    }
}

View Text(StyledText styled)
{
    return EnvironmentReader([text = std::make_shared<const StyledText>(std::move(styled))](const Environment& environment) {
        richtext::AttributedText rich;
        std::vector<InlineImage> images;
        appendStyledText(rich, images, *text, environment.colorScheme);
        return Text(std::move(rich), std::move(images));
    });
}

AttributedStringInlineRenderer::AttributedStringInlineRenderer(std::optional<QUrl> baseURL,
                                                               InlineTextStyles textStyles,
                                                               markdown::SoftBreak::Mode softBreakMode,
                                                               AttributeContainer attributes)
    : m_baseURL(std::move(baseURL))
    , m_textStyles(std::move(textStyles))
    , m_softBreakMode(softBreakMode)
    , m_attributes(std::move(attributes))
{
}

AttributedString AttributedStringInlineRenderer::takeResult()
{
    // Rendering a node leaves the attributes and the depth as they were; only whitespace to skip
    // after a line break tag stays behind.
    m_shouldSkipNextWhitespace = false;
    return std::exchange(m_result, {});
}

void AttributedStringInlineRenderer::renderText(QString text)
{
    if (m_shouldSkipNextWhitespace) {
        m_shouldSkipNextWhitespace = false;
        text = stripLeadingWhitespace(text);
    }
    appendRun(text);
}

void AttributedStringInlineRenderer::renderChildren(const std::vector<InlineNode>& children, const TextStyle& style,
                                                    const std::optional<QString>& linkDestination)
{
    const AttributeContainer saved = m_attributes;
    style.collectAttributes(m_attributes);
    if (linkDestination) {
        const auto url = linkURL(*linkDestination, m_baseURL);
        if (url)
            m_attributes.link = *url;
        else
            m_attributes.link.reset();
    }
    if (m_depth >= maximumDepth) {
        renderText(plainText(children));
    } else {
        // Most children make a run each: room for them at once, in doubling steps all the same.
        std::vector<AttributedRun>& runs = m_result.runs();
        if (runs.size() + children.size() > runs.capacity())
            runs.reserve(std::max(runs.size() + children.size(), 2 * runs.capacity()));
        ++m_depth;
        for (const InlineNode& child : children)
            renderInline(child);
        --m_depth;
    }
    m_attributes = saved;
}

void AttributedStringInlineRenderer::renderInline(const InlineNode& node)
{
    std::visit(
        [this](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, InlineNode::Text>) {
                renderText(fromUtf8(value.text));
            } else if constexpr (std::is_same_v<T, InlineNode::Code>) {
                AttributeContainer code = m_attributes;
                m_textStyles.code.collectAttributes(code);
                m_result.append(fromUtf8(value.code), code);
            } else if constexpr (std::is_same_v<T, InlineNode::Html>) {
                const QString html = fromUtf8(value.html);
                if (isLineBreakTag(html)) {
                    appendRun(QStringLiteral("\n"));
                    m_shouldSkipNextWhitespace = true;
                } else {
                    renderText(html);
                }
            } else if constexpr (std::is_same_v<T, InlineNode::Emphasis>) {
                renderChildren(value.children, m_textStyles.emphasis);
            } else if constexpr (std::is_same_v<T, InlineNode::Strong>) {
                renderChildren(value.children, m_textStyles.strong);
            } else if constexpr (std::is_same_v<T, InlineNode::Strikethrough>) {
                renderChildren(value.children, m_textStyles.strikethrough);
            } else if constexpr (std::is_same_v<T, InlineNode::Link>) {
                renderChildren(value.children, m_textStyles.link, fromUtf8(value.destination));
            } else if constexpr (std::is_same_v<T, InlineNode::SoftBreak>) {
                if (m_softBreakMode == markdown::SoftBreak::Mode::lineBreak)
                    appendRun(QStringLiteral("\n"));
                else if (m_shouldSkipNextWhitespace)
                    m_shouldSkipNextWhitespace = false;
                else
                    appendRun(QStringLiteral(" "));
            } else if constexpr (std::is_same_v<T, InlineNode::LineBreak>) {
                appendRun(QStringLiteral("\n"));
            }
            // Images are drawn by the text renderer or the image views, never here.
        },
        node.value);
}

TextInlineRenderer::TextInlineRenderer(std::optional<QUrl> baseURL, InlineTextStyles textStyles,
                                       QHash<QString, QImage> images, markdown::SoftBreak::Mode softBreakMode,
                                       AttributeContainer attributes)
    : m_baseURL(std::move(baseURL))
    , m_images(std::move(images))
    , m_softBreakMode(softBreakMode)
    , m_nodes(m_baseURL, std::move(textStyles), softBreakMode, std::move(attributes))
{
}

void TextInlineRenderer::defaultRender(const InlineNode& node)
{
    m_nodes.renderInline(node);
    m_result.append(resolveAttributedFonts(m_nodes.takeResult()));
}

void TextInlineRenderer::continueAfterSoftBreak()
{
    m_shouldSkipNextWhitespace = m_softBreakMode == markdown::SoftBreak::Mode::lineBreak;
}

void TextInlineRenderer::renderInlines(const std::vector<InlineNode>& inlines)
{
    for (const InlineNode& node : inlines) {
        if (const auto* text = node.as<InlineNode::Text>()) {
            if (m_shouldSkipNextWhitespace) {
                m_shouldSkipNextWhitespace = false;
                const QString stripped = stripLeadingWhitespace(fromUtf8(text->text));
                defaultRender(InlineNode::text(stripped.toStdString()));
            } else {
                defaultRender(node);
            }
        } else if (const auto* html = node.as<InlineNode::Html>()) {
            defaultRender(node);
            if (isLineBreakTag(fromUtf8(html->html)))
                m_shouldSkipNextWhitespace = true;
        } else if (const auto* image = node.as<InlineNode::Image>()) {
            const auto it = m_images.constFind(fromUtf8(image->source));
            if (it != m_images.constEnd())
                m_result.append(*it);
        } else if (const auto data = node.is<InlineNode::Link>() ? imageData(node) : std::nullopt) {
            // A badge that links somewhere: the image, clickable, once it has loaded.
            const auto it = m_images.constFind(data->source);
            const auto url = linkURL(data->destination.value_or(QString()), m_baseURL);
            if (it != m_images.constEnd() && url)
                m_result.append(*it, *url);
            else if (it != m_images.constEnd())
                m_result.append(*it);
        } else if (node.is<InlineNode::SoftBreak>()) {
            if (m_softBreakMode == markdown::SoftBreak::Mode::lineBreak) {
                m_shouldSkipNextWhitespace = true;
                defaultRender(node);
            } else if (m_shouldSkipNextWhitespace) {
                m_shouldSkipNextWhitespace = false;
            } else {
                defaultRender(node);
            }
        } else {
            defaultRender(node);
        }
    }
}

std::optional<RawImageData> imageData(const InlineNode& node)
{
    // Down a chain of single-child links to the image; the outermost link's destination wins.
    const std::string* destination = nullptr;
    const InlineNode* current = &node;
    while (const auto* link = current->as<InlineNode::Link>()) {
        if (link->children.size() != 1)
            return std::nullopt;
        if (!destination)
            destination = &link->destination;
        current = &link->children.front();
    }
    const auto* image = current->as<InlineNode::Image>();
    if (!image)
        return std::nullopt;
    QString alt;
    for (const std::string& fragment : markdown::collectInlineText(image->children))
        alt += fromUtf8(fragment);
    return RawImageData{fromUtf8(image->source), alt,
                        destination ? std::optional(fromUtf8(*destination)) : std::nullopt};
}

std::vector<InlineNode> filterImagesByColorScheme(const InlineNode& node, ColorScheme scheme)
{
    const auto* image = node.as<InlineNode::Image>();
    if (!image)
        return {node};
    const auto url = imageURL(fromUtf8(image->source), std::nullopt);
    if (!url)
        return {};
    if (!url->hasFragment())
        return {node};
    const QString fragment = url->fragment(QUrl::FullyDecoded).toLower();
    if ((scheme == ColorScheme::light && fragment == QLatin1String("gh-dark-mode-only"))
        || (scheme == ColorScheme::dark && fragment == QLatin1String("gh-light-mode-only")))
        return {};
    return {node};
}

} // namespace mdview
