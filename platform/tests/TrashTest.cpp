#include "platform/Trash.h"

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

using testsupport::writeFile;

namespace {

QString trashFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
}

TEST(Trash, FileLandsInTheUsersTrashWithItsInfo)
{
    // The test main gives each test process its own home: this is not the user's Trash.
    ASSERT_TRUE(trashFolder().startsWith(QDir::homePath()));
    QTemporaryDir dir(QDir::homePath() + QStringLiteral("/project-XXXXXX"));
    const QString file = dir.filePath(QStringLiteral("notes & more.md"));
    writeFile(file, "content");

    const auto result = platform::moveToTrash(file);
    ASSERT_FALSE(result.error) << result.error->message.toStdString();
    ASSERT_TRUE(result.trashedPath);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(result.trashedPath->startsWith(trashFolder() + QStringLiteral("/files/")));
    QFile trashed(*result.trashedPath);
    ASSERT_TRUE(trashed.open(QIODevice::ReadOnly));
    EXPECT_EQ(trashed.readAll(), QByteArray("content"));

    QFile info(trashFolder() + QStringLiteral("/info/") + QFileInfo(*result.trashedPath).fileName()
               + QStringLiteral(".trashinfo"));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QByteArray text = info.readAll();
    EXPECT_TRUE(text.startsWith("[Trash Info]\n")) << text.constData();
    EXPECT_TRUE(text.contains("Path=")) << text.constData();
    EXPECT_TRUE(text.contains("DeletionDate=")) << text.constData();
}

TEST(Trash, MissingItemIsReportedAndNothingMoves)
{
    QTemporaryDir dir;
    const auto result = platform::moveToTrash(dir.filePath(QStringLiteral("missing")));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENOENT);
    EXPECT_FALSE(result.error->message.isEmpty());
    EXPECT_FALSE(result.trashedPath);
}

TEST(Trash, OverlongNameIsRefusedBeforeTheTrashIsTouched)
{
    QTemporaryDir dir(QDir::homePath() + QStringLiteral("/project-XXXXXX"));
    const QString file = dir.filePath(QString(250, u'n'));
    writeFile(file, "content");
    const auto result = platform::moveToTrash(file);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, ENAMETOOLONG);
    EXPECT_TRUE(QFile::exists(file));
}

// Moves `file` to the Trash as the user nobody, whose home is `home`; returns the error code
// seen (0 on success), 251 for an error without a code, or what runInChild reports when the
// child failed otherwise.
int trashAsNobody(const QString& file, const QString& home)
{
    return testsupport::runInChild(
        [&] {
            const QByteArray homePath = QFile::encodeName(home);
            qputenv("HOME", homePath);
            qputenv("XDG_DATA_HOME", homePath + "/.local/share");
            const auto result = platform::moveToTrash(file);
            return result.error ? (result.error->code ? result.error->code : 251) : 0;
        },
        testsupport::ChildUser::nobody);
}

TEST(Trash, PermissionFailuresAreAccessDeniedAndLeaveTheFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to switch to an unprivileged user";
    QTemporaryDir home;
    QTemporaryDir project;
    ASSERT_EQ(::chmod(QFile::encodeName(project.path()).constData(), 0755), 0);
    const QString file = project.filePath(QStringLiteral("locked.md"));
    writeFile(file, "content");
    // nobody owns the home and its Trash, but may not change the file's folder.
    ASSERT_EQ(::chown(QFile::encodeName(home.path()).constData(), testsupport::nobodyId, testsupport::nobodyId), 0);
    EXPECT_EQ(trashAsNobody(file, home.path()), EACCES);
    EXPECT_TRUE(QFile::exists(file));

    // A Trash whose info folder refuses new files: reported, never waited on.
    ASSERT_EQ(::chmod(QFile::encodeName(project.path()).constData(), 0777), 0);
    QTemporaryDir lockedHome;
    ASSERT_TRUE(QDir().mkpath(lockedHome.filePath(QStringLiteral(".local/share/Trash/info"))));
    ASSERT_EQ(::chmod(QFile::encodeName(lockedHome.path()).constData(), 0755), 0);
    ASSERT_EQ(::chown(QFile::encodeName(lockedHome.filePath(QStringLiteral(".local/share/Trash"))).constData(), testsupport::nobodyId, testsupport::nobodyId), 0);
    EXPECT_EQ(trashAsNobody(file, lockedHome.path()), EACCES);
    EXPECT_TRUE(QFile::exists(file));
}

} // namespace
