#include "platform/RegularFileReader.h"

#include <testsupport/ChildProcess.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::readRegularFile;
using Status = platform::RegularFileRead::Status;

namespace {

TEST(RegularFileReader, ReadsRegularFilesAndRefusesEverythingElseAtOnce)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    testsupport::writeFile(path("ten"), "0123456789");
    testsupport::writeFile(path("eleven"), "0123456789X");
    testsupport::writeFile(path("empty"), "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero")));
    ASSERT_TRUE(QFile::link(path("ten"), path("link-to-ten")));
    {
        const int fd = ::open(QFile::encodeName(path("sparse")).constData(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        const bool sized = ::ftruncate(fd, off_t(10) << 30) == 0; // 10 GiB, no blocks
        ::close(fd);
        if (!sized)
            GTEST_SKIP() << "no sparse files here";
    }

    const struct {
        const char* name;
        Status status;
        QByteArray bytes;
    } cases[] = {
        {"ten", Status::read, "0123456789"},
        {"link-to-ten", Status::read, "0123456789"},
        {"empty", Status::read, ""},
        {"eleven", Status::tooLarge, {}},
        {"sparse", Status::tooLarge, {}},
        {"fifo", Status::notRegular, {}},
        {"zero", Status::notRegular, {}},
        {".", Status::notRegular, {}},
        {"missing", Status::failed, {}},
    };
    // A FIFO without a writer or /dev/zero would block or never end: a child bounds the hang.
    const int status = testsupport::runInChild([&] {
        int failures = 0;
        for (const auto& c : cases) {
            const auto read = readRegularFile(path(c.name), 10);
            if (read.status != c.status || read.bytes != c.bytes) {
                ADD_FAILURE() << c.name << ": status " << int(read.status);
                ++failures;
            }
        }
        return failures;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readRegularFile(path("missing"), 10).error, ENOENT);
}

TEST(RegularFileReader, StopsBetweenChunks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big"));
    testsupport::writeFile(path, QByteArray(3 * platform::regularFileChunkSize, 'x'));
    int asked = 0;
    const auto read = readRegularFile(path, 1 << 30, [&] { return ++asked == 2; });
    EXPECT_EQ(read.status, Status::stopped);
    EXPECT_TRUE(read.bytes.isEmpty());
    EXPECT_EQ(asked, 2); // once before each chunk: the second chunk was never read

    const auto whole = readRegularFile(path, 1 << 30);
    EXPECT_EQ(whole.status, Status::read);
    EXPECT_EQ(whole.bytes.size(), 3 * platform::regularFileChunkSize);
}

} // namespace
