#include "core/FileDeletionService.h"

#include <platform/SecurityScopedResources.h>
#include <testsupport/ChildProcess.h>
#include <testsupport/Files.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillora;
using platform::FileSystemError;
using testsupport::writeFile;

namespace {

struct CountingResources : platform::SecurityScopedResources {
    int started = 0;
    int stopped = 0;
    bool startAccessing(const QString& path) override
    {
        const bool ok = SecurityScopedResources::startAccessing(path);
        started += ok;
        return ok;
    }
    void stopAccessing(const QString&) override { ++stopped; }
};

class FileDeletionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = platform::SecurityScopedResources::shared();
        platform::SecurityScopedResources::setShared(resources);
    }
    void TearDown() override { platform::SecurityScopedResources::setShared(previous); }

    std::shared_ptr<platform::SecurityScopedResources> previous;
    std::shared_ptr<CountingResources> resources = std::make_shared<CountingResources>();
    QTemporaryDir project{QDir::homePath() + QStringLiteral("/project-XXXXXX")};
};

TEST(FileDeletionError, ClassifiesPermissionFailuresOnly)
{
    const struct {
        FileSystemError error;
        QString description;
    } cases[] = {
        {FileSystemError::fromErrno(EACCES), QStringLiteral("The file could not be deleted because access was denied.")},
        {FileSystemError::fromErrno(EPERM), qt_error_string(EPERM)},
        {FileSystemError::fromErrno(EROFS), qt_error_string(EROFS)},
        {FileSystemError{0, QStringLiteral("Unable to establish trash")}, QStringLiteral("Unable to establish trash")},
    };
    for (const auto& c : cases) {
        const FileDeletionError error = FileDeletionError::classify(c.error);
        EXPECT_EQ(error.errorDescription(), c.description) << c.error.code;
        EXPECT_EQ(error.kind() == FileDeletionError::Kind::accessDenied, c.error.code == EACCES);
    }
    EXPECT_EQ(FileDeletionError::fileMissing().errorDescription(), QStringLiteral("The file no longer exists on disk."));
    EXPECT_EQ(FileDeletionError::classify(FileSystemError::fromErrno(EPERM)).underlyingError(),
              FileSystemError::fromErrno(EPERM));
}

TEST_F(FileDeletionTest, TrashesTheFileInsideItsAccessScope)
{
    const QString file = project.filePath(QStringLiteral("gone.md"));
    writeFile(file, "content");
    const auto result = FileDeletionService().moveToTrash(QUrl::fromLocalFile(file));
    ASSERT_FALSE(result.error) << result.error->message.toStdString();
    ASSERT_TRUE(result.trashedURL);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(QFile::exists(result.trashedURL->toLocalFile()));
    EXPECT_TRUE(result.trashedURL->toLocalFile().startsWith(
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files/")));
    EXPECT_EQ(resources->started, 1);
    EXPECT_EQ(resources->stopped, 1);
}

TEST_F(FileDeletionTest, FolderInPlaceOfTheFileIsLeftAlone)
{
    const QString path = project.filePath(QStringLiteral("became-a-folder"));
    QDir().mkpath(path + QStringLiteral("/inside"));
    const auto result = FileDeletionService().moveToTrash(QUrl::fromLocalFile(path));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, EISDIR);
    EXPECT_TRUE(QFileInfo(path + QStringLiteral("/inside")).isDir());
}

TEST_F(FileDeletionTest, FailureReleasesTheScopeAndChangesNothing)
{
    const QString missing = project.filePath(QStringLiteral("missing.md"));
    const auto result = FileDeletionService().moveToTrash(QUrl::fromLocalFile(missing));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(FileDeletionError::classify(*result.error).kind(), FileDeletionError::Kind::unknown);
    EXPECT_EQ(resources->started, resources->stopped);
}

TEST_F(FileDeletionTest, PermissionFailureIsAccessDeniedAndTheFileStays)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    QTemporaryDir home;
    QTemporaryDir locked;
    ASSERT_EQ(::chown(QFile::encodeName(home.path()).constData(), testsupport::nobodyId, testsupport::nobodyId), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(locked.path()).constData(), 0755), 0);
    const QString file = locked.filePath(QStringLiteral("locked.md"));
    writeFile(file, "content");
    const int status = testsupport::runInChild(
        [&] {
            qputenv("HOME", QFile::encodeName(home.path()));
            qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()) + "/.local/share");
            const auto result = FileDeletionService().moveToTrash(QUrl::fromLocalFile(file));
            if (!result.error)
                return 1;
            const FileDeletionError error = FileDeletionError::classify(*result.error);
            return error.errorDescription() == QStringLiteral("The file could not be deleted because access was denied.") ? 0 : 2;
        },
        testsupport::ChildUser::nobody);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(QFile::exists(file));
}

} // namespace
