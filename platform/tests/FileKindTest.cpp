#include "platform/FileKind.h"

#include <testsupport/SocketFile.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace platform;

TEST(FileKind, FollowsLinksAndRejectsSpecialFiles)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ASSERT_TRUE(QFile::link(file, dir.filePath(QStringLiteral("link-to-file"))));
    ASSERT_TRUE(QFile::link(dir.path(), dir.filePath(QStringLiteral("link-to-dir"))));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("nowhere")), dir.filePath(QStringLiteral("dangling"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);

    const testsupport::SocketFile sock(dir.filePath(QStringLiteral("sock")));
    ASSERT_TRUE(sock.isBound());

    const struct {
        QString path;
        FileKind kind;
    } cases[] = {
        {file, FileKind::RegularFile},
        {dir.filePath(QStringLiteral("link-to-file")), FileKind::RegularFile},
        {dir.path(), FileKind::Directory},
        {dir.filePath(QStringLiteral("link-to-dir")), FileKind::Directory},
        {dir.filePath(QStringLiteral("dangling")), FileKind::Missing},
        {dir.filePath(QStringLiteral("fifo")), FileKind::Other},
        {dir.filePath(QStringLiteral("sock")), FileKind::Other},
        {QStringLiteral("/dev/null"), FileKind::Other},
        {QString(), FileKind::Missing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileKind(c.path), c.kind) << c.path.toStdString();
    EXPECT_TRUE(isExistingRegularFile(file));
    EXPECT_FALSE(isExistingRegularFile(dir.filePath(QStringLiteral("fifo"))));
    EXPECT_TRUE(isExistingDirectory(dir.filePath(QStringLiteral("link-to-dir"))));
    EXPECT_FALSE(isExistingDirectory(file));
}
