#include "ManualLoader.h"
#include "TestHttpServer.h"

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
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
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
    TestHttpServer server;
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

// A Markdown document drawn with the environment's defaults: a paragraph that is one image
// goes to the block image provider, any other paragraph is text.
View document(const std::vector<markdown::BlockNode>& blocks)
{
    std::vector<View> views;
    for (const markdown::BlockNode& block : blocks) {
        const auto* paragraph = block.as<markdown::BlockNode::Paragraph>();
        if (!paragraph)
            continue;
        const auto image = paragraph->content.size() == 1 ? imageData(paragraph->content.front()) : std::nullopt;
        views.push_back(EnvironmentReader([inlines = paragraph->content, image](const Environment& e) {
            if (image) {
                const View label = e.imageProvider->makeImage(imageURL(image->source, e.imageBaseURL));
                return e.theme().image.makeBody({label, {}});
            }
            TextInlineRenderer renderer(e.baseURL, InlineTextStyles::of(e.theme()), {}, e.softBreakMode,
                                        e.textStyle.attributes());
            renderer.renderInlines(inlines);
            return Text(renderer.result());
        }));
    }
    return VStack(views, HorizontalAlignment::leading, 8);
}

TEST(MarkdownDocument, ShowsNothingForAnImageUntilItLoadsThenTheImage)
{
    useTemporaryCacheFolder();
    TestHttpServer server;
    ASSERT_TRUE(server.listen());
    TestHttpServer::Response response{200, png(filled(40, 20))};
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
