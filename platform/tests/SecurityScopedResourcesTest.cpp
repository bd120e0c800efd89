#include "platform/SecurityScopedResources.h"

#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using platform::SecurityScopedResources;
using testsupport::writeFile;

namespace {

TEST(SecurityScopedResources, BookmarkResolvesToItsPathUntilTheItemIsReplaced)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a file.md"));
    writeFile(file, "x");
    SecurityScopedResources resources;
    const auto bookmark = resources.createBookmark(file);
    ASSERT_TRUE(bookmark);

    auto resolved = resources.resolveBookmark(*bookmark);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->path, file);
    EXPECT_FALSE(resolved->isStale);

    // Replaced by a save-by-rename: same path, another inode.
    writeFile(file + QStringLiteral(".new"), "y");
    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QFile::rename(file + QStringLiteral(".new"), file));
    resolved = resources.resolveBookmark(*bookmark);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->path, file);
    EXPECT_TRUE(resolved->isStale);

    ASSERT_TRUE(QFile::remove(file));
    EXPECT_FALSE(resources.resolveBookmark(*bookmark));
}

TEST(SecurityScopedResources, GarbageBookmarkDataDoesNotResolve)
{
    QTemporaryDir dir;
    SecurityScopedResources resources;
    const QByteArray cases[] = {
        QByteArray(),
        QByteArray("\x00\x01\x02garbage", 10),
        QByteArray("{\"path\": \"/\"}"),                                       // no kind
        QByteArray("{\"kind\": \"quillora-bookmark\", \"path\": 5}"),          // wrong type
        QByteArray("[\"quillora-bookmark\"]"),
        QByteArray(200000, '{'),
    };
    for (const QByteArray& data : cases)
        EXPECT_FALSE(resources.resolveBookmark(data)) << data.left(40).toHex().constData();
    EXPECT_FALSE(resources.createBookmark(dir.filePath(QStringLiteral("missing"))));
    EXPECT_FALSE(resources.createBookmark(QString()));
}

TEST(SecurityScopedResources, AccessStartsForReadablePathsOnly)
{
    QTemporaryDir dir;
    SecurityScopedResources resources;
    EXPECT_TRUE(resources.startAccessing(dir.path()));
    resources.stopAccessing(dir.path());
    EXPECT_FALSE(resources.startAccessing(dir.filePath(QStringLiteral("missing"))));
}

TEST(SecurityScopedResources, SharedInstanceCanBeReplacedToInjectFailures)
{
    struct Failing : SecurityScopedResources {
        bool startAccessing(const QString&) override { return false; }
    };
    const auto previous = SecurityScopedResources::shared();
    SecurityScopedResources::setShared(std::make_shared<Failing>());
    EXPECT_FALSE(SecurityScopedResources::shared()->startAccessing(QDir::tempPath()));
    SecurityScopedResources::setShared(previous);
    EXPECT_TRUE(SecurityScopedResources::shared()->startAccessing(QDir::tempPath()));
}

} // namespace
