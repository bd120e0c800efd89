#include "ManualLoader.h"
#include "testsupport/HttpServer.h"

#include "remoteimage/RemoteImageModel.h"

#include <testsupport/EventLoop.h>

#include <QBuffer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace remoteimage;
using Kind = RemoteImageState::Kind;

namespace {

QImage image(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return image;
}

const RemoteImageError failed{RemoteImageError::Code::BadServerResponse, QNetworkReply::NoError, "test"};

class RemoteImageModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        model.setImageLoader(loader);
        QObject::connect(&model, &RemoteImageModel::sourceChanged, [this] { ++sourceChanges; });
        QObject::connect(&model, &RemoteImageModel::imageChanged, [this] { ++imageChanges; });
    }

    ImageSource source(const char* path, qreal scale = 1) { return {QUrl(QString("http://127.0.0.1/") + path), scale}; }

    std::shared_ptr<ManualLoader> loader = std::make_shared<ManualLoader>();
    RemoteImageModel model;
    int sourceChanges = 0;
    int imageChanges = 0;
};

TEST_F(RemoteImageModelTest, NoSourceNeverLoads)
{
    model.update(std::nullopt);
    EXPECT_EQ(model.image().kind(), Kind::Empty);
    EXPECT_TRUE(loader->requests.empty());
    EXPECT_EQ(sourceChanges, 0);
}

TEST_F(RemoteImageModelTest, LoadsEachNewSourceOnceAndKeepsStateUntilItsOutcome)
{
    model.update(source("a.png"));
    ASSERT_EQ(loader->requests.size(), 1u);
    EXPECT_EQ(model.image().kind(), Kind::Empty);
    EXPECT_EQ(sourceChanges, 1);

    const QImage a = image(200, 100);
    loader->answer(0, a);
    ASSERT_EQ(model.image().kind(), Kind::Success);
    EXPECT_EQ(model.image().image().cacheKey(), a.cacheKey());
    EXPECT_EQ(model.image().idealSize(), QSizeF(200, 100));
    EXPECT_EQ(imageChanges, 1);

    model.update(source("a.png")); // the same source again: nothing happens
    EXPECT_EQ(loader->requests.size(), 1u);

    model.update(source("a.png", 2)); // only the scale changes: a new source
    ASSERT_EQ(loader->requests.size(), 2u);
    loader->answer(1, a);
    EXPECT_EQ(model.image().idealSize(), QSizeF(100, 50));
    // The ideal size carries the scale; the cached image itself is shared, not copied.
    EXPECT_EQ(model.image().image().cacheKey(), a.cacheKey());

    model.update(source("b.png"));
    EXPECT_EQ(model.image().idealSize(), QSizeF(100, 50)); // the old image stays meanwhile
    loader->answer(2, failed);
    EXPECT_EQ(model.image().kind(), Kind::Failure);
    EXPECT_EQ(imageChanges, 3);

    model.update(source("c.png"));
    loader->answer(3, failed); // failure to failure is no change
    EXPECT_EQ(imageChanges, 3);
}

TEST_F(RemoteImageModelTest, NoSourceAfterSuccessKeepsTheImage)
{
    model.update(source("a.png"));
    loader->answer(0, image(4, 4));
    model.update(std::nullopt);
    EXPECT_FALSE(model.source().has_value());
    EXPECT_EQ(model.image().kind(), Kind::Success);
    EXPECT_EQ(sourceChanges, 2);
}

TEST_F(RemoteImageModelTest, OutcomeForReplacedSourceIsDropped)
{
    model.update(source("a.png"));
    model.update(source("b.png"));
    const QImage b = image(3, 3);
    loader->answer(1, b);
    loader->answer(0, image(5, 5)); // arrives late
    EXPECT_EQ(model.image().image().cacheKey(), b.cacheKey());

    model.update(source("c.png"));
    model.update(std::nullopt);
    loader->answer(2, failed);
    EXPECT_EQ(model.image().image().cacheKey(), b.cacheKey());
}

TEST_F(RemoteImageModelTest, ScaleThatIsNotPositiveCountsAsOne)
{
    for (const qreal scale : {0.0, -2.0, qQNaN(), qInf()}) {
        RemoteImageModel fresh;
        const auto freshLoader = std::make_shared<ManualLoader>();
        fresh.setImageLoader(freshLoader);
        fresh.update(source("a.png", scale));
        freshLoader->answer(0, image(20, 10));
        EXPECT_EQ(fresh.image().idealSize(), QSizeF(20, 10)) << scale;
    }
}

TEST(RemoteImageModelWithServerTest, ShowsTheDownloadedImage)
{
    QTemporaryDir cacheDirectory;
    testsupport::HttpServer server;
    ASSERT_TRUE(server.listen());
    QImage png(8, 6, QImage::Format_ARGB32);
    png.fill(Qt::blue);
    QBuffer body;
    body.open(QIODevice::WriteOnly);
    png.save(&body, "png");
    server.setResponse("/a.png", {200, body.data()});

    const auto loader = std::make_shared<DefaultRemoteImageLoader>(
        std::make_shared<DefaultRemoteImageCache>(10, 1 << 20),
        makeImageLoadingSession(1 << 20, std::chrono::seconds(10), cacheDirectory.path()));
    RemoteImageModel model;
    model.setImageLoader(loader);
    model.update(ImageSource{server.url("/a.png"), 2});
    ASSERT_TRUE(testsupport::waitUntil([&] { return model.image().kind() != Kind::Empty; }));
    ASSERT_EQ(model.image().kind(), Kind::Success);
    EXPECT_EQ(model.image().idealSize(), QSizeF(4, 3));
}

} // namespace
