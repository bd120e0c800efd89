#include "testsupport/HttpServer.h"

#include "remoteimage/RemoteImageLoader.h"

#include <testsupport/EventLoop.h>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace remoteimage;
using namespace std::chrono_literals;
using Code = RemoteImageError::Code;

namespace {

QByteArray encode(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return buffer.data();
}

QImage filled(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QByteArray png(int width = 20, int height = 10, QColor color = Qt::red)
{
    return encode(filled(width, height, color), "png");
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(QByteArray& bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

// A valid small PNG whose header claims 20000 x 20000 pixels (1.6 GB decoded).
QByteArray pngClaimingHugeSize()
{
    QByteArray bytes = png(1, 1);
    putBigEndian(bytes, 16, 20000);
    putBigEndian(bytes, 20, 20000);
    putBigEndian(bytes, 29, crc32(bytes.mid(12, 17))); // IHDR type and data
    return bytes;
}

QByteArray svg(int width, int height)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\">"
                          "<rect width=\"%1\" height=\"%2\" fill=\"#0000ff\"/></svg>")
        .arg(width)
        .arg(height)
        .toUtf8();
}

// A 1 x 1 GIF with two frames: red, then blue.
QByteArray twoFrameGif()
{
    return QByteArray::fromHex("474946383961" "0100010080" "0000"   // header, screen, 2-colour table
                               "ff0000" "0000ff"                     // red, blue
                               "21f904000a000000" "2c00000000010001000002024401" "00" // frame 1: index 0
                               "21f904000a000000" "2c0000000001000100" "0002024c01" "00" // frame 2: index 1
                               "3b");
}

testsupport::HttpServer::Response ok(const QByteArray& body)
{
    testsupport::HttpServer::Response response;
    response.body = body;
    // Cacheable for an hour, so that a failure left in the disk cache would answer the retry.
    response.headers = {{"Cache-Control", "max-age=3600"}};
    return response;
}

class RemoteImageLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cacheDirectory.isValid());
        ASSERT_TRUE(server.listen());
        loader = makeLoader();
    }

    std::unique_ptr<DefaultRemoteImageLoader> makeLoader(std::chrono::milliseconds timeout = 10s)
    {
        return std::make_unique<DefaultRemoteImageLoader>(
            memoryCache, makeImageLoadingSession(10 * 1024 * 1024, timeout, cacheDirectory.path()));
    }

    static RemoteImageResult load(DefaultRemoteImageLoader& from, const QUrl& url)
    {
        QObject context;
        std::optional<RemoteImageResult> result;
        from.image(url, &context, [&](const RemoteImageResult& outcome) { result = outcome; });
        EXPECT_TRUE(testsupport::waitUntil([&] { return result.has_value(); }, 15000)) << url.toString().toStdString();
        return result.value_or(RemoteImageError{Code::Network, QNetworkReply::UnknownNetworkError, "no answer"});
    }

    RemoteImageResult load(const QUrl& url) { return load(*loader, url); }

    QTemporaryDir cacheDirectory;
    testsupport::HttpServer server;
    std::shared_ptr<DefaultRemoteImageCache> memoryCache = std::make_shared<DefaultRemoteImageCache>(100, 64 * 1024 * 1024);
    std::unique_ptr<DefaultRemoteImageLoader> loader;
};

TEST_F(RemoteImageLoaderTest, ConcurrentRequestsShareOneDownload)
{
    auto response = ok(png());
    response.delayMs = 200;
    server.setResponse("/a.png", response);
    auto missing = ok({});
    missing.status = 404;
    missing.delayMs = 200;
    server.setResponse("/missing.png", missing);

    QObject context;
    std::vector<RemoteImageResult> images, failures;
    for (int i = 0; i < 5; ++i) {
        loader->image(server.url("/a.png"), &context, [&](const RemoteImageResult& r) { images.push_back(r); });
        loader->image(server.url("/missing.png"), &context, [&](const RemoteImageResult& r) { failures.push_back(r); });
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return images.size() == 5 && failures.size() == 5; }));

    EXPECT_EQ(server.requestCount("/a.png"), 1);
    EXPECT_EQ(server.requestCount("/missing.png"), 1);
    for (const RemoteImageResult& result : images) {
        ASSERT_TRUE(result.isSuccess());
        EXPECT_EQ(result.image().cacheKey(), images.front().image().cacheKey());
    }
    for (const RemoteImageResult& result : failures) {
        ASSERT_FALSE(result.isSuccess());
        EXPECT_EQ(result.error(), failures.front().error());
    }
}

TEST_F(RemoteImageLoaderTest, SendsAcceptHeaderAndServesCachedImagesWithoutRequest)
{
    server.setResponse("/a.png", ok(png()));
    const RemoteImageResult first = load(server.url("/a.png"));
    ASSERT_TRUE(first.isSuccess());
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().front().headers.value("accept"), "image/*");

    std::optional<RemoteImageResult> second;
    loader->image(server.url("/a.png"), loader.get(), [&](const RemoteImageResult& result) { second = result; });
    ASSERT_TRUE(second.has_value()); // handed over at once
    ASSERT_TRUE(second->isSuccess());
    EXPECT_EQ(second->image().cacheKey(), first.image().cacheKey());
    EXPECT_EQ(server.requestCount("/a.png"), 1);

    // With the decoded image gone, the disk cache answers instead of the network.
    memoryCache = std::make_shared<DefaultRemoteImageCache>(100, 64 * 1024 * 1024);
    loader = makeLoader();
    const RemoteImageResult fromDisk = load(server.url("/a.png"));
    ASSERT_TRUE(fromDisk.isSuccess());
    EXPECT_EQ(fromDisk.image().size(), QSize(20, 10));
    EXPECT_EQ(server.requestCount("/a.png"), 1);
}

TEST_F(RemoteImageLoaderTest, DecodesDocumentFormats)
{
    struct Case {
        const char* name;
        QByteArray body;
        QSize size;
        QColor color;
    };
    std::vector<Case> cases = {
        {"png", png(20, 10, Qt::red), {20, 10}, Qt::red},
        {"jpeg", encode(filled(16, 8, Qt::green).convertToFormat(QImage::Format_RGB32), "jpeg"), {16, 8}, Qt::green},
        {"gif", twoFrameGif(), {1, 1}, Qt::red}, // the first frame only
        {"svg", svg(40, 20), {40, 20}, Qt::blue},
    };
    if (QImageReader::supportedImageFormats().contains("webp"))
        cases.push_back({"webp", encode(filled(12, 6, Qt::blue), "webp"), {12, 6}, Qt::blue});

    // The GIF really holds a second, different frame.
    QBuffer gif;
    gif.setData(twoFrameGif());
    QImageReader gifReader(&gif, "gif");
    ASSERT_EQ(gifReader.read().pixelColor(0, 0), QColor(Qt::red));
    ASSERT_EQ(gifReader.read().pixelColor(0, 0), QColor(Qt::blue));

    for (const Case& c : cases) {
        const QString path = QStringLiteral("/image-%1").arg(c.name);
        server.setResponse(path.toUtf8(), ok(c.body));
        const RemoteImageResult result = load(server.url(path));
        ASSERT_TRUE(result.isSuccess()) << c.name << ": " << result.error().message.toStdString();
        EXPECT_EQ(result.image().size(), c.size) << c.name;
        const QColor pixel = result.image().pixelColor(c.size.width() / 2, c.size.height() / 2);
        EXPECT_NEAR(pixel.red(), c.color.red(), 8) << c.name;
        EXPECT_NEAR(pixel.green(), c.color.green(), 8) << c.name;
        EXPECT_NEAR(pixel.blue(), c.color.blue(), 8) << c.name;
    }
}

TEST_F(RemoteImageLoaderTest, AcceptsEverySuccessStatus)
{
    for (int status : {200, 299}) {
        auto response = ok(png());
        response.status = status;
        const QByteArray path = "/status-" + QByteArray::number(status);
        server.setResponse(path, response);
        const RemoteImageResult result = load(server.url(path));
        EXPECT_TRUE(result.isSuccess()) << status << ": " << result.error().message.toStdString();
        EXPECT_FALSE(memoryCache->image(server.url(path)).isNull()) << status;
    }
}

TEST_F(RemoteImageLoaderTest, FailedResponsesCacheNothingAndRetry)
{
    auto withStatus = [](int status) {
        auto response = ok(png());
        response.status = status;
        return response;
    };
    auto cutShort = ok(png().left(30));
    cutShort.declaredLength = png().size();
    auto overBodyCap = ok(QByteArray(RemoteImageLimits::maxBodyBytes + 1, 'x'));
    overBodyCap.closeDelimited = true;

    const struct Case {
        const char* name;
        testsupport::HttpServer::Response response;
        Code code;
    } cases[] = {
        {"status-199", withStatus(199), Code::BadServerResponse},
        {"status-300", withStatus(300), Code::BadServerResponse},
        {"status-404", withStatus(404), Code::BadServerResponse},
        {"status-500", withStatus(500), Code::BadServerResponse},
        {"empty-body", ok({}), Code::CannotDecodeContentData},
        {"garbage-body", ok("this is not an image, only some text"), Code::CannotDecodeContentData},
        // Bytes a lenient decoder (wireless bitmap) would take for a 16 x 16 image.
        {"lookalike-bytes", ok(QByteArray("\0\0\x10\x10", 4) + QByteArray(32, 'A')), Code::CannotDecodeContentData},
        {"truncated-png", ok(png().left(png().size() / 2)), Code::CannotDecodeContentData},
        {"transfer-cut-short", cutShort, Code::Network},
        {"huge-png", ok(pngClaimingHugeSize()), Code::CannotDecodeContentData},
        {"huge-svg", ok(svg(7000, 7000)), Code::CannotDecodeContentData},
        {"body-over-cap", overBodyCap, Code::CannotDecodeContentData},
    };

    for (const Case& c : cases) {
        const QByteArray path = QByteArray("/") + c.name;
        server.setResponse(path, c.response);
        const RemoteImageResult failed = load(server.url(path));
        ASSERT_FALSE(failed.isSuccess()) << c.name;
        EXPECT_EQ(failed.error().code, c.code) << c.name << ": " << failed.error().message.toStdString();
        EXPECT_TRUE(memoryCache->image(server.url(path)).isNull()) << c.name;

        server.setResponse(path, ok(png()));
        const RemoteImageResult retried = load(server.url(path));
        EXPECT_TRUE(retried.isSuccess()) << c.name << ": " << retried.error().message.toStdString();
        EXPECT_EQ(server.requestCount(path), 2) << c.name;
    }
}

TEST_F(RemoteImageLoaderTest, TimeoutFailsAndRetries)
{
    loader = makeLoader(300ms);
    auto slow = ok(png());
    slow.delayMs = 3000;
    server.setResponse("/slow.png", slow);

    const RemoteImageResult failed = load(server.url("/slow.png"));
    ASSERT_FALSE(failed.isSuccess());
    EXPECT_EQ(failed.error().code, Code::Network);
    EXPECT_TRUE(memoryCache->image(server.url("/slow.png")).isNull());

    server.setResponse("/slow.png", ok(png()));
    EXPECT_TRUE(load(server.url("/slow.png")).isSuccess());
    EXPECT_EQ(server.requestCount("/slow.png"), 2);
}

TEST_F(RemoteImageLoaderTest, RefusedConnectionFailsAndRetries)
{
    testsupport::HttpServer later;
    ASSERT_TRUE(later.listen());
    const quint16 port = later.port();
    later.close();
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/a.png").arg(port));

    const RemoteImageResult refused = load(url);
    ASSERT_FALSE(refused.isSuccess());
    EXPECT_EQ(refused.error().code, Code::Network);
    EXPECT_EQ(refused.error().networkError, QNetworkReply::ConnectionRefusedError);

    if (!later.listen(port))
        GTEST_SKIP() << "port " << port << " was taken in the meantime";
    later.setResponse("/a.png", ok(png()));
    EXPECT_TRUE(load(url).isSuccess());
    EXPECT_EQ(later.requestCount("/a.png"), 1);
}

TEST_F(RemoteImageLoaderTest, UnfetchableUrlsFailWithoutRequest)
{
    const QUrl urls[] = {
        QUrl(QStringLiteral("file:///etc/hostname")),
        QUrl(QStringLiteral("images/a.png")),
        QUrl(QStringLiteral("/a.png")),
        QUrl(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png().toBase64())),
        QUrl(QStringLiteral("ftp://127.0.0.1:%1/a.png").arg(server.port())),
        QUrl(QStringLiteral("http://[::1")),
        QUrl(QStringLiteral("http:///a.png")),
        QUrl(),
    };
    server.setResponse("/a.png", ok(png()));
    for (const QUrl& url : urls) {
        const RemoteImageResult result = load(url);
        ASSERT_FALSE(result.isSuccess()) << url.toString().toStdString();
        EXPECT_EQ(result.error().code, Code::BadServerResponse) << url.toString().toStdString();
    }
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(RemoteImageLoaderTest, GoneRequesterIsNotCalledButDownloadIsCached)
{
    auto response = ok(png());
    response.delayMs = 100;
    server.setResponse("/a.png", response);

    bool called = false;
    {
        QObject context;
        loader->image(server.url("/a.png"), &context, [&](const RemoteImageResult&) { called = true; });
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return !memoryCache->image(server.url("/a.png")).isNull(); }));
    testsupport::spin(50);
    EXPECT_FALSE(called);
    EXPECT_TRUE(load(server.url("/a.png")).isSuccess());
    EXPECT_EQ(server.requestCount("/a.png"), 1);
}

TEST_F(RemoteImageLoaderTest, DestroyingLoaderWithDownloadInFlightCallsNobody)
{
    auto response = ok(png());
    response.delayMs = 100;
    server.setResponse("/a.png", response);
    QObject context;
    bool called = false;
    loader->image(server.url("/a.png"), &context, [&](const RemoteImageResult&) { called = true; });
    ASSERT_TRUE(testsupport::waitUntil([&] { return server.requestCount("/a.png") == 1; }));
    loader.reset();
    testsupport::spin(300);
    EXPECT_FALSE(called);
}

TEST(DefaultRemoteImageCacheTest, EvictsLeastRecentlyUsedWithinCountAndByteBudget)
{
    const QImage small = filled(10, 10, Qt::red); // 400 bytes
    const QUrl a("http://127.0.0.1/a"), b("http://127.0.0.1/b"), c("http://127.0.0.1/c");

    DefaultRemoteImageCache byCount(2, 1 << 20);
    byCount.setImage(small, a);
    byCount.setImage(small, b);
    EXPECT_FALSE(byCount.image(a).isNull()); // a is now the most recently used
    byCount.setImage(small, c);
    EXPECT_FALSE(byCount.image(a).isNull());
    EXPECT_TRUE(byCount.image(b).isNull());
    EXPECT_EQ(byCount.count(), 2);

    DefaultRemoteImageCache byBytes(100, 1000);
    byBytes.setImage(small, a);
    byBytes.setImage(small, b);
    byBytes.setImage(small, c);
    EXPECT_TRUE(byBytes.image(a).isNull());
    EXPECT_EQ(byBytes.totalBytes(), 800);
    byBytes.setImage(filled(20, 20, Qt::red), b); // 1600 bytes: over the whole budget
    EXPECT_TRUE(byBytes.image(b).isNull());
    EXPECT_FALSE(byBytes.image(c).isNull());
    EXPECT_EQ(byBytes.totalBytes(), 400);
}

} // namespace
