#include "ManualLoader.h"
#include "TestHttpServer.h"

#include "remoteimage/RemoteImageView.h"

#include "mdview/Environment.h"
#include "mdview/Host.h"
#include "mdview/RenderNode.h"

#include <testsupport/EventLoop.h>

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace remoteimage;
using mdview::View;

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
    return mdview::ColorView(mdview::Color::black()).frame(side, side);
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

    ManualLoader loader;
    mdview::ViewHost host;
};

TEST_F(RemoteImageViewTest, ShowsPlaceholderContentAndFallbackByState)
{
    const View view = RemoteImage(imageUrl, 2, imageOrFallback({}, [] { return box(10); }, [] { return box(30); }), &loader);
    show(view);
    EXPECT_EQ(shownState(), "empty");
    EXPECT_EQ(shownSize(), QSizeF(10, 10));
    ASSERT_EQ(loader.requests.size(), 1u);
    EXPECT_EQ(loader.requests[0].url, imageUrl);

    loader.answer(0, filled(200, 100));
    ASSERT_TRUE(waitForState("success"));
    EXPECT_EQ(shownSize(), QSizeF(100, 50)); // the image at scale 2
    EXPECT_EQ(host.layout(500), 50);

    show(RemoteImage(imageUrl, 1, imageOrFallback({}, [] { return box(10); }, [] { return box(30); }), &loader));
    loader.answer(1, failed);
    ASSERT_TRUE(waitForState("failure"));
    EXPECT_EQ(shownSize(), QSizeF(30, 30));

    // With a placeholder only, a failure shows the placeholder.
    show(RemoteImage(imageUrl, 1, imageOrPlaceholder({}, [] { return box(10); }), &loader));
    loader.answer(2, failed);
    ASSERT_TRUE(waitForState("failure"));
    EXPECT_EQ(shownSize(), QSizeF(10, 10));
}

TEST_F(RemoteImageViewTest, DefaultPlaceholderStretchesOverTheOfferedSpace)
{
    show(RemoteImage(imageUrl, 1, imageOrPlaceholder(), &loader));
    EXPECT_EQ(host.root()->measure({40, 20}), QSizeF(40, 20));
    EXPECT_EQ(host.root()->measure({70, 30}), QSizeF(70, 30));
}

TEST_F(RemoteImageViewTest, NoUrlNeverLoads)
{
    show(RemoteImage(std::nullopt, 1, imageOrPlaceholder({}, [] { return box(10); }), &loader));
    EXPECT_EQ(shownState(), "empty");
    EXPECT_EQ(shownSize(), QSizeF(10, 10));
    EXPECT_TRUE(loader.requests.empty());
}

TEST_F(RemoteImageViewTest, BuildingTheSameViewAgainLoadsNothing)
{
    const View view = RemoteImage(imageUrl, 1, imageOrFallback({}, [] { return box(10); }, [] { return box(30); }), &loader);
    show(view);
    loader.answer(0, failed);
    ASSERT_TRUE(waitForState("failure"));

    show(view); // gone and back
    mdview::ViewHost other;
    other.setView(view);
    EXPECT_EQ(loader.requests.size(), 1u);
    EXPECT_EQ(shownState(), "failure");
    EXPECT_EQ(other.root()->describe(), "failure");
}

TEST_F(RemoteImageViewTest, CachedImageShowsInTheFirstLayout)
{
    QTemporaryDir cacheDirectory;
    auto cache = std::make_shared<DefaultRemoteImageCache>(10, 1 << 20);
    cache->setImage(filled(20, 10, Qt::blue), imageUrl);
    DefaultRemoteImageLoader cached(cache, makeImageLoadingSession(1 << 20, std::chrono::seconds(10), cacheDirectory.path()));

    const View view = RemoteImage(imageUrl, 1, imageOrPlaceholder(), &cached);
    EXPECT_EQ(mdview::layoutView(view, {}, 100)->describe(), "success");
    const QImage rendered = mdview::renderToImage(view, {}, 100);
    EXPECT_EQ(rendered.height(), 10);
    EXPECT_EQ(rendered.pixelColor(10, 5), QColor(Qt::blue));
}

TEST_F(RemoteImageViewTest, ProviderFitsTheImageToTheWidthAndTakesNoSpaceOtherwise)
{
    const RemoteImageProvider provider(&loader);
    show(mdview::VStack({provider.makeImage(imageUrl), box(5)}, mdview::HorizontalAlignment::center, 0), 50);
    EXPECT_EQ(host.layout(50), 5);

    loader.answer(0, filled(200, 100));
    ASSERT_TRUE(testsupport::waitUntil([&] { return host.layout(50) == 30; })); // 25 + 5

    show(mdview::VStack({provider.makeImage(std::nullopt), box(5)}, mdview::HorizontalAlignment::center, 0), 50);
    EXPECT_EQ(host.layout(50), 5);
    EXPECT_EQ(loader.requests.size(), 1u);
}

TEST_F(RemoteImageViewTest, DocumentGrowsWhenTheDownloadArrives)
{
    TestHttpServer server;
    ASSERT_TRUE(server.listen());
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    filled(40, 20).save(&png, "png");
    TestHttpServer::Response response;
    response.body = png.data();
    response.delayMs = 50;
    server.setResponse("/a.png", response);
    QTemporaryDir cacheDirectory;
    DefaultRemoteImageLoader network(std::make_shared<DefaultRemoteImageCache>(10, 1 << 20),
                                     makeImageLoadingSession(1 << 20, std::chrono::seconds(10), cacheDirectory.path()));

    mdview::DocumentView document;
    document.resize(300, 200);
    const RemoteImageProvider provider(&network);
    document.setView(mdview::VStack({mdview::Text(QStringLiteral("Above")), provider.makeImage(server.url("/a.png"))}));
    const double before = document.host().layout(300);
    ASSERT_TRUE(testsupport::waitUntil([&] { return document.host().layout(300) == before + 20; }));
    EXPECT_EQ(server.requestCount("/a.png"), 1);
}

} // namespace
