// Bad input renders the rest of the document.

#include "mddoc/BlockViews.h"
#include "mddoc/Markdown.h"
#include "mddoc/MarkdownView.h"
#include "mddoc/OffscreenDocument.h"
#include "mddoc/Themes.h"

#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/TextNode.h"

#include "ManualLoader.h"

#include "testsupport/EventLoop.h"
#include "testsupport/HttpServer.h"

#include <QBuffer>
#include <QImageWriter>

#include <gtest/gtest.h>

using namespace mddoc;
using markdown::BlockNode;
using markdown::InlineNode;
using mdview::ColorScheme;

namespace {

QStringList textsOf(mdview::ViewHost& host)
{
    QStringList texts;
    for (const auto* text : mdview::collectTextNodes(*host.root()))
        texts << text->text();
    return texts;
}

QByteArray png(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

TEST(BadInput, TheRestOfTheDocumentStillShows)
{
    const auto loader = std::make_shared<ManualLoader>();
    const auto modifiers = [loader](const View& view) { return view.remoteImageLoader(loader); };
    struct Case {
        const char* name;
        QString markdown;
    } cases[] = {
        {"raw script", "<script>alert(1)</script>\n\nafter"},
        {"inline script", "before <script>x</script>\n\nafter"},
        {"image with spaces", "![a](my image.png) ![b](<my image.png>)\n\nafter"},
        {"invalid image URLs", "![a](http://[::1) ![b](:) ![c]()\n\nafter"},
        {"javascript link", "[click](javascript:alert(1)) [x](vbscript:msgbox)\n\nafter"},
        {"deep nesting", QString(10000, QLatin1Char('>')) + QStringLiteral(" deep\n\nafter")},
        {"deep lists", QString(10000, QLatin1Char('-')).replace(QLatin1Char('-'), QStringLiteral("- ")) +
                           QStringLiteral("item\n\nafter")},
        {"control characters", QStringLiteral("a\x01\x02\x7f b\u202e\uFFFF\n\nafter")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OffscreenDocument document(c.markdown, themes::basic(), ColorScheme::light, 600, modifiers);
        document.paint();
        const QStringList texts = textsOf(document.host());
        ASSERT_FALSE(texts.isEmpty());
        EXPECT_EQ(texts.back(), "after");
    }
    // The script's text shows as text, never run.
    OffscreenDocument script(QStringLiteral("<script>alert(1)</script>"), themes::basic(), ColorScheme::light, 600);
    EXPECT_EQ(textsOf(script.host()), QStringList{"<script>alert(1)</script>"});
    // Empty text draws nothing, at no height.
    OffscreenDocument empty(QString(), themes::basic(), ColorScheme::light, 600);
    EXPECT_EQ(empty.height(), 0);
    EXPECT_TRUE(textsOf(empty.host()).isEmpty());
}

TEST(BadInput, DeepContentBuiltInCodeIsFlattenedWithItsText)
{
    BlockNode block = BlockNode::paragraph({InlineNode::text("innermost")});
    for (int level = 0; level < 10000; ++level) {
        std::vector<BlockNode> children;
        children.push_back(std::move(block));
        children.push_back(BlockNode::paragraph({InlineNode::text("level")}));
        block = BlockNode::blockquote(std::move(children));
    }
    std::vector<BlockNode> blocks;
    blocks.push_back(std::move(block)); // moved, never copied: a copy would recurse 10,000 deep
    mdview::ViewHost host;
    host.setView(MarkdownView(markdown::MarkdownContent(std::move(blocks))));
    host.layout(600);
    const QStringList texts = textsOf(host);
    // The first levels as structure, the rest as one text that keeps every word.
    ASSERT_GT(texts.size(), 1);
    EXPECT_LE(texts.size(), maximumBlockDepth + 1);
    EXPECT_TRUE(texts.back().contains("innermost") || texts.join(' ').contains("innermost"));
    EXPECT_EQ(texts.join(' ').count("level"), 10000);
}

TEST(BadInput, AHugeCodeFenceLaysOutAndPaintsAViewport)
{
    QString code = QStringLiteral("```\n");
    const QString line = QStringLiteral("let value = compute(42) // a comment on the line\n");
    while (code.size() < 5 * 1024 * 1024)
        code += line;
    code += QStringLiteral("```\n\nafter");
    OffscreenDocument document(code, themes::basic(), ColorScheme::light, 900);
    EXPECT_GT(document.height(), 100000);
    const QImage frame = document.paint(document.height() / 2, 1000);
    EXPECT_FALSE(frame.isNull());
    EXPECT_EQ(textsOf(document.host()).back(), "after");
}

TEST(BadInput, ABrokenInlineImageHidesOnlyItself)
{
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    server.setResponse("/badge.png", {200, png(20, 10, Qt::red), {{"Content-Type", "image/png"}}});
    server.setResponse("/missing.png", {404, "not found", {}});
    server.setResponse("/huge.png", {200, png(3000, 1500, Qt::blue), {{"Content-Type", "image/png"}}});
    const QString text = QStringLiteral("a ![ok](%1) b ![gone](%2) c [![linked](%1)](https://example.org) d ![big](%3)")
                             .arg(server.url("/badge.png").toString(), server.url("/missing.png").toString(),
                                  server.url("/huge.png").toString());
    Markdown markdown(text);
    markdown.setOpenLinksExternally(false);
    markdown.resize(900, 400);
    ASSERT_TRUE(testsupport::waitUntil([&] { return server.requestCount("/huge.png") > 0 && server.requestCount("/missing.png") > 0; }));
    // Three images arrive (the badge twice, once linked); the missing one leaves the others in place.
    ASSERT_TRUE(testsupport::waitUntil([&] { return markdown.host().root() && markdown.dump().contains("Text") &&
                                     mdview::collectTextNodes(*markdown.host().root()).front()->text().count(QChar::ObjectReplacementCharacter) == 3; }));
    auto* paragraph = mdview::collectTextNodes(*markdown.host().root()).front();
    EXPECT_EQ(paragraph->text(), QString("a \uFFFC b  c \uFFFC d \uFFFC"));
    EXPECT_EQ(paragraph->rangeRect(2, 3).width(), 20); // the badge takes its own width in the line
    // The linked badge is a link.
    std::vector<QUrl> activated;
    QObject::connect(&markdown, &Markdown::linkActivated, [&](const QUrl& url) { activated.push_back(url); });
    const int linked = int(paragraph->text().indexOf(QChar::ObjectReplacementCharacter, 3));
    const QPointF at = paragraph->rangeRect(linked, linked + 1).center();
    markdown.host().mousePress(at, Qt::LeftButton, Qt::NoModifier);
    markdown.host().mouseRelease(at, Qt::LeftButton);
    EXPECT_EQ(activated, std::vector<QUrl>{QUrl("https://example.org")});
    // The large one is kept at the size it is drawn: at most 1024 points wide.
    const int big = int(paragraph->text().lastIndexOf(QChar::ObjectReplacementCharacter));
    EXPECT_LE(paragraph->rangeRect(big, big + 1).width(), 1024.5);
}

TEST(BadInput, ABlockImageThatFailsTakesNoSpace)
{
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    server.setResponse("/missing.png", {404, "not found", {}});
    Markdown markdown(QStringLiteral("before\n\n![gone](%1)\n\nafter").arg(server.url("/missing.png").toString()));
    markdown.resize(600, 400);
    ASSERT_TRUE(testsupport::waitUntil([&] { return server.requestCount("/missing.png") > 0; }));
    QCoreApplication::processEvents();
    const auto texts = mdview::collectTextNodes(*markdown.host().root());
    ASSERT_EQ(texts.size(), 2u);
    // Only the block margins between the texts: the image itself is not there.
    EXPECT_LE(texts[1]->frame().top() - texts[0]->frame().bottom(), 26);
}
