#include "ManualLoader.h"
#include "testsupport/HttpServer.h"

#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/InlineRendering.h"
#include "mdview/Providers.h"
#include "mdview/RemoteImage.h"
#include "mdview/RenderNode.h"
#include "mdview/TextNode.h"

#include "markdown/MarkdownParser.h"

#include <testsupport/EventLoop.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mdview;
using namespace remoteimage;

namespace {

QImage filled(int width, int height, QColor color = Qt::red)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

const RemoteImageError failed{RemoteImageError::Code::BadServerResponse, QNetworkReply::NoError, "test"};
const QUrl imageUrl(QStringLiteral("http://127.0.0.1/a.png"));

View box(double side)
{
    return ColorView(Color::black()).frame(side, side);
}

class RemoteImageViewTest : public ::testing::Test {
protected:
    // Shows `view` in the host, laid out at `width`.
    void show(const View& view, double width = 500)
    {
        host.setView(view);
        host.layout(width);
    }

    QSizeF shownSize() { return host.root()->measure({}); }
    QString shownState() { return host.root()->describe(); }

    bool waitForState(const QString& state)
    {
        return testsupport::waitUntil([&] { return shownState() == state; });
    }

    void SetUp() override
    {
        Environment environment;
        environment.remoteImageLoader = loader;
        host.setEnvironment(environment);
    }

    std::shared_ptr<ManualLoader> loader = std::make_shared<ManualLoader>();
    ViewHost host;
};

TEST_F(RemoteImageViewTest, ShowsPlaceholderContentAndFallbackByState)
{
    const View view = RemoteImage(imageUrl, 2, imageOrFallback({}, [] { return box(10); }, [] { return box(30); }));
    show(view);
    EXPECT_EQ(shownState(), "empty");
    EXPECT_EQ(shownSize(), QSizeF(10, 10));
    ASSERT_EQ(loader->requests.size(), 1u);
    EXPECT_EQ(loader->requests[0].url, imageUrl);

    loader->answer(0, filled(200, 100));
    ASSERT_TRUE(waitForState("success"));
    EXPECT_EQ(shownSize(), QSizeF(100, 50)); // the image at scale 2
    EXPECT_EQ(host.layout(500), 50);

    show(RemoteImage(imageUrl, 1, imageOrFallback({}, [] { return box(10); }, [] { return box(30); })));
    loader->answer(1, failed);
    ASSERT_TRUE(waitForState("failure"));
    EXPECT_EQ(shownSize(), QSizeF(30, 30));

    // With a placeholder only, a failure shows the placeholder.
    show(RemoteImage(imageUrl, 1, imageOrPlaceholder({}, [] { return box(10); })));
    loader->answer(2, failed);
    ASSERT_TRUE(waitForState("failure"));
    EXPECT_EQ(shownSize(), QSizeF(10, 10));
}

TEST_F(RemoteImageViewTest, DefaultPlaceholderStretchesOverTheOfferedSpace)
{
    show(RemoteImage(imageUrl, 1, imageOrPlaceholder()));
    EXPECT_EQ(host.root()->measure({40, 20}), QSizeF(40, 20));
    EXPECT_EQ(host.root()->measure({70, 30}), QSizeF(70, 30));
}

TEST_F(RemoteImageViewTest, NoUrlNeverLoads)
{
    show(RemoteImage(std::nullopt, 1, imageOrPlaceholder({}, [] { return box(10); })));
    EXPECT_EQ(shownState(), "empty");
    EXPECT_EQ(shownSize(), QSizeF(10, 10));
    EXPECT_TRUE(loader->requests.empty());
}

TEST_F(RemoteImageViewTest, BuildingTheSameViewAgainLoadsNothing)
{
    const View view = RemoteImage(imageUrl, 1, imageOrFallback({}, [] { return box(10); }, [] { return box(30); }));
    show(view);
    loader->answer(0, failed);
    ASSERT_TRUE(waitForState("failure"));

    show(view); // gone and back
    ViewHost other;
    other.setView(view);
    EXPECT_EQ(loader->requests.size(), 1u);
    EXPECT_EQ(shownState(), "failure");
    EXPECT_EQ(other.root()->describe(), "failure");
}

TEST_F(RemoteImageViewTest, CachedImageShowsInTheFirstLayoutThroughTheLoaderOfItsSubtree)
{
    QTemporaryDir cacheDirectory;
    auto cache = std::make_shared<DefaultRemoteImageCache>(10, 1 << 20);
    cache->setImage(filled(20, 10, Qt::blue), imageUrl);
    const auto cached = std::make_shared<DefaultRemoteImageLoader>(
        cache, makeImageLoadingSession(1 << 20, std::chrono::seconds(10), cacheDirectory.path()));

    // The modifier overrides the host's loader for the image below it.
    const View view = RemoteImage(imageUrl, 1).remoteImageLoader(cached);
    show(view, 100);
    EXPECT_EQ(shownState(), "success");
    EXPECT_TRUE(loader->requests.empty());
    const QImage rendered = renderToImage(view, {}, 100);
    EXPECT_EQ(rendered.height(), 10);
    EXPECT_EQ(rendered.pixelColor(10, 5), QColor(Qt::blue));
}

TEST_F(RemoteImageViewTest, DefaultProviderFitsTheImageToTheWidthAndTakesNoSpaceOtherwise)
{
    // The environment's default is this provider, also when wrapped.
    EXPECT_TRUE(dynamic_cast<const DefaultImageProvider*>(Environment().imageProvider.get()));
    const AnyImageProvider provider{DefaultImageProvider()};
    show(VStack({provider.makeImage(imageUrl), box(5)}, HorizontalAlignment::center, 0), 50);
    EXPECT_EQ(host.layout(50), 5);

    loader->answer(0, filled(200, 100));
    ASSERT_TRUE(testsupport::waitUntil([&] { return host.layout(50) == 30; })); // 25 + 5

    show(VStack({provider.makeImage(std::nullopt), box(5)}, HorizontalAlignment::center, 0), 50);
    EXPECT_EQ(host.layout(50), 5);
    EXPECT_EQ(loader->requests.size(), 1u);
}

// What the host shows, laid out at `width`, over white.
QImage paint(ViewHost& host, double width)
{
    QImage image(int(width), std::max(1, int(host.layout(width))), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    host.paint(painter, image.rect());
    return image;
}

TEST_F(RemoteImageViewTest, AnimatedTransactionFadesTheImageInButNeverTheFailure)
{
    auto animated = [](int milliseconds) {
        return Transaction{Animation{std::chrono::milliseconds(milliseconds), QEasingCurve::Linear}};
    };
    auto blackFallback = imageOrFallback({}, [] { return box(10); }, [] { return box(30); });
    int repaints = 0;
    int layouts = 0;
    QObject::connect(&host, &ViewHost::repaintNeeded, [&] { ++repaints; });
    QObject::connect(&host, &ViewHost::layoutChanged, [&] { ++layouts; });

    // A long fade: just after the image arrives it is still almost transparent, and frames
    // keep coming without another layout.
    show(RemoteImage(imageUrl, 1, blackFallback, animated(60'000)), 40);
    loader->answer(0, filled(40, 20));
    ASSERT_TRUE(waitForState("success fading"));
    const QColor early = paint(host, 40).pixelColor(20, 10);
    EXPECT_GE(early.green(), 250) << qPrintable(early.name());
    repaints = layouts = 0;
    testsupport::spin(100);
    EXPECT_GE(repaints, 2);
    EXPECT_EQ(layouts, 0);
    host.setView(EmptyView()); // the fading node goes away with its timer
    testsupport::spin(40);

    // A short fade ends at full opacity.
    show(RemoteImage(imageUrl, 1, blackFallback, animated(50)), 40);
    loader->answer(1, filled(40, 20));
    ASSERT_TRUE(waitForState("success fading"));
    ASSERT_TRUE(waitForState("success"));
    EXPECT_EQ(paint(host, 40).pixelColor(20, 10), QColor(Qt::red));

    // A failure shows at once, whatever the transaction.
    show(RemoteImage(imageUrl, 1, blackFallback, animated(60'000)), 40);
    loader->answer(2, failed);
    ASSERT_TRUE(waitForState("failure"));
    EXPECT_EQ(paint(host, 40).pixelColor(15, 15), QColor(Qt::black));

    // Without an animation the image shows at full opacity at once.
    show(RemoteImage(imageUrl, 1, blackFallback), 40);
    loader->answer(3, filled(40, 20));
    ASSERT_TRUE(waitForState("success"));
    EXPECT_EQ(paint(host, 40).pixelColor(20, 10), QColor(Qt::red));
}

TEST_F(RemoteImageViewTest, SelectionAcrossTheImageStaysWhenItArrivesAndFadesIn)
{
    const Transaction fade{Animation{std::chrono::milliseconds(60'000), QEasingCurve::Linear}};
    show(VStack({Text(QStringLiteral("before the image")), RemoteImage(imageUrl, 1, imageOrPlaceholder(), fade),
                 Text(QStringLiteral("after it"))},
                HorizontalAlignment::leading, 4),
         200);
    // Where a character of a text starts, as the host sees it now.
    auto at = [&](std::size_t text, int offset) {
        const QRectF r = collectTextNodes(*host.root()).at(text)->rangeRect(offset, offset + 1);
        return QPointF(r.left() + 0.5, r.center().y());
    };
    host.mousePress(at(0, 7), Qt::LeftButton, Qt::NoModifier);
    host.mouseMove(at(1, 5), Qt::LeftButton);
    host.mouseRelease(at(1, 5), Qt::LeftButton);
    ASSERT_EQ(host.selectedText().toStdString(), "the image\nafter");
    int selectionChanges = 0;
    QObject::connect(&host, &ViewHost::selectionChanged, [&] { ++selectionChanges; });

    loader->answer(0, filled(40, 20));
    ASSERT_TRUE(testsupport::waitUntil([&] { return dumpLayout(*host.root()).contains("success fading"); }));
    testsupport::spin(50); // a few frames of the fade
    EXPECT_EQ(host.selectedText().toStdString(), "the image\nafter");
    EXPECT_EQ(selectionChanges, 0);
    // The selection still starts where the drag began: a shift-click extends it from there.
    host.mousePress(at(1, 2), Qt::LeftButton, Qt::ShiftModifier);
    host.mouseRelease(at(1, 2), Qt::LeftButton);
    EXPECT_EQ(host.selectedText().toStdString(), "the image\naf");
}

// The shared loader keeps its disk cache in the user's cache folder: point that at a
// temporary folder before the loader is first used.
void useTemporaryCacheFolder()
{
    static QTemporaryDir folder;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder.path()));
}

QByteArray png(const QImage& image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return buffer.data();
}

int countPixels(const QImage& image, QColor color)
{
    int count = 0;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x)
            count += argb.pixelColor(x, y) == color;
    }
    return count;
}

TEST(DefaultInlineImageProvider, LoadsThroughTheSharedLoaderAndPassesItsErrorsOn)
{
    useTemporaryCacheFolder();
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    server.setResponse("/a.png", {200, png(filled(6, 4))});
    server.setResponse("/missing.png", {404, "not here"});
    EXPECT_TRUE(dynamic_cast<const DefaultInlineImageProvider*>(Environment().inlineImageProvider.get()));

    struct Outcome {
        std::optional<QImage> image;
        QString error;
    };
    auto load = [&](const QString& path) {
        std::optional<Outcome> outcome;
        DefaultInlineImageProvider().image(server.url(path), QStringLiteral("alt"),
                                           [&](const std::optional<QImage>& image, const QString& error) {
                                               outcome = Outcome{image, error};
                                           });
        EXPECT_TRUE(testsupport::waitUntil([&] { return outcome.has_value(); })) << qPrintable(path);
        return outcome.value_or(Outcome{});
    };

    const Outcome loaded = load("/a.png");
    ASSERT_TRUE(loaded.image);
    EXPECT_EQ(loaded.image->size(), QSize(6, 4));
    EXPECT_EQ(loaded.image->devicePixelRatio(), 1);
    EXPECT_EQ(load("/a.png").image->size(), QSize(6, 4));
    EXPECT_EQ(server.requestCount("/a.png"), 1); // the second came from the cache

    const Outcome missing = load("/missing.png");
    EXPECT_FALSE(missing.image);
    EXPECT_TRUE(missing.error.contains("404")) << qPrintable(missing.error);
}

// A Markdown document drawn with plain stand-ins for the block views: a paragraph that is one
// image goes to the block image provider, other paragraphs and headings are text, lists are
// marked rows, code scrolls sideways on a panel, tables are grids with borders.
View blockView(const markdown::BlockNode& block, int listLevel);

View inlineText(const std::vector<markdown::InlineNode>& inlines)
{
    return EnvironmentReader([inlines](const Environment& e) {
        TextInlineRenderer renderer(e.baseURL, InlineTextStyles::of(e.theme()), {}, e.softBreakMode,
                                    e.textStyle.attributes());
        renderer.renderInlines(inlines);
        return Text(renderer.result());
    });
}

View blocks(const std::vector<markdown::BlockNode>& children, int listLevel = 0)
{
    std::vector<View> views;
    for (const markdown::BlockNode& child : children)
        views.push_back(blockView(child, listLevel));
    return VStack(views, HorizontalAlignment::leading, 8);
}

View list(const std::vector<markdown::RawListItem>& items, int level, std::optional<std::int64_t> start)
{
    std::vector<View> rows;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ListMarkerConfiguration marker{level, int(start.value_or(1)) + int(i)};
        const View body = start ? ListMarker::decimal().makeBody(marker) : ListMarker::disc().makeBody(marker);
        rows.push_back(HStack({body, blocks(items[i].children, level)}, VerticalAlignment::firstTextBaseline, 4));
    }
    return VStack(rows, HorizontalAlignment::leading, 4);
}

View blockView(const markdown::BlockNode& block, int listLevel)
{
    using markdown::BlockNode;
    if (const auto* paragraph = block.as<BlockNode::Paragraph>()) {
        const auto image = paragraph->content.size() == 1 ? imageData(paragraph->content.front()) : std::nullopt;
        if (!image)
            return inlineText(paragraph->content);
        return EnvironmentReader([image](const Environment& e) {
            const View label = e.imageProvider->makeImage(imageURL(image->source, e.imageBaseURL));
            return e.theme().image.makeBody({label, {}});
        });
    }
    if (const auto* heading = block.as<BlockNode::Heading>()) {
        const double size = std::max(1.0, 2.2 - 0.3 * heading->level);
        return inlineText(heading->content).markdownTextStyle([size] {
            return textStyle(FontSize(RelativeSize::em(size)), FontWeight(Font::Weight::semibold));
        });
    }
    if (const auto* code = block.as<BlockNode::CodeBlock>()) {
        return HorizontalScroll(Text(QString::fromStdString(code->content).chopped(1)))
            .markdownTextStyle([] { return textStyle(FontFamilyVariant(FontProperties::FamilyVariant::monospaced)); })
            .padding(8)
            .background(RoundedRectangle(6, Color::rgba(0xf0f0f0ff)));
    }
    if (const auto* quote = block.as<BlockNode::Blockquote>())
        return blocks(quote->children, listLevel).padding(Leading, 12).overlay(
            Rectangle(Color::rgba(0xccccccff)).frame(3, std::nullopt), Alignment::leading());
    if (const auto* bullets = block.as<BlockNode::BulletedList>())
        return list(bullets->items, listLevel + 1, std::nullopt);
    if (const auto* numbers = block.as<BlockNode::NumberedList>())
        return list(numbers->items, listLevel + 1, numbers->start);
    if (const auto* table = block.as<BlockNode::Table>()) {
        std::vector<std::vector<View>> rows;
        for (const auto& row : table->rows) {
            rows.emplace_back();
            for (const auto& cell : row.cells)
                rows.back().push_back(inlineText(cell.content).padding(EdgeInsets{4, 8, 4, 8}));
        }
        GridOptions options;
        options.background = TableBackgroundView;
        options.overlay = [](const TableBounds& bounds) {
            ShapeStyle stroke;
            stroke.stroke = Color::rgba(0x999999ff);
            std::vector<View> outlines;
            for (const QRectF& r : TableBorderSelector::allBorders().rectangles(bounds, 1))
                outlines.push_back(Shape(ShapeKind::rectangle, stroke).frame(r.width(), r.height()).offset(r.x(), r.y()));
            return ZStack(outlines, Alignment::topLeading());
        };
        return Grid(rows, options).markdownTableBackgroundStyle(
            TableBackgroundStyle::alternatingRows(Color::rgba(0xffffffff), Color::rgba(0xf6f8faff)));
    }
    return Divider();
}

View document(const std::vector<markdown::BlockNode>& parsed)
{
    return blocks(parsed);
}

TEST(MarkdownDocument, ShowsNothingForAnImageUntilItLoadsThenTheImage)
{
    useTemporaryCacheFolder();
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    testsupport::HttpServer::Response response{200, png(filled(40, 20))};
    response.delayMs = 100;
    server.setResponse("/x.png", response);
    const QString markdown = QStringLiteral("Above the picture.\n\n![a red box](%1)\n\nBelow it.\n")
                                 .arg(server.url("/x.png").toString());
    const auto blocks = markdown::parseMarkdownBlocks(markdown.toStdString());
    ASSERT_TRUE(blocks);

    DocumentView view;
    view.resize(300, 200);
    view.setView(document(*blocks));
    const double before = view.host().layout(view.viewport()->width());
    const QString dumpBefore = dumpLayout(*view.host().root());
    EXPECT_TRUE(dumpBefore.contains(QRegularExpression("RemoteImage [0-9.,]+ 0x0 empty"))) << qPrintable(dumpBefore);
    EXPECT_EQ(countPixels(view.grab().toImage(), Qt::red), 0);

    ASSERT_TRUE(testsupport::waitUntil([&] { return dumpLayout(*view.host().root()).contains("success"); }));
    const QString dumpAfter = dumpLayout(*view.host().root());
    EXPECT_TRUE(dumpAfter.contains(QRegularExpression("RemoteImage [0-9.,]+ 40x20 success"))) << qPrintable(dumpAfter);
    EXPECT_EQ(view.host().layout(view.viewport()->width()), before + 20);
    EXPECT_GE(countPixels(view.grab().toImage(), Qt::red), 38 * 18);
    EXPECT_EQ(server.requestCount("/x.png"), 1);
}

} // namespace

namespace {

TEST(MarkdownDocument, RendersAProjectReadme)
{
    useTemporaryCacheFolder();
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    server.setResponse("/logo.png", {200, png(filled(120, 40))});
    const QString markdown = QStringLiteral(R"md(# Quillora

A reader for **project folders**: the file tree, *Markdown* documents, `code` and a
[project page](https://example.org/quillora) side by side. ~~Nothing to install.~~

![logo](%1)

## Getting started

1. Install the packages with `scripts/setup.sh`.
2. Build with `scripts/build.sh`, then run the tests:
   - unit tests with `ctest`
   - benchmarks from `build/bench`
3. Open a folder.

```sh
scripts/run.sh ~/projects/quillora --with-a-rather-long-option-that-does-not-fit-on-one-line
```

| Folder | What | Lines |
|:-------|:----:|------:|
| `platform/` | desktop services | 4,210 |
| `markdown/` | documents and their rendering, in several libraries | 12,873 |

> Reading a project should feel like reading a book: calm, and with everything in reach.

---

Written with care. Émoji 😀 and combining e&#x301; characters copy whole.
)md")
                                 .arg(server.url("/logo.png").toString());
    const auto blocks = markdown::parseMarkdownBlocks(markdown.toStdString());
    ASSERT_TRUE(blocks);

    DocumentView view;
    view.resize(520, 900);
    view.setView(document(*blocks));
    view.show();
    ASSERT_TRUE(testsupport::waitUntil([&] { return dumpLayout(*view.host().root()).contains("success"); }));
    const QImage image = view.viewport()->grab().toImage();
    QTemporaryDir directory;
    const QString out = qEnvironmentVariable("QUILLORA_RENDER_DIR", directory.path());
    EXPECT_TRUE(image.save(QDir(out).filePath(QStringLiteral("readme.png"))));

    RenderNode& root = *view.host().root();
    const double width = view.viewport()->width();
    EXPECT_GE(countPixels(image, Qt::red), 118 * 38); // the logo, whole
    // Everything but the code, which scrolls, lies within the width; nothing overlaps.
    const auto texts = collectTextNodes(root);
    ASSERT_GE(texts.size(), 20u);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool code = texts[i]->text().startsWith(QStringLiteral("scripts/run.sh"));
        if (!code) {
            EXPECT_LE(texts[i]->frame().right(), width + 0.5) << qPrintable(texts[i]->text());
        }
        for (std::size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_FALSE(texts[i]->frame().intersects(texts[j]->frame()))
                << qPrintable(texts[i]->text()) << " | " << qPrintable(texts[j]->text());
    }
    // A table copies row by row, its cells apart.
    view.host().selectAll();
    const QString all = view.host().selectedText();
    EXPECT_TRUE(all.contains(QStringLiteral("Folder\tWhat\tLines\nplatform/\tdesktop services\t4,210\n")))
        << qPrintable(all);
    EXPECT_TRUE(all.contains(QStringLiteral("1.\tInstall the packages"))) << qPrintable(all);

    // Selections never split an emoji or a letter from its combining mark.
    TextNode& last = *texts.back();
    ASSERT_TRUE(last.text().startsWith(QStringLiteral("Written"))) << qPrintable(last.text());
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, last.text());
    const double y = last.frame().center().y();
    for (double x = last.frame().left() - 2; x <= last.frame().right() + 2; x += 0.5) {
        view.host().mousePress(last.frame().topLeft() + QPointF(1, 1), Qt::LeftButton, Qt::NoModifier);
        view.host().mouseMove(QPointF(x, y), Qt::LeftButton);
        view.host().mouseRelease(QPointF(x, y), Qt::LeftButton);
        const QString selected = view.host().selectedText();
        graphemes.setPosition(int(selected.size()));
        EXPECT_TRUE(graphemes.isAtBoundary()) << x << " " << qPrintable(selected);
    }
}

} // namespace

namespace {

TEST(MarkdownDocument, NestingAtTheParsersCapLaysOutAndPaints)
{
    // Quotes in list items in quotes …: the parser keeps 128 levels, each level several nodes.
    std::string markdown;
    for (int level = 0; level < 100; ++level)
        markdown += level % 2 ? "- " : "> ";
    markdown += "deep text\n";
    const auto blocks = markdown::parseMarkdownBlocks(markdown);
    ASSERT_TRUE(blocks);
    DocumentView view;
    view.resize(400, 300);
    view.setView(document(*blocks));
    view.show();
    QCoreApplication::processEvents();
    const auto texts = collectTextNodes(*view.host().root());
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->text(), "deep text");
    int depth = 0;
    for (const RenderNode* node = texts[0]; node; node = node->parent())
        ++depth;
    EXPECT_GT(depth, 300);
    view.viewport()->grab();
    view.host().selectAll();
    EXPECT_EQ(view.host().selectedText(), "deep text");
}

} // namespace
