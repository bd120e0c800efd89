#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// QFile reports only the system's text; recover the errno value it came from, so that callers
// can tell a permission failure from others.
int codeForMessage(const QString& message, int lastErrno)
{
    if (lastErrno != 0 && message == qt_error_string(lastErrno))
        return lastErrno;
    for (int code : {EACCES, EPERM, ENOENT, EROFS, EXDEV, ENOSPC, EISDIR, ENOTDIR, EBUSY, EEXIST, ENAMETOOLONG, EIO}) {
        if (message == qt_error_string(code))
            return code;
    }
    return 0;
}

bool makeDirectory(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || errno == EEXIST)
        return QFileInfo(path).isDir();
    return false;
}

// The Trash folder QFile::moveToTrash will pick for `path`, following the freedesktop rules:
// on the home partition the home Trash; elsewhere $topdir/.Trash/$uid (under a sticky .Trash)
// or $topdir/.Trash-$uid when either can be had, else the home Trash again.
QString trashFolderFor(const QString& path, const QString& homeTrash)
{
    const QStorageInfo source(QFileInfo(path).absolutePath());
    if (source == QStorageInfo(QDir::homePath()))
        return homeTrash;
    const QString top = source.rootPath();
    const QString uid = QString::number(::getuid());
    struct stat info {};
    const QByteArray shared = QFile::encodeName(top + QStringLiteral("/.Trash"));
    if (::lstat(shared.constData(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX)
        && makeDirectory(top + QStringLiteral("/.Trash/") + uid))
        return top + QStringLiteral("/.Trash/") + uid;
    if (makeDirectory(top + QStringLiteral("/.Trash-") + uid))
        return top + QStringLiteral("/.Trash-") + uid;
    return homeTrash;
}

// QFile::moveToTrash retries the name of the information file until one can be created, so a
// Trash whose info folder refuses new files would hang it; and without a home Trash folder it
// uses the current directory. Make sure neither can happen before handing over.
std::optional<FileSystemError> prepareTrash(const QString& path)
{
    // The information file is the name plus up to "-9999" and ".trashinfo".
    if (QFile::encodeName(QFileInfo(path).fileName()).size() + 15 > NAME_MAX)
        return FileSystemError::fromErrno(ENAMETOOLONG);
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome))
        return FileSystemError::fromErrno(EACCES);
    const QString homeTrash = dataHome + QStringLiteral("/Trash");
    if (!makeDirectory(homeTrash))
        return FileSystemError::fromErrno(errno ? errno : EACCES);
    const QString trash = trashFolderFor(path, homeTrash);
    for (const char* sub : {"/files", "/info"}) {
        if (!makeDirectory(trash + QLatin1String(sub)))
            return FileSystemError::fromErrno(errno ? errno : EACCES);
    }
    const QByteArray probe = QFile::encodeName(trash + QStringLiteral("/info/.quillora-probe-%1.trashinfo").arg(::getpid()));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return FileSystemError::fromErrno(errno);
    ::close(fd);
    ::unlink(probe.constData());
    return std::nullopt;
}

} // namespace

FileSystemError FileSystemError::fromErrno(int code)
{
    return {code, qt_error_string(code)};
}

TrashResult moveToTrash(const QString& path)
{
    struct stat info {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {std::nullopt, FileSystemError::fromErrno(path.isEmpty() ? ENOENT : errno)};
    if (auto error = prepareTrash(path))
        return {std::nullopt, error};
    QFile file(path);
    errno = 0;
    if (file.moveToTrash())
        return {file.fileName(), std::nullopt};
    const int lastErrno = errno;
    const QString message = file.errorString();
    return {std::nullopt, FileSystemError{codeForMessage(message, lastErrno), message}};
}

} // namespace platform
