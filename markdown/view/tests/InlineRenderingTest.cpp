#include "mdview/InlineRendering.h"

#include <gtest/gtest.h>

using namespace mdview;
using markdown::InlineNode;
using markdown::SoftBreak;

namespace {

AttributeContainer baseAttributes()
{
    AttributeContainer attributes;
    attributes.fontProperties = FontProperties{};
    return attributes;
}

InlineTextStyles styles()
{
    InlineTextStyles s = InlineTextStyles::of(Theme());
    s.link = ForegroundColor(Color::rgba(0x0000ffff));
    return s;
}

QString renderText(const std::vector<InlineNode>& inlines, SoftBreak::Mode mode)
{
    TextInlineRenderer renderer(std::nullopt, styles(), {}, mode, baseAttributes());
    renderer.renderInlines(inlines);
    return renderer.result().plainText();
}

// All nodes through one attributed-string renderer (as inside a single top-level node).
QString renderAttributed(const std::vector<InlineNode>& inlines, SoftBreak::Mode mode)
{
    AttributedStringInlineRenderer renderer(std::nullopt, styles(), mode, baseAttributes());
    for (const InlineNode& node : inlines)
        renderer.renderInline(node);
    return renderer.result().text();
}

} // namespace

TEST(InlineRendering, BreaksInBothSoftBreakModes)
{
    using N = InlineNode;
    struct Case {
        const char* name;
        std::vector<InlineNode> inlines;
        SoftBreak::Mode mode;
        const char* text;      // by the text renderer
        const char* attributed; // by one attributed-string renderer
    } cases[] = {
        {"br then blanks", {N::text("a"), N::html("<br>"), N::text("   b")}, SoftBreak::Mode::space, "a\nb", "a\nb"},
        {"br consumes soft break", {N::text("a"), N::html("<BR/>"), N::softBreak(), N::text("b")}, SoftBreak::Mode::space,
         "a\nb", "a\nb"},
        {"line-break mode", {N::text("a"), N::html("<BR/>"), N::softBreak(), N::text("b")}, SoftBreak::Mode::lineBreak,
         "a\n\nb", "a\n\nb"},
        {"soft break as space", {N::text("a"), N::softBreak(), N::text("b")}, SoftBreak::Mode::space, "a b", "a b"},
        {"soft break as line", {N::text("a"), N::softBreak(), N::text(" b")}, SoftBreak::Mode::lineBreak, "a\nb", "a\n b"},
        {"hard break keeps blank", {N::text("a"), N::lineBreak(), N::text(" b")}, SoftBreak::Mode::space, "a\n b", "a\n b"},
        {"span is literal", {N::html("<span>"), N::text("x")}, SoftBreak::Mode::space, "<span>x", "<span>x"},
        {"comment is literal", {N::html("<!-- note -->")}, SoftBreak::Mode::space, "<!-- note -->", "<!-- note -->"},
        {"br inside a comment counts", {N::text("a"), N::html("<!-- <br> -->"), N::text(" b")}, SoftBreak::Mode::space,
         "a\nb", "a\nb"},
        {"br inside emphasis ends with it", {N::emphasis({N::html("<br>")}), N::text(" b")}, SoftBreak::Mode::space,
         "\n b", "\nb"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(renderText(c.inlines, c.mode), QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(renderAttributed(c.inlines, c.mode), QString::fromUtf8(c.attributed)) << c.name;
    }
}

TEST(InlineRendering, StylesNestAndRestore)
{
    AttributedStringInlineRenderer renderer(std::nullopt, styles(), SoftBreak::Mode::space, baseAttributes());
    renderer.renderInline(InlineNode::strong({InlineNode::text("s"), InlineNode::code("c")}));
    renderer.renderInline(InlineNode::text("t"));
    const auto& runs = renderer.result().runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].attributes.fontProperties->weight, Font::Weight::semibold);
    EXPECT_EQ(runs[1].attributes.fontProperties->weight, Font::Weight::semibold);
    EXPECT_EQ(runs[1].attributes.fontProperties->familyVariant, FontProperties::FamilyVariant::monospaced);
    EXPECT_EQ(runs[2].attributes, baseAttributes());
}

TEST(InlineRendering, LinksResolveAgainstTheBaseURL)
{
    const QUrl base(QStringLiteral("file:///docs/manual/index.md"));
    struct Case {
        const char* destination;
        std::optional<QString> link;
    } cases[] = {
        {"guide.md", QStringLiteral("file:///docs/manual/guide.md")},
        {"../top.md", QStringLiteral("file:///docs/top.md")},
        {"https://example.org/a", QStringLiteral("https://example.org/a")},
        {"#section", QStringLiteral("file:///docs/manual/index.md#section")},
        {"not a url", std::nullopt},
    };
    for (const Case& c : cases) {
        AttributedStringInlineRenderer renderer(base, styles(), SoftBreak::Mode::space, baseAttributes());
        renderer.renderInline(InlineNode::link(c.destination, {InlineNode::text("a"), InlineNode::emphasis({InlineNode::text("b")})}));
        const auto& runs = renderer.result().runs();
        ASSERT_EQ(runs.size(), 2u);
        for (const AttributedRun& run : runs) {
            EXPECT_EQ(run.attributes.foregroundColor, Color::rgba(0x0000ffff)) << c.destination;
            EXPECT_EQ(run.attributes.link ? std::optional(run.attributes.link->toString()) : std::nullopt, c.link)
                << c.destination;
        }
    }
}

TEST(InlineRendering, InlineImagesAppearOnceLoaded)
{
    const std::vector<InlineNode> inlines = {InlineNode::text("a "), InlineNode::image("pic.png", {InlineNode::text("alt")}),
                                             InlineNode::text(" b"),
                                             InlineNode::link("x", {InlineNode::image("pic.png", {})})};
    TextInlineRenderer before(std::nullopt, styles(), {}, SoftBreak::Mode::space, baseAttributes());
    before.renderInlines(inlines);
    EXPECT_EQ(before.result().plainText(), "a  b");
    EXPECT_EQ(before.result().segments().size(), 2u);

    QImage image(8, 8, QImage::Format_ARGB32);
    TextInlineRenderer after(std::nullopt, styles(), {{QStringLiteral("pic.png"), image}}, SoftBreak::Mode::space,
                             baseAttributes());
    after.renderInlines(inlines);
    // A link around the image alone draws the image and keeps the link.
    ASSERT_EQ(after.result().segments().size(), 4u);
    EXPECT_TRUE(std::holds_alternative<QImage>(after.result().segments()[1]));
    const auto* linked = std::get_if<StyledText::LinkedImage>(&after.result().segments()[3]);
    ASSERT_TRUE(linked);
    EXPECT_EQ(linked->link, QUrl(QStringLiteral("x")));
}

TEST(InlineRendering, HtmlTagNames)
{
    const std::pair<const char*, std::optional<const char*>> cases[] = {
        {"<br>", "br"}, {"<BR>", "BR"}, {"<br/>", "br"}, {"<br />", "br"}, {"</br>", "br"},
        {"<br class=\"x\">", "br"}, {"<b>", "b"}, {"<!-- note -->", std::nullopt}, {"text <em> more", "em"},
    };
    for (const auto& [fragment, name] : cases) {
        const auto tag = HTMLTag::from(QString::fromUtf8(fragment));
        EXPECT_EQ(tag ? std::optional(tag->name) : std::nullopt,
                  name ? std::optional(QString::fromUtf8(*name)) : std::nullopt) << fragment;
    }
}

TEST(ImageData, FromImagesAndLinksAroundOneImage)
{
    const InlineNode image = InlineNode::image("a.png", {InlineNode::text("A "), InlineNode::emphasis({InlineNode::text("cat")})});
    EXPECT_EQ(imageData(image), (RawImageData{"a.png", "A cat", std::nullopt}));
    EXPECT_EQ(imageData(InlineNode::link("https://x", {image})), (RawImageData{"a.png", "A cat", QStringLiteral("https://x")}));
    EXPECT_EQ(imageData(InlineNode::link("outer", {InlineNode::link("inner", {image})}))->destination, "outer");
    EXPECT_FALSE(imageData(InlineNode::link("x", {image, InlineNode::text("t")})));
    EXPECT_FALSE(imageData(InlineNode::emphasis({image})));
    EXPECT_FALSE(imageData(InlineNode::text("t")));
    EXPECT_NE((Indexed<int>{0, 5}), (Indexed<int>{1, 5}));
}

TEST(ImageFilter, DropsImagesForTheOtherScheme)
{
    struct Case {
        const char* source;
        bool keptInLight;
        bool keptInDark;
    } cases[] = {
        {"dark.png#gh-dark-mode-only", false, true},
        {"light.png#GH-Light-Mode-Only", true, false},
        {"plain.png", true, true},
        {"other.png#top", true, true},
        // Not a URL as written: percent-encoded and kept, not dropped with its alt text.
        {"my picture.png", true, true},
        {"my dark picture.png#gh-dark-mode-only", false, true},
        {"", false, false},
    };
    for (const Case& c : cases) {
        const InlineNode node = InlineNode::image(c.source, {InlineNode::text("alt")});
        EXPECT_EQ(filterImagesByColorScheme(node, ColorScheme::light).size(), c.keptInLight ? 1u : 0u) << c.source;
        EXPECT_EQ(filterImagesByColorScheme(node, ColorScheme::dark).size(), c.keptInDark ? 1u : 0u) << c.source;
    }
    EXPECT_EQ(filterImagesByColorScheme(InlineNode::text("t"), ColorScheme::dark), std::vector<InlineNode>{InlineNode::text("t")});
    EXPECT_EQ(imageURL(QStringLiteral("my picture.png"), QUrl(QStringLiteral("https://h/docs/")))->toString(QUrl::FullyEncoded),
              "https://h/docs/my%20picture.png");
}

TEST(InlineRendering, BadBytesAndEmptyTextComeOutAsValidTextWithoutWarnings)
{
    using N = InlineNode;
    const std::string loneHigh = "\xED\xA0\x80"; // a surrogate encoded on its own
    const std::string loneLow = "\xED\xB0\x80";
    const std::string invalid = "\xFF\xC0\x80\xE2\x82"; // stray, overlong and cut-short bytes
    const struct Case {
        const char* name;
        std::vector<InlineNode> inlines;
    } cases[] = {
        {"lone surrogates in text", {N::text("a" + loneHigh + "b" + loneLow + "c")}},
        {"invalid UTF-8 in text", {N::text("a" + invalid + "c")}},
        {"invalid UTF-8 in code", {N::code("a" + invalid + "c")}},
        {"invalid UTF-8 in html", {N::text("a"), N::html("<b" + invalid + ">"), N::text("c")}},
        {"invalid UTF-8 in a break tag", {N::text("a"), N::html("<br" + invalid + ">"), N::text("c")}},
        {"empty text nodes", {N::text(""), N::text("a"), N::text(""), N::code(""), N::text("c"), N::text("")}},
    };
    static int warnings;
    warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
        if (type == QtWarningMsg)
            ++warnings;
    });
    for (const Case& c : cases) {
        TextInlineRenderer renderer(std::nullopt, styles(), {}, SoftBreak::Mode::space, baseAttributes());
        renderer.renderInlines(c.inlines);
        const QString text = renderer.result().plainText();
        EXPECT_TRUE(QStringView(text).isValidUtf16()) << c.name;
        EXPECT_TRUE(text.startsWith('a') && text.endsWith('c')) << c.name << ": " << qPrintable(text);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, 0);
}

TEST(InlineRendering, DeepNestingIsCappedAndKeepsTheText)
{
    InlineNode node = InlineNode::text("deep");
    for (int i = 0; i < 5000; ++i)
        node = InlineNode::emphasis({std::move(node)});
    AttributedStringInlineRenderer renderer(std::nullopt, styles(), SoftBreak::Mode::space, baseAttributes());
    renderer.renderInline(node);
    EXPECT_EQ(renderer.result().text(), "deep");
    // Tear the tree down iteratively: the recursive destructor of the test's own value is not
    // what is under test here.
    std::vector<InlineNode> pending;
    pending.push_back(std::move(node));
    while (!pending.empty()) {
        InlineNode current = std::move(pending.back());
        pending.pop_back();
        if (auto* e = std::get_if<InlineNode::Emphasis>(&current.value)) {
            for (InlineNode& child : e->children)
                pending.push_back(std::move(child));
            e->children.clear();
        }
    }
}
